#include <pthread.h>

#include "platform/cancel_guard.hpp"

namespace tf::platform {

CancelGuard::CancelGuard() noexcept {
  (void)::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_);
}

CancelGuard::~CancelGuard() { (void)::pthread_setcancelstate(previous_, nullptr); }

}  // namespace tf::platform
