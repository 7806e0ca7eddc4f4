#include "support/alloc_probe.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define TF_PROBE_DISABLED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TF_PROBE_DISABLED 1
#endif

#ifndef TF_PROBE_DISABLED

extern "C" {
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* p, std::size_t size) noexcept;
void __libc_free(void* p) noexcept;
}

namespace {

// Plain fixed arrays: the recorder itself must never allocate. A query
// makes a handful of allocations; the limits only guard against misuse.
constexpr std::size_t kMaxRecords = 4096;

struct ProbeState {
  bool watching = false;
  bool busy = false;  // re-entry guard
  std::size_t fail_at = 0;
  bool injected = false;
  std::size_t calls = 0;
  const void* handed[kMaxRecords] = {};
  std::size_t handed_count = 0;
  const void* live[kMaxRecords] = {};
  std::size_t live_count = 0;
};

ProbeState g_probe;

bool contains(const void* const* list, std::size_t count, const void* p) {
  for (std::size_t i = 0; i < count; ++i) {
    if (list[i] == p) return true;
  }
  return false;
}

void push(const void** list, std::size_t& count, const void* p) {
  if (count < kMaxRecords) list[count++] = p;
}

bool remove_live(const void* p) {
  for (std::size_t i = 0; i < g_probe.live_count; ++i) {
    if (g_probe.live[i] == p) {
      g_probe.live[i] = g_probe.live[--g_probe.live_count];
      return true;
    }
  }
  return false;
}

// Counts an allocation call; true when this one is to fail.
bool refuse_this_call() {
  ++g_probe.calls;
  if (g_probe.fail_at != 0 && g_probe.calls == g_probe.fail_at) {
    g_probe.injected = true;
    return true;
  }
  return false;
}

void record_new_block(const void* p) {
  if (p == nullptr) return;
  push(g_probe.handed, g_probe.handed_count, p);
  push(g_probe.live, g_probe.live_count, p);
}

struct Busy {
  Busy() { g_probe.busy = true; }
  ~Busy() { g_probe.busy = false; }
};

bool watching() { return g_probe.watching && !g_probe.busy; }

}  // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
  if (!watching()) return __libc_malloc(size);
  Busy busy;
  if (refuse_this_call()) return nullptr;
  void* p = __libc_malloc(size);
  record_new_block(p);
  return p;
}

void* calloc(std::size_t count, std::size_t size) noexcept {
  if (!watching()) return __libc_calloc(count, size);
  Busy busy;
  if (refuse_this_call()) return nullptr;
  void* p = __libc_calloc(count, size);
  record_new_block(p);
  return p;
}

void* realloc(void* old, std::size_t size) noexcept {
  if (!watching()) return __libc_realloc(old, size);
  Busy busy;
  if (refuse_this_call()) return nullptr;
  const bool tracked = old != nullptr && remove_live(old);
  void* p = __libc_realloc(old, size);
  if (p == nullptr) {
    if (tracked) push(g_probe.live, g_probe.live_count, old);
    return nullptr;
  }
  if (old == nullptr || tracked) {
    record_new_block(p);
  } else {
    push(g_probe.handed, g_probe.handed_count, p);
  }
  return p;
}

void free(void* p) noexcept {
  if (watching() && p != nullptr) {
    Busy busy;
    remove_live(p);
  }
  __libc_free(p);
}

}  // extern "C"

namespace tf_test {

AllocProbe::AllocProbe() {
  g_probe = ProbeState{};
  g_probe.watching = true;
}

AllocProbe::~AllocProbe() { g_probe.watching = false; }

bool AllocProbe::available() { return true; }

void AllocProbe::fail_nth(std::size_t n) {
  g_probe.fail_at = n;
  g_probe.injected = false;
  g_probe.calls = 0;
}

bool AllocProbe::failure_injected() const { return g_probe.injected; }
std::size_t AllocProbe::allocation_calls() const { return g_probe.calls; }
std::size_t AllocProbe::live_blocks() const { return g_probe.live_count; }
bool AllocProbe::handed_out(const void* p) const {
  return contains(g_probe.handed, g_probe.handed_count, p);
}
bool AllocProbe::live(const void* p) const { return contains(g_probe.live, g_probe.live_count, p); }

}  // namespace tf_test

#else  // a sanitizer owns the heap

namespace tf_test {

AllocProbe::AllocProbe() = default;
AllocProbe::~AllocProbe() = default;
bool AllocProbe::available() { return false; }
void AllocProbe::fail_nth(std::size_t) {}
bool AllocProbe::failure_injected() const { return false; }
std::size_t AllocProbe::allocation_calls() const { return 0; }
std::size_t AllocProbe::live_blocks() const { return 0; }
bool AllocProbe::handed_out(const void*) const { return false; }
bool AllocProbe::live(const void*) const { return false; }

}  // namespace tf_test

#endif
