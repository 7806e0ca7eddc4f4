#include "faults/alloc_sweep.hpp"

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "faults/json_minus.hpp"
#include "faults/library_symbols.hpp"
#include "quobrix_textfile.h"

namespace tf_inject {
namespace {

struct Totals {
  std::size_t allocations = 0;
  std::vector<Allocation> sites;
  std::vector<std::string> lines;
} g_totals;

std::set<std::string> entries_of(const std::string& dir) {
  std::set<std::string> out;
  if (dir.empty()) return out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) out.insert(e->d_name);
    ::closedir(d);
  }
  return out;
}

void release(const Scenario& s, const Raw& raw) {
  if (s.string_result) tf_free_string(raw.text);
  if (s.cleanup) s.cleanup(raw);
}

bool succeeded(const Scenario& s, const Raw& raw) {
  return s.string_result ? raw.text != nullptr : raw.value >= 0;
}

// A message no export but tf_open gives: a successful call must leave it.
void set_sentinel() { (void)tf_open(nullptr); }

void add_site(std::vector<Allocation>& sites, const Allocation& a) {
  for (const Allocation& known : sites) {
    if (same_site(known, a)) return;
  }
  sites.push_back(a);
}

}  // namespace

namespace {

// The load base of the object holding address, or 0.
std::uintptr_t base_of(const void* address) {
  Dl_info info;
  if (address == nullptr || ::dladdr(address, &info) == 0) return 0;
  return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

// A self-contained library: the part of it whose code made the request.
// Its operator new is the C++ runtime's own, which a test program cannot
// replace; a request made through it counts as its caller's, as it would
// through the replaced operator new of a library linked to the shared
// runtime.
Origin origin_inside_library(const Allocation& a) {
  const void* caller = a.caller;
  const std::uintptr_t base = base_of(caller);
  Symbol symbol = library_symbol(reinterpret_cast<std::uintptr_t>(caller) - base);
  if ((symbol.name.rfind("_Znw", 0) == 0 || symbol.name.rfind("_Zna", 0) == 0) &&
      a.frames[0] == caller && a.frames[1] != nullptr && base_of(a.frames[1]) == base) {
    symbol = library_symbol(reinterpret_cast<std::uintptr_t>(a.frames[1]) - base);
  }
  switch (symbol.part) {
    case Part::kYyjson:
      return Origin::kYyjson;
    case Part::kCxxRuntime:
      return Origin::kCxxRuntime;
    default:
      return Origin::kLibrary;
  }
}

}  // namespace

Origin origin_of(const Allocation& a) {
  const std::string object = object_of(a.caller);
  if (object.find("quobrix") != std::string::npos) {
    return library_symbols_known() ? origin_inside_library(a) : Origin::kLibrary;
  }
  if (object.find("yyjson") != std::string::npos) return Origin::kYyjson;
  if (object.find("stdc++") != std::string::npos) return Origin::kCxxRuntime;
  return Origin::kOther;
}

SweepFigures sweep(const Scenario& s) {
  SCOPED_TRACE(s.label);
  SweepFigures figures;
  // The library's symbols are read once, before any window.
  (void)library_symbols_known();

  // A first call outside any window, so that anything the C runtime sets up
  // once on first use is not mistaken for the call's own allocation.
  {
    if (s.prepare) s.prepare();
    Raw warm = s.call();
    release(s, warm);
  }
  const std::size_t live_before = live_blocks();
  EXPECT_EQ(live_before, 0u);
  const std::set<std::string> files_before = entries_of(s.watch_dir);

  if (s.prepare) s.prepare();
  arm(0);
  Raw normal = s.call();
  const Window w = disarm();
  const std::vector<Allocation> baseline = recorded();
  EXPECT_FALSE(w.overflow);
  EXPECT_FALSE(w.injected);
  s.check_normal(normal);
  release(s, normal);
  EXPECT_EQ(live_blocks(), 0u) << "the normal call leaves blocks behind";
  if (s.check_files) s.check_files(true);

  std::vector<Allocation> sites;
  for (std::size_t k = 1; k <= baseline.size(); ++k) {
    const Allocation& site = baseline[k - 1];
    SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(baseline.size()) +
                 ": " + describe_site(site));
    if (s.prepare) s.prepare();
    set_sentinel();
    arm(k);
    Raw raw = s.call();
    const Window fw = disarm();
    const std::vector<Allocation> seen = recorded();
    const std::string message = tf_last_error();
    if (!fw.injected || seen.size() < k || !same_site(seen[k - 1], site) ||
        seen[k - 1].size != site.size) {
      ADD_FAILURE() << "the allocations differ from the normal call's: injected " << fw.injected
                    << ", " << seen.size() << " requests"
                    << (seen.size() >= k ? ", this one " + describe_site(seen[k - 1]) : "");
      release(s, raw);
      break;
    }
    add_site(sites, site);
    const Expect e = s.classify(baseline, k - 1);
    const bool ok = succeeded(s, raw);
    switch (e.type) {
      case Expect::kFail:
        EXPECT_FALSE(ok) << (s.string_result && raw.text ? raw.text : "");
        EXPECT_EQ(message, e.message);
        if (!ok) ++figures.failed;
        break;
      case Expect::kFailOrLeftOut:
        if (ok) {
          EXPECT_EQ(json_items_left_out(s.normal_json, raw.text), 1)
              << "got " << raw.text << "\nnormally " << s.normal_json;
          if (!e.keep.empty()) {
            EXPECT_NE(std::string(raw.text).find("\"" + e.keep + "\":"), std::string::npos)
                << raw.text;
          }
          EXPECT_EQ(message, "path is NULL") << "a success changed the message";
          ++figures.left_out;
        } else {
          if (e.other_message.empty() || message != e.other_message) {
            EXPECT_EQ(message, e.message);
          }
          ++figures.failed;
        }
        break;
      case Expect::kNormal:
        EXPECT_TRUE(ok) << message;
        if (ok) {
          s.check_normal(raw);
          ++figures.absorbed;
        }
        break;
      case Expect::kJson:
        EXPECT_TRUE(ok) << message;
        if (ok) {
          EXPECT_EQ(std::string(raw.text), e.json);
          ++figures.left_out;
        }
        break;
    }
    release(s, raw);
    EXPECT_EQ(live_blocks(), 0u) << "blocks allocated by the call are still held";
    if (!s.probe_path.empty()) {
      const int h = tf_open(s.probe_path.c_str());
      EXPECT_EQ(h, s.probe_handle) << "a slot stayed taken: " << tf_last_error();
      if (h >= 0) tf_close(h);
    }
    EXPECT_EQ(entries_of(s.watch_dir), files_before) << "files changed";
    if (s.check_files) s.check_files(ok);
  }

  figures.allocations = baseline.size();
  figures.sites = sites.size();
  g_totals.allocations += baseline.size();
  for (const Allocation& a : sites) add_site(g_totals.sites, a);
  char line[256];
  std::snprintf(line, sizeof line,
                "%-44s %4zu allocations failed one at a time, %3zu call sites, "
                "%4zu failures, %3zu members left out, %2zu absorbed",
                s.label.c_str(), figures.allocations, figures.sites, figures.failed,
                figures.left_out, figures.absorbed);
  g_totals.lines.push_back(line);
  return figures;
}

void print_totals() {
  std::printf("\n[alloc] allocation failure injection, per call:\n");
  for (const std::string& line : g_totals.lines) std::printf("[alloc] %s\n", line.c_str());
  std::printf("[alloc] total: %zu injected failures at %zu distinct call sites, nothing lost\n",
              g_totals.allocations, g_totals.sites.size());
  std::fflush(stdout);
}

}  // namespace tf_inject
