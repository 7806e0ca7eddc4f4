#include "hostile/io_hooks.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace tf_hook {
namespace {

Hooks g_hooks;
Counts g_counts;
std::atomic<bool> g_active{false};
int g_fd = -1;                        // the descriptor the hooked open returned
thread_local bool t_in_hook = false;  // calls a hook makes itself are not hooked

class InHook {
 public:
  InHook() { t_in_hook = true; }
  ~InHook() { t_in_hook = false; }
};

template <class Fn>
Fn real(const char* name) {
  static_assert(sizeof(Fn) == sizeof(void*));
  void* symbol = ::dlsym(RTLD_NEXT, name);
  Fn fn;
  std::memcpy(&fn, &symbol, sizeof fn);
  return fn;
}

using StatFn = int (*)(const char*, struct stat*);
using OpenFn = int (*)(const char*, int, ...);
using FstatFn = int (*)(int, struct stat*);
using ReadFn = ssize_t (*)(int, void*, std::size_t);

StatFn real_stat() {
  static StatFn fn = real<StatFn>("stat");
  return fn;
}
OpenFn real_open() {
  static OpenFn fn = real<OpenFn>("open");
  return fn;
}
FstatFn real_fstat() {
  static FstatFn fn = real<FstatFn>("fstat");
  return fn;
}
ReadFn real_read() {
  static ReadFn fn = real<ReadFn>("read");
  return fn;
}

bool hooked_path(const char* path) {
  return !t_in_hook && g_active.load(std::memory_order_acquire) && path != nullptr &&
         g_hooks.path == path;
}

bool hooked_fd(int fd) {
  return !t_in_hook && g_active.load(std::memory_order_acquire) && fd >= 0 && fd == g_fd;
}

}  // namespace

void install(Hooks hooks) {
  // Resolve the real calls now, outside any hooked call.
  real_stat();
  real_open();
  real_fstat();
  real_read();
  g_hooks = std::move(hooks);
  g_counts = Counts{};
  g_fd = -1;
  g_active.store(true, std::memory_order_release);
}

Counts remove() {
  g_active.store(false, std::memory_order_release);
  g_hooks = Hooks{};
  g_fd = -1;
  return g_counts;
}

}  // namespace tf_hook

using namespace tf_hook;

extern "C" {

int stat(const char* path, struct stat* st) noexcept {
  if (hooked_path(path)) ++g_counts.stats;
  return real_stat()(path, st);
}

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    std::va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (!hooked_path(path)) return real_open()(path, flags, mode);
  ++g_counts.opens;
  if (g_hooks.before_open) {
    InHook in_hook;
    g_hooks.before_open();
  }
  const int fd = real_open()(path, flags, mode);
  const int saved = errno;
  g_fd = fd;
  if (g_hooks.after_open) {
    InHook in_hook;
    g_hooks.after_open();
  }
  errno = saved;
  return fd;
}

int fstat(int fd, struct stat* st) noexcept {
  if (hooked_fd(fd)) {
    ++g_counts.fstats;
    if (g_hooks.fstat_errno != 0) {
      errno = g_hooks.fstat_errno;
      return -1;
    }
  }
  return real_fstat()(fd, st);
}

#ifdef __GLIBC__
// The self-contained library reaches the stat family through glibc's older
// entry points (src/platform/glibc/glibc_floor.c): the same hooks there.
int __xstat(int ver, const char* path, struct stat* st) noexcept;
int __fxstat(int ver, int fd, struct stat* st) noexcept;

int __xstat(int ver, const char* path, struct stat* st) noexcept {
  using Fn = int (*)(int, const char*, struct stat*);
  static const Fn real_xstat = real<Fn>("__xstat");
  if (hooked_path(path)) ++g_counts.stats;
  return real_xstat(ver, path, st);
}

int __fxstat(int ver, int fd, struct stat* st) noexcept {
  using Fn = int (*)(int, int, struct stat*);
  static const Fn real_fxstat = real<Fn>("__fxstat");
  if (hooked_fd(fd)) {
    ++g_counts.fstats;
    if (g_hooks.fstat_errno != 0) {
      errno = g_hooks.fstat_errno;
      return -1;
    }
  }
  return real_fxstat(ver, fd, st);
}
#endif

ssize_t read(int fd, void* buffer, std::size_t n) {
  if (hooked_fd(fd)) {
    ++g_counts.reads;
    if (g_hooks.read) {
      InHook in_hook;
      return g_hooks.read(fd, buffer, n, real_read());
    }
  }
  return real_read()(fd, buffer, n);
}

}  // extern "C"
