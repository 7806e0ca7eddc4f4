// Watches the C heap of the whole test process: a replacement of malloc,
// calloc, realloc and free, linked only into the tests that use it, which
// forwards to the C library and, while an AllocProbe is alive, records the
// blocks handed out and released and can make one chosen allocation fail.
// Not available when a sanitizer owns the heap: then AllocProbe::available()
// is false and the tests that need it skip.
#pragma once

#include <cstddef>

namespace tf_test {

class AllocProbe {
 public:
  AllocProbe();
  ~AllocProbe();
  AllocProbe(const AllocProbe&) = delete;
  AllocProbe& operator=(const AllocProbe&) = delete;

  static bool available();

  // The n-th allocation call (1-based, counted from now) returns null;
  // 0 makes none fail. Resets the counters.
  void fail_nth(std::size_t n);
  // Whether the chosen allocation has been refused since fail_nth.
  bool failure_injected() const;
  // Allocation calls (malloc, calloc, realloc) since the probe started or
  // since fail_nth, refused ones included.
  std::size_t allocation_calls() const;
  // Blocks handed out while watching and not released yet.
  std::size_t live_blocks() const;
  // Whether p was handed out by malloc, calloc or realloc while watching.
  bool handed_out(const void* p) const;
  // Whether p was handed out while watching and not released since.
  bool live(const void* p) const;
};

}  // namespace tf_test
