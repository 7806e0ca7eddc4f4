#include "frame/last_error.hpp"

#include <cstdio>
#include <cstring>

#include "frame/library_state.hpp"
#include "platform/fork_guard.hpp"
#include "platform/mutex.hpp"

namespace tf {
namespace {

// Guards writers of the buffer only; readers get the raw pointer.
constinit platform::Mutex g_error_lock;

void lock_errors() { g_error_lock.lock(); }
void unlock_errors() { g_error_lock.unlock(); }

}  // namespace

void guard_last_error_across_fork() noexcept {
  platform::at_fork(lock_errors, unlock_errors, unlock_errors);
}

void set_last_error_v(const char* format, std::va_list args) noexcept {
  platform::MutexHold hold(g_error_lock);
  std::vsnprintf(library_state().last_error, kLastErrorSize, format, args);
}

void set_last_error(const char* format, ...) noexcept {
  std::va_list args;
  va_start(args, format);
  set_last_error_v(format, args);
  va_end(args);
}

void clear_last_error() noexcept {
  platform::MutexHold hold(g_error_lock);
  library_state().last_error[0] = '\0';
}

const char* last_error_buffer() noexcept { return library_state().last_error; }

void PendingError::set(const char* format, ...) noexcept {
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text_, sizeof text_, format, args);
  va_end(args);
  failed_ = true;
}

void PendingError::publish() const noexcept {
  if (failed_) set_last_error("%s", text_);
}

}  // namespace tf
