// The process-wide last-error message: one 512-byte buffer, at most 511
// message bytes, written by any failing call of any thread.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace tf {

inline constexpr std::size_t kLastErrorSize = 512;

// The messages are formatted by the C library's vsnprintf, whose formats GCC
// checks. mingw-w64's C++ runtime replaces Windows' own printf family with
// one that follows C99 (%zu, %lld), which GCC calls gnu_printf.
#if defined(__MINGW32__)
#define TF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define TF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

// Formats a message into the buffer, cut to 511 bytes and always terminated.
// Writers are serialised with each other, so two failing threads never mix
// the bytes of two messages.
void set_last_error(const char* format, ...) noexcept TF_FORMAT(1, 2);
void set_last_error_v(const char* format, std::va_list args) noexcept;

// Makes the buffer the empty string.
void clear_last_error() noexcept;

// The buffer itself: never null, the same address for the whole process.
const char* last_error_buffer() noexcept;

// Makes a fork() wait until no thread writes the buffer, so that the child
// never inherits its lock taken. Registered once, before the table lock's
// handlers (a message may be set while the table is locked).
void guard_last_error_across_fork() noexcept;

// A message formatted while a lock is held and published after it is
// released. The same 511-byte cut applies.
class PendingError {
 public:
  // Only the first byte is cleared: every call frame makes one of these, and
  // the text is read only after set() has filled it.
  PendingError() noexcept { text_[0] = '\0'; }

  void set(const char* format, ...) noexcept TF_FORMAT(2, 3);
  bool failed() const noexcept { return failed_; }
  // Copies the message into the last-error buffer if one was set.
  void publish() const noexcept;

 private:
  char text_[kLastErrorSize];
  bool failed_ = false;
};

}  // namespace tf
