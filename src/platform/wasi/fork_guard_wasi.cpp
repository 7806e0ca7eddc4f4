// WASI has no fork: nothing to register.
#include "platform/fork_guard.hpp"

namespace tf::platform {

void at_fork(ForkHandler, ForkHandler, ForkHandler) noexcept {}

}  // namespace tf::platform
