// Thread cancellation held off for the length of an export. A POSIX thread
// cancelled inside a cancellation point (a write, an fsync, a wait for a
// save's turn) unwinds its stack; through a noexcept export that unwinding
// ends the process. While a CancelGuard lives, a cancel request stays
// pending; it acts at the thread's first cancellation point after the
// export returns. Windows has no thread cancellation: nothing to do there.
#pragma once

namespace tf::platform {

class CancelGuard {
 public:
  CancelGuard() noexcept;
  ~CancelGuard();
  CancelGuard(const CancelGuard&) = delete;
  CancelGuard& operator=(const CancelGuard&) = delete;

 private:
  int previous_ = 0;  // the state to restore
};

}  // namespace tf::platform
