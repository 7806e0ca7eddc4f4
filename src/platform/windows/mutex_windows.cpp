#include <windows.h>

#include "platform/mutex.hpp"

namespace tf::platform {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");
static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*), "a CONDITION_VARIABLE is one pointer");

namespace {

PSRWLOCK srw(void*& lock) noexcept { return reinterpret_cast<PSRWLOCK>(&lock); }

}  // namespace

void Mutex::lock() noexcept { ::AcquireSRWLockExclusive(srw(lock_)); }

void Mutex::unlock() noexcept { ::ReleaseSRWLockExclusive(srw(lock_)); }

void Condition::wait(Mutex& mutex) noexcept {
  ::SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&condition_), srw(mutex.lock_),
                              INFINITE, 0);
}

void Condition::notify_all() noexcept {
  ::WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&condition_));
}

void Condition::reset_after_fork() noexcept { condition_ = nullptr; }

}  // namespace tf::platform
