#include <pthread.h>

#include "platform/fork_guard.hpp"

namespace tf::platform {

// pthread_atfork fails only without memory for the entry; the library then
// stays as fork-unsafe as before, which is no reason to fail the call.
void at_fork(ForkHandler prepare, ForkHandler parent, ForkHandler child) noexcept {
  (void)::pthread_atfork(prepare, parent, child);
}

}  // namespace tf::platform
