// Keeps a write beyond the file-size limit (RLIMIT_FSIZE) from killing the
// host. The kernel answers such a write with EFBIG and raises SIGXFSZ at the
// writing thread, whose default action ends the process. While a guard
// lives, SIGXFSZ is blocked in the calling thread; if a write it covers
// failed with EFBIG and left SIGXFSZ pending where none was pending before,
// that signal is taken off again before the mask is restored. A caller that
// already blocks SIGXFSZ keeps managing it itself: the guard then does
// nothing. Windows and WASI have no such signal: there the guard is empty.
#pragma once

#if !defined(_WIN32) && !defined(__wasi__)
#include <signal.h>
#endif

namespace tf::platform {

#if defined(_WIN32) || defined(__wasi__)

class SizeSignalGuard {
 public:
  SizeSignalGuard() noexcept = default;
  SizeSignalGuard(const SizeSignalGuard&) = delete;
  SizeSignalGuard& operator=(const SizeSignalGuard&) = delete;
  void note_failure(int /*error_number*/) noexcept {}
};

#else

class SizeSignalGuard {
 public:
  SizeSignalGuard() noexcept;
  ~SizeSignalGuard();
  SizeSignalGuard(const SizeSignalGuard&) = delete;
  SizeSignalGuard& operator=(const SizeSignalGuard&) = delete;

  // Records the error number of a failed write or flush under the guard.
  void note_failure(int error_number) noexcept;

 private:
  sigset_t previous_mask_;
  bool active_ = false;
  bool was_pending_ = false;
  bool exceeded_ = false;
};

#endif

}  // namespace tf::platform
