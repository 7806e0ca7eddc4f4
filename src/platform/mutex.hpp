// The library's locks: constant-initialised, so that they can live in
// static storage that is ready before any code runs. std::mutex is that on
// Linux; with mingw-w64's thread model its constructor is not constexpr, so
// Windows uses a slim reader/writer lock (one pointer, zero when free)
// instead, and a condition variable of the system beside it. A WebAssembly
// instance (WASI) has one thread and no threads library: there the lock and
// the condition do nothing.
#pragma once

#if !defined(_WIN32) && !defined(__wasi__)
#include <pthread.h>

#include <mutex>
#endif

namespace tf::platform {

class Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept;
  void unlock() noexcept;

 private:
  friend class Condition;
#if defined(_WIN32)
  void* lock_ = nullptr;  // an SRWLOCK
#elif defined(__wasi__)
#else
  std::mutex lock_;
#endif
};

// Waiting for a change that others announce, under a Mutex.
class Condition {
 public:
  constexpr Condition() noexcept = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Releases `mutex` (held by the caller) while waiting and holds it again
  // on return; a return may also be spurious.
  void wait(Mutex& mutex) noexcept;
  // Wakes every waiter.
  void notify_all() noexcept;
  // Made new, without waiters: in the child of a fork, where the waiters of
  // the parent's other threads do not exist.
  void reset_after_fork() noexcept;

 private:
#if defined(_WIN32)
  void* condition_ = nullptr;  // a CONDITION_VARIABLE
#elif defined(__wasi__)
#else
  pthread_cond_t condition_ = PTHREAD_COND_INITIALIZER;
#endif
};

// Holds a Mutex for the lifetime of a scope.
class MutexHold {
 public:
  explicit MutexHold(Mutex& mutex) noexcept : mutex_(mutex) { mutex_.lock(); }
  ~MutexHold() { mutex_.unlock(); }
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;

 private:
  Mutex& mutex_;
};

#if defined(__wasi__)
// Nobody else can hold a lock, and nobody can announce a change while a
// caller waits: a wait returns at once (a spurious wake-up).
inline void Mutex::lock() noexcept {}
inline void Mutex::unlock() noexcept {}
inline void Condition::wait(Mutex&) noexcept {}
inline void Condition::notify_all() noexcept {}
inline void Condition::reset_after_fork() noexcept {}
#elif !defined(_WIN32)
inline void Mutex::lock() noexcept { lock_.lock(); }
inline void Mutex::unlock() noexcept { lock_.unlock(); }
inline void Condition::wait(Mutex& mutex) noexcept {
  pthread_cond_wait(&condition_, mutex.lock_.native_handle());
}
inline void Condition::notify_all() noexcept { pthread_cond_broadcast(&condition_); }
inline void Condition::reset_after_fork() noexcept {
  const pthread_cond_t fresh = PTHREAD_COND_INITIALIZER;
  condition_ = fresh;
}
#endif

}  // namespace tf::platform
