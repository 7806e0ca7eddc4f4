#include <pthread.h>

#include <cerrno>
#include <ctime>

#include "platform/size_signal_guard.hpp"

namespace tf::platform {
namespace {

sigset_t only_sigxfsz() noexcept {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGXFSZ);
  return set;
}

bool sigxfsz_pending() noexcept {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1;
}

}  // namespace

SizeSignalGuard::SizeSignalGuard() noexcept {
  const sigset_t block = only_sigxfsz();
  if (pthread_sigmask(SIG_BLOCK, &block, &previous_mask_) != 0) return;
  if (sigismember(&previous_mask_, SIGXFSZ) == 1) return;  // the caller's own business
  active_ = true;
  was_pending_ = sigxfsz_pending();
}

void SizeSignalGuard::note_failure(int error_number) noexcept {
  if (error_number == EFBIG) exceeded_ = true;
}

SizeSignalGuard::~SizeSignalGuard() {
  if (!active_) return;
  const int saved_errno = errno;
  if (exceeded_ && !was_pending_ && sigxfsz_pending()) {
    // The signal our write raised is directed at this thread; take it
    // without waiting.
    const sigset_t wanted = only_sigxfsz();
    const struct timespec no_wait = {0, 0};
    while (sigtimedwait(&wanted, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous_mask_, nullptr);
  errno = saved_errno;
}

}  // namespace tf::platform
