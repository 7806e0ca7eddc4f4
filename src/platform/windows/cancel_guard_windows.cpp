#include "platform/cancel_guard.hpp"

namespace tf::platform {

// Windows threads are not cancelled from outside (TerminateThread is no
// unwinding and cannot be held off).
CancelGuard::CancelGuard() noexcept = default;

CancelGuard::~CancelGuard() = default;

}  // namespace tf::platform
