// The allocation sweep: run one call with nothing failing to learn its
// allocations, then once more for each k = 1, 2, ... with the k-th allocation
// failing, and check every time the result, the exact message, that nothing
// the call allocated is still held, that no handle slot stayed taken and
// that no file was left behind.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "faults/alloc_injector.hpp"

namespace tf_inject {

// Who asked for an allocation.
enum class Origin { kLibrary, kYyjson, kCxxRuntime, kOther };
Origin origin_of(const Allocation& a);

// The raw result of one export call, made while armed: no allocation here.
struct Raw {
  int value = -1;        // int exports
  char* text = nullptr;  // string exports
};

// What a call must give when one particular allocation fails.
struct Expect {
  enum Type {
    kFail,           // failure value and exactly `message`
    kFailOrLeftOut,  // as kFail, or success with exactly one JSON member or
                     // array element of the normal result left out
    kJson,           // success with exactly `json`
    kNormal,         // the normal result, as if nothing had failed
  } type = kFail;
  std::string message;
  std::string json;
  std::string other_message;  // kFailOrLeftOut: a second acceptable message
  std::string keep;           // kFailOrLeftOut: a member that is never left out
};

inline Expect fail_with(std::string message) {
  return {Expect::kFail, std::move(message), {}, {}, {}};
}
inline Expect fail_or_left_out(std::string message, std::string other_message = {},
                               std::string keep = {}) {
  return {
      Expect::kFailOrLeftOut, std::move(message), {}, std::move(other_message), std::move(keep)};
}
inline Expect json_result(std::string json) { return {Expect::kJson, {}, std::move(json), {}, {}}; }
inline Expect normal_result() { return {Expect::kNormal, {}, {}, {}, {}}; }

struct Scenario {
  std::string label;
  bool string_result = true;  // char* export (else int)
  std::function<Raw()> call;  // the export call; must not allocate itself
  // The expectation for the failure of baseline[index].
  std::function<Expect(const std::vector<Allocation>& baseline, std::size_t index)> classify;
  // Checks the normal result (nothing failing); text is the JSON or plain
  // string, value the int result.
  std::function<void(const Raw& raw)> check_normal;
  std::string normal_json;                      // the normal JSON result, for kFailOrLeftOut
  std::function<void(const Raw& raw)> cleanup;  // e.g. closes an opened handle
  std::string probe_path;                       // a file a probe tf_open opens afterwards
  int probe_handle = 0;                         // the handle that probe must receive
  std::string watch_dir;                        // whose entries must not change ("" = none)
  // Runs before every call, outside the window (may be empty).
  std::function<void()> prepare;
  // Runs after every call with whether it succeeded, to check files (may be
  // empty).
  std::function<void(bool succeeded)> check_files;
};

struct SweepFigures {
  std::size_t allocations = 0;  // failures injected
  std::size_t sites = 0;        // distinct call sites among them
  std::size_t failed = 0;       // calls that failed as expected
  std::size_t left_out = 0;     // calls that succeeded with a member left out
  std::size_t absorbed = 0;     // failures the call recovered from completely
};

SweepFigures sweep(const Scenario& s);

// Totals over every sweep of the process, printed at exit.
void print_totals();

}  // namespace tf_inject
