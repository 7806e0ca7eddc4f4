#include "faults/alloc_injector.hpp"

#include <dlfcn.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// The allocator the replacements forward to: the sanitizer's interceptors
// when a sanitizer runtime is linked in (bypassing them would hand it blocks
// it never saw, and its own calls such as strdup allocate through it), else
// the C library's own entry points. Decided at run time: this file is built
// without instrumentation, so the compiler cannot tell.
extern "C" {
void* __interceptor_malloc(std::size_t) __attribute__((weak));
void* __interceptor_calloc(std::size_t, std::size_t) __attribute__((weak));
void* __interceptor_realloc(void*, std::size_t) __attribute__((weak));
void __interceptor_free(void*) __attribute__((weak));
void* __interceptor_memalign(std::size_t, std::size_t) __attribute__((weak));
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

void* real_malloc(std::size_t n) {
  return __interceptor_malloc != nullptr ? __interceptor_malloc(n) : __libc_malloc(n);
}
void* real_calloc(std::size_t count, std::size_t size) {
  return __interceptor_calloc != nullptr ? __interceptor_calloc(count, size)
                                         : __libc_calloc(count, size);
}
void* real_realloc(void* p, std::size_t n) {
  return __interceptor_realloc != nullptr ? __interceptor_realloc(p, n) : __libc_realloc(p, n);
}
void real_free(void* p) {
  if (__interceptor_free != nullptr) {
    __interceptor_free(p);
  } else {
    __libc_free(p);
  }
}
void* real_memalign(std::size_t alignment, std::size_t n) {
  return __interceptor_memalign != nullptr ? __interceptor_memalign(alignment, n)
                                           : __libc_memalign(alignment, n);
}

}  // namespace

#define TF_REAL(name) real_##name

namespace tf_inject {
namespace {

constexpr std::size_t kMaxRecords = 8192;
constexpr std::size_t kMaxLive = 8192;
// Live pointers are stored scrambled so that LeakSanitizer does not take the
// table for a reference that keeps a leaked block reachable.
constexpr std::uintptr_t kScramble = 0x5A5A5A5A5A5A5A5Aull;

thread_local bool t_armed = false;
thread_local bool t_in_hook = false;

std::size_t g_fail_at = 0;
std::size_t g_count = 0;
bool g_injected = false;
bool g_overflow = false;
Allocation g_records[kMaxRecords];

std::atomic_flag g_live_lock = ATOMIC_FLAG_INIT;
std::atomic<std::size_t> g_live_count{0};
std::uintptr_t g_live[kMaxLive];

class LiveLock {
 public:
  LiveLock() noexcept {
    while (g_live_lock.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~LiveLock() { g_live_lock.clear(std::memory_order_release); }
};

void track(void* p) noexcept {
  if (p == nullptr) return;
  LiveLock lock;
  const std::size_t n = g_live_count.load(std::memory_order_relaxed);
  if (n == kMaxLive) {
    g_overflow = true;
    return;
  }
  g_live[n] = reinterpret_cast<std::uintptr_t>(p) ^ kScramble;
  g_live_count.store(n + 1, std::memory_order_relaxed);
}

// Forgets p, or replaces it by `moved` when a tracked block was reallocated.
// False when p was not tracked.
bool untrack(void* p, void* moved = nullptr) noexcept {
  if (p == nullptr || g_live_count.load(std::memory_order_relaxed) == 0) return false;
  LiveLock lock;
  const std::uintptr_t key = reinterpret_cast<std::uintptr_t>(p) ^ kScramble;
  const std::size_t n = g_live_count.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < n; ++i) {
    if (g_live[i] != key) continue;
    if (moved != nullptr) {
      g_live[i] = reinterpret_cast<std::uintptr_t>(moved) ^ kScramble;
    } else {
      g_live[i] = g_live[n - 1];
      g_live_count.store(n - 1, std::memory_order_relaxed);
    }
    return true;
  }
  return false;
}

// The return addresses of the calling stack, innermost first. The unwinder
// of the C++ runtime, called directly: glibc's backtrace() would load it
// with dlopen, whose blocks then look leaked.
struct StackWalk {
  void** out;
  int size;
  int depth;
};

_Unwind_Reason_Code record_frame(_Unwind_Context* context, void* arg) {
  auto* walk = static_cast<StackWalk*>(arg);
  if (walk->depth >= walk->size) return _URC_END_OF_STACK;
  walk->out[walk->depth++] = reinterpret_cast<void*>(_Unwind_GetIP(context));
  return _URC_NO_REASON;
}

int stack_of(void** out, int size) {
  StackWalk walk{out, size, 0};
  _Unwind_Backtrace(record_frame, &walk);
  return walk.depth;
}

// Counts and records one request of the armed thread; true when it is the one
// to fail.
bool intercept(char kind, std::size_t size, void* caller) noexcept {
  t_in_hook = true;
  const std::size_t index = g_count++;
  const bool fail = index + 1 == g_fail_at;
  if (fail) g_injected = true;
  if (index < kMaxRecords) {
    Allocation& a = g_records[index];
    a = Allocation{};
    a.kind = kind;
    a.size = size;
    a.caller = caller;
    a.failed = fail;
    void* stack[24];
    const int depth = stack_of(stack, 24);
    int at = -1;
    for (int i = 0; i < depth; ++i) {
      if (stack[i] == caller) {
        at = i;
        break;
      }
    }
    if (at < 0) {
      a.frames[0] = caller;
    } else {
      for (int i = 0; i < kSiteFrames && at + i < depth; ++i) a.frames[i] = stack[at + i];
    }
  } else {
    g_overflow = true;
  }
  t_in_hook = false;
  return fail;
}

bool counting() noexcept { return t_armed && !t_in_hook; }

void* allocate(char kind, std::size_t size, std::size_t alignment, void* caller) noexcept {
  if (counting()) {
    if (intercept(kind, size, caller)) {
      errno = ENOMEM;
      return nullptr;
    }
    void* p = alignment != 0 ? TF_REAL(memalign)(alignment, size) : TF_REAL(malloc)(size);
    track(p);
    return p;
  }
  return alignment != 0 ? TF_REAL(memalign)(alignment, size) : TF_REAL(malloc)(size);
}

// A warm-up walk, so that anything the unwinder sets up on first use is done
// before any window is armed.
struct WarmUp {
  WarmUp() {
    void* stack[4];
    stack_of(stack, 4);
  }
} g_warm_up;

}  // namespace

void arm(std::size_t fail_at) noexcept {
  g_fail_at = fail_at;
  g_count = 0;
  g_injected = false;
  g_overflow = false;
  t_armed = true;
}

Window disarm() noexcept {
  t_armed = false;
  Window w;
  w.count = g_count;
  w.injected = g_injected;
  w.overflow = g_overflow;
  return w;
}

std::vector<Allocation> recorded() {
  const std::size_t n = g_count < kMaxRecords ? g_count : kMaxRecords;
  return std::vector<Allocation>(g_records, g_records + n);
}

std::size_t live_blocks() noexcept { return g_live_count.load(std::memory_order_relaxed); }

std::string object_of(const void* address) {
  Dl_info info;
  if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
    return "?";
  }
  const char* slash = std::strrchr(info.dli_fname, '/');
  return slash != nullptr ? slash + 1 : info.dli_fname;
}

namespace {

// Frames in the test program itself are where the test called from, not
// part of the library's call site.
bool in_test_program(void* frame) {
  Dl_info here;
  Dl_info there;
  return ::dladdr(reinterpret_cast<void*>(&arm), &here) != 0 && ::dladdr(frame, &there) != 0 &&
         here.dli_fbase == there.dli_fbase;
}

}  // namespace

std::string describe_site(const Allocation& a) {
  std::string out;
  char line[64];
  for (void* frame : a.frames) {
    if (frame == nullptr || (!out.empty() && in_test_program(frame))) break;
    if (!out.empty()) out += " <- ";
    Dl_info info;
    if (::dladdr(frame, &info) != 0) {
      std::snprintf(
          line, sizeof line, "+0x%zx",
          static_cast<std::size_t>(static_cast<char*>(frame) - static_cast<char*>(info.dli_fbase)));
      out += object_of(frame) + line;
      if (info.dli_sname != nullptr) out += std::string(" (") + info.dli_sname + ")";
    } else {
      out += "?";
    }
  }
  std::snprintf(line, sizeof line, " [%c %zu bytes]", a.kind, a.size);
  return out + line;
}

bool same_site(const Allocation& a, const Allocation& b) noexcept {
  for (int i = 0; i < kSiteFrames; ++i) {
    if (a.frames[i] != b.frames[i]) return false;
    if (a.frames[i] == nullptr || in_test_program(a.frames[i])) break;
  }
  return a.kind == b.kind;
}

}  // namespace tf_inject

using tf_inject::allocate;
using tf_inject::counting;
using tf_inject::intercept;
using tf_inject::track;
using tf_inject::untrack;

extern "C" {

void* malloc(std::size_t size) { return allocate('m', size, 0, __builtin_return_address(0)); }

void free(void* p) {
  untrack(p);
  TF_REAL(free)(p);
}

void* calloc(std::size_t count, std::size_t size) {
  if (counting()) {
    const std::size_t total = size != 0 && count > SIZE_MAX / size ? SIZE_MAX : count * size;
    if (intercept('c', total, __builtin_return_address(0))) {
      errno = ENOMEM;
      return nullptr;
    }
    void* p = TF_REAL(calloc)(count, size);
    track(p);
    return p;
  }
  return TF_REAL(calloc)(count, size);
}

void* realloc(void* p, std::size_t size) {
  if (p == nullptr) return allocate('r', size, 0, __builtin_return_address(0));
  if (size == 0) {  // frees the block
    untrack(p);
    return TF_REAL(realloc)(p, 0);
  }
  if (counting() && intercept('r', size, __builtin_return_address(0))) {
    errno = ENOMEM;
    return nullptr;  // the old block stays valid and owned by the caller
  }
  const bool armed = counting();
  void* q = TF_REAL(realloc)(p, size);
  // A block from before the window that is reallocated while armed is the
  // caller's to release like any other; follow it from now on.
  if (q != nullptr && !untrack(p, q) && armed) track(q);
  return q;
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  void* p = allocate('a', size, alignment, __builtin_return_address(0));
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return allocate('a', size, alignment, __builtin_return_address(0));
}

void* memalign(std::size_t alignment, std::size_t size) {
  return allocate('a', size, alignment, __builtin_return_address(0));
}

}  // extern "C"

// The global operator new and delete, so that allocations of the C++ runtime
// are counted and failed like the C ones (std::bad_alloc).
void* operator new(std::size_t size) {
  void* p = allocate('n', size, 0, __builtin_return_address(0));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) {
  void* p = allocate('n', size, 0, __builtin_return_address(0));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate('n', size, 0, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate('n', size, 0, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t al) {
  void* p = allocate('n', size, static_cast<std::size_t>(al), __builtin_return_address(0));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t al) {
  void* p = allocate('n', size, static_cast<std::size_t>(al), __builtin_return_address(0));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return allocate('n', size, static_cast<std::size_t>(al), __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return allocate('n', size, static_cast<std::size_t>(al), __builtin_return_address(0));
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { free(p); }
