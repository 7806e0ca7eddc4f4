#include <windows.h>

#include "platform/mutex.hpp"

namespace tf::platform {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");

void Mutex::lock() noexcept { ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)); }

void Mutex::unlock() noexcept { ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)); }

}  // namespace tf::platform
