// Reading files: the operating-system calls of tf_open, behind plain
// functions with one implementation per system (posix/, windows/), chosen
// when the library is built. A file is the C runtime's descriptor on every
// system; failures return -1 with errno set, so callers word their messages
// with strerror(errno) everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tf::platform {

enum class FileKind { kRegular, kDirectory, kOther };

struct FileStatus {
  FileKind kind = FileKind::kOther;
  std::int64_t size = 0;
};

// The status of what `path` names, links followed. 0, or -1 with errno.
int status_of_path(const char* path, FileStatus& out) noexcept;

// The status of an open file. Anything that is not a file on a disk (a FIFO,
// a device, a console, a pipe) is kOther. 0, or -1 with errno.
int status_of_file(int file, FileStatus& out) noexcept;

// Opens `path` for reading in binary mode, without ever waiting for a writer
// or a device, and without handing the file to child processes; an open a
// signal interrupts is tried again. The file, or -1 with errno.
int open_for_reading(const char* path) noexcept;

// Reads up to n bytes (n at most 2^30): the number read, 0 at the end of the
// file, or -1 with errno (EINTR included: the caller decides to retry).
std::int64_t read_some(int file, unsigned char* buffer, std::size_t n) noexcept;

// Moves a file's position back to its start. 0, or -1 with errno.
int rewind_file(int file) noexcept;

// Closes a file; errors are of no use to a reader and are ignored.
void close_file(int file) noexcept;

}  // namespace tf::platform
