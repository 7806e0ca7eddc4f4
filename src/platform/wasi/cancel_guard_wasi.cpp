// WASI has no threads to cancel: nothing to hold off, nothing to restore.
#include "platform/cancel_guard.hpp"

namespace tf::platform {

CancelGuard::CancelGuard() noexcept { previous_ = 0; }

CancelGuard::~CancelGuard() {}

}  // namespace tf::platform
