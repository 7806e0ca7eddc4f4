#include "faults/io_injector.hpp"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tf_io {
namespace {

thread_local bool t_armed = false;
std::size_t g_fail_at = 0;
bool g_injected = false;
std::size_t g_write_limit = 0;
std::vector<Recorded>* g_calls = nullptr;
bool g_interrupt = false;
std::atomic<bool> g_signalled{false};
std::size_t g_interrupted_writes = 0;
std::size_t g_interrupted_syncs = 0;
std::size_t g_interrupted_creates = 0;
std::size_t g_interrupted_reads = 0;

}  // namespace

template <class Fn>
Fn resolve(const char* name) {
  void* symbol = ::dlsym(RTLD_NEXT, name);
  Fn fn;
  std::memcpy(&fn, &symbol, sizeof fn);
  return fn;
}

namespace {

#define TF_REAL(fn, type) static type const real_##fn = tf_io::resolve<type>(#fn);

// True when this call is to fail: counts and records the calls of the armed
// thread.
bool intercept(Call call, int open_flags = 0) {
  if (!t_armed) return false;
  t_armed = false;  // the recording itself may allocate and call anything
  g_calls->push_back({call, open_flags});
  const bool fail = g_calls->size() == g_fail_at;
  if (fail) g_injected = true;
  t_armed = true;
  if (fail) errno = error_of(call);
  return fail;
}

// True when a signal arrived since the last write or sync of the armed
// thread, which then fails with EINTR.
bool interrupted(std::size_t& count) {
  if (!t_armed || !g_interrupt || !g_signalled.exchange(false)) return false;
  ++count;
  errno = EINTR;
  return true;
}

// True when an open or openat is to fail: injected, or interrupted (a file
// opened for reading or created; opening a directory is never interrupted).
bool open_refused(Call call, int flags) {
  if (intercept(call, flags)) return true;
  return (flags & O_DIRECTORY) == 0 &&
         interrupted((flags & O_CREAT) != 0 ? g_interrupted_creates : g_interrupted_reads);
}

}  // namespace

const char* name_of(Call call) {
  static const char* const names[] = {"stat",    "lstat",  "fstat",    "open",    "read",  "unlink",
                                      "fchown",  "fchmod", "write",    "fsync",   "close", "rename",
                                      "fstatat", "openat", "unlinkat", "renameat"};
  return names[static_cast<int>(call)];
}

int error_of(Call call) {
  switch (call) {
    case Call::kOpen:
    case Call::kOpenat:
    case Call::kWrite:
      return ENOSPC;
    case Call::kUnlink:
    case Call::kUnlinkat:
      return EACCES;
    case Call::kFchown:
    case Call::kFchmod:
      return EPERM;
    case Call::kRename:
    case Call::kRenameat:
      return EXDEV;
    default:
      return EIO;
  }
}

void arm(std::size_t fail_at) {
  static std::vector<Recorded> calls;
  calls.clear();
  calls.reserve(256);
  g_calls = &calls;
  g_fail_at = fail_at;
  g_injected = false;
  g_write_limit = 0;
  g_interrupt = false;
  g_interrupted_writes = 0;
  g_interrupted_syncs = 0;
  g_interrupted_creates = 0;
  g_interrupted_reads = 0;
  t_armed = true;
}

void limit_writes(std::size_t bytes) { g_write_limit = bytes; }

void on_signal(int) { g_signalled = true; }
void interrupt_writes() { g_interrupt = true; }
std::size_t interrupted_writes() { return g_interrupted_writes; }
std::size_t interrupted_syncs() { return g_interrupted_syncs; }
std::size_t interrupted_opens(int kind) {
  return kind == O_CREAT ? g_interrupted_creates : g_interrupted_reads;
}

bool armed_here() { return t_armed; }
std::size_t write_limit() { return g_write_limit; }

std::vector<Recorded> disarm() {
  t_armed = false;
  return g_calls != nullptr ? *g_calls : std::vector<Recorded>{};
}

bool injected() { return g_injected; }

int open_descriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
    --n;  // the one opendir holds
  }
  return n;
}

}  // namespace tf_io

using tf_io::Call;
using tf_io::intercept;

extern "C" {

int stat(const char* path, struct stat* st) noexcept {
  using Fn = int (*)(const char*, struct stat*);
  TF_REAL(stat, Fn);
  if (intercept(Call::kStat)) return -1;
  return real_stat(path, st);
}

int lstat(const char* path, struct stat* st) noexcept {
  using Fn = int (*)(const char*, struct stat*);
  TF_REAL(lstat, Fn);
  if (intercept(Call::kLstat)) return -1;
  return real_lstat(path, st);
}

int fstat(int fd, struct stat* st) noexcept {
  using Fn = int (*)(int, struct stat*);
  TF_REAL(fstat, Fn);
  if (intercept(Call::kFstat)) return -1;
  return real_fstat(fd, st);
}

#ifdef __GLIBC__
// The self-contained library reaches the stat family through glibc's older
// entry points (src/platform/glibc/glibc_floor.c): the same calls there.
int __xstat(int ver, const char* path, struct stat* st) noexcept;
int __lxstat(int ver, const char* path, struct stat* st) noexcept;
int __fxstat(int ver, int fd, struct stat* st) noexcept;
int __fxstatat(int ver, int dir, const char* path, struct stat* st, int flags) noexcept;

int __xstat(int ver, const char* path, struct stat* st) noexcept {
  using Fn = int (*)(int, const char*, struct stat*);
  TF_REAL(__xstat, Fn);
  if (intercept(Call::kStat)) return -1;
  return real___xstat(ver, path, st);
}

int __lxstat(int ver, const char* path, struct stat* st) noexcept {
  using Fn = int (*)(int, const char*, struct stat*);
  TF_REAL(__lxstat, Fn);
  if (intercept(Call::kLstat)) return -1;
  return real___lxstat(ver, path, st);
}

int __fxstat(int ver, int fd, struct stat* st) noexcept {
  using Fn = int (*)(int, int, struct stat*);
  TF_REAL(__fxstat, Fn);
  if (intercept(Call::kFstat)) return -1;
  return real___fxstat(ver, fd, st);
}

int __fxstatat(int ver, int dir, const char* path, struct stat* st, int flags) noexcept {
  using Fn = int (*)(int, int, const char*, struct stat*, int);
  TF_REAL(__fxstatat, Fn);
  if (intercept(Call::kFstatat)) return -1;
  return real___fxstatat(ver, dir, path, st, flags);
}
#endif

int open(const char* path, int flags, ...) {
  using Fn = int (*)(const char*, int, ...);
  TF_REAL(open, Fn);
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    std::va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (tf_io::open_refused(Call::kOpen, flags)) return -1;
  return real_open(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  using Fn = int (*)(int, const char*, int, ...);
  TF_REAL(openat, Fn);
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    std::va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (tf_io::open_refused(Call::kOpenat, flags)) return -1;
  return real_openat(dir, path, flags, mode);
}

int fstatat(int dir, const char* path, struct stat* st, int flags) noexcept {
  using Fn = int (*)(int, const char*, struct stat*, int);
  TF_REAL(fstatat, Fn);
  if (intercept(Call::kFstatat)) return -1;
  return real_fstatat(dir, path, st, flags);
}

int unlinkat(int dir, const char* path, int flags) noexcept {
  using Fn = int (*)(int, const char*, int);
  TF_REAL(unlinkat, Fn);
  if (intercept(Call::kUnlinkat)) return -1;
  return real_unlinkat(dir, path, flags);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) noexcept {
  using Fn = int (*)(int, const char*, int, const char*);
  TF_REAL(renameat, Fn);
  if (intercept(Call::kRenameat)) return -1;
  return real_renameat(from_dir, from, to_dir, to);
}

ssize_t read(int fd, void* buffer, std::size_t n) {
  using Fn = ssize_t (*)(int, void*, std::size_t);
  TF_REAL(read, Fn);
  if (intercept(Call::kRead)) return -1;
  return real_read(fd, buffer, n);
}

int unlink(const char* path) noexcept {
  using Fn = int (*)(const char*);
  TF_REAL(unlink, Fn);
  if (intercept(Call::kUnlink)) return -1;
  return real_unlink(path);
}

int fchown(int fd, uid_t owner, gid_t group) noexcept {
  using Fn = int (*)(int, uid_t, gid_t);
  TF_REAL(fchown, Fn);
  if (intercept(Call::kFchown)) return -1;
  return real_fchown(fd, owner, group);
}

int fchmod(int fd, mode_t mode) noexcept {
  using Fn = int (*)(int, mode_t);
  TF_REAL(fchmod, Fn);
  if (intercept(Call::kFchmod)) return -1;
  return real_fchmod(fd, mode);
}

ssize_t write(int fd, const void* data, std::size_t n) {
  using Fn = ssize_t (*)(int, const void*, std::size_t);
  TF_REAL(write, Fn);
  if (intercept(Call::kWrite)) return -1;
  if (tf_io::interrupted(tf_io::g_interrupted_writes)) return -1;
  if (tf_io::armed_here() && tf_io::write_limit() != 0 && n > tf_io::write_limit()) {
    n = tf_io::write_limit();
  }
  return real_write(fd, data, n);
}

int fsync(int fd) {
  using Fn = int (*)(int);
  TF_REAL(fsync, Fn);
  if (intercept(Call::kFsync)) return -1;
  if (tf_io::interrupted(tf_io::g_interrupted_syncs)) return -1;
  return real_fsync(fd);
}

int close(int fd) {
  using Fn = int (*)(int);
  TF_REAL(close, Fn);
  const bool fail = intercept(Call::kClose);
  const int rc = real_close(fd);  // a failed close still closes
  if (fail) {
    errno = tf_io::error_of(Call::kClose);
    return -1;
  }
  return rc;
}

int rename(const char* from, const char* to) noexcept {
  using Fn = int (*)(const char*, const char*);
  TF_REAL(rename, Fn);
  if (intercept(Call::kRename)) return -1;
  return real_rename(from, to);
}

}  // extern "C"
