// Allocation failure injection for one test binary. Linking alloc_injector.cpp
// replaces malloc, calloc, realloc, posix_memalign, aligned_alloc, memalign and
// the global operator new/delete for the whole process (the library and
// yyjson included). Disarmed, every call is forwarded to the C library's
// allocator (or to the sanitizer's, in sanitizer builds). Armed, the calls
// made by the arming thread are counted and recorded, and the k-th one fails
// once, as a real exhausted heap would (NULL and errno ENOMEM, or
// std::bad_alloc from operator new).
//
// Blocks allocated while armed are remembered until they are released, so a
// test can check that a failed call gave back everything it took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tf_inject {

inline constexpr int kSiteFrames = 4;

// One allocation request made while armed.
struct Allocation {
  char kind = 0;                   // 'm'alloc 'c'alloc 'r'ealloc 'a'ligned 'n'ew
  std::size_t size = 0;            // bytes requested (calloc: count * size)
  void* caller = nullptr;          // the code that called the allocator
  void* frames[kSiteFrames] = {};  // caller and its callers: the call site
  bool failed = false;             // this is the request that was failed
};

// Starts counting on the calling thread. fail_at is 1-based; 0 fails nothing.
void arm(std::size_t fail_at) noexcept;

struct Window {
  std::size_t count = 0;  // allocation requests made while armed
  bool injected = false;  // the fail_at-th request happened and was failed
  bool overflow = false;  // more requests or live blocks than could be recorded
};
// Stops counting and returns what happened in the window.
Window disarm() noexcept;

// The requests of the last window, in order (at most a few thousand).
std::vector<Allocation> recorded();

// Blocks allocated while armed (in any window) that are still live.
std::size_t live_blocks() noexcept;

// Where an allocation came from: the base name of the shared object holding
// `address` ("libquobrix-textfile.so.1", "libyyjson.so.0", ...), or "?".
std::string object_of(const void* address);
// A printable call site: "object+0xoffset <- ..." for the frames.
std::string describe_site(const Allocation& a);
// True when two requests were made from the same call site.
bool same_site(const Allocation& a, const Allocation& b) noexcept;

}  // namespace tf_inject
