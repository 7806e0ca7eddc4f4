// fork() copies a process with only the thread that called it: a lock that
// another thread held at that moment stays locked in the child for good,
// and the child's first call into the library would wait forever (this is
// how Python's multiprocessing starts its workers on Linux). Each owner of
// a lock registers three handlers: `prepare` takes the lock before the
// fork, `parent` releases it afterwards, `child` releases it (and forgets
// what the vanished threads were doing) in the new process. Handlers run
// as pthread_atfork runs them: the prepare handlers in the reverse order of
// registration, the others in the order of registration, so a lock taken
// while another is held is registered first. Windows has no fork: nothing
// is registered there.
#pragma once

namespace tf::platform {

using ForkHandler = void (*)();

void at_fork(ForkHandler prepare, ForkHandler parent, ForkHandler child) noexcept;

}  // namespace tf::platform
