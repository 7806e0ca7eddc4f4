// Writing files: the operating-system calls of the atomic save, with one
// implementation per system (posix/, windows/). A file is the C runtime's
// descriptor, closed with close_file (read_files.hpp); failures return -1
// with errno set unless said otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/read_files.hpp"

namespace tf::platform {

// Whether `path` names a directory, or can only name one (it ends in a
// separator). Links are not followed: a link is no directory.
bool names_directory(const char* path) noexcept;

// The code a replace onto a directory fails with on this system, reported
// without trying it: EISDIR on POSIX, ERROR_ACCESS_DENIED (5) on Windows.
unsigned long directory_target_code() noexcept;

// The code a replace onto the empty path fails with, reported without
// trying it: ENOENT on POSIX, ERROR_FILE_NOT_FOUND (2) on Windows.
unsigned long missing_target_code() noexcept;

// Removes the name `path`: a link goes, never what it points to. 0, or -1
// with errno (ENOENT when nothing bears the name).
int remove_name(const char* path) noexcept;

// Creates `path` as a new, empty file open for writing in binary mode,
// refusing whatever already bears the name (EEXIST) and never following a
// link; child processes do not inherit it. On POSIX, when `like` names an
// existing regular file, the new file starts as 0600 and then takes `like`'s
// permission bits (without setuid/setgid) and, where allowed, its owner and
// group; otherwise it gets 0666 minus the umask. On Windows it gets what its
// folder hands down. The file, or -1 with errno.
int create_new_file(const char* path, const char* like) noexcept;

// Writes up to n bytes (n at most 2^30): the number written, or -1 with
// errno (EINTR included: the caller decides to retry).
std::int64_t write_some(int file, const unsigned char* data, std::size_t n) noexcept;

// Puts what was written to the file on the storage device, retrying after
// interruptions (fsync; FlushFileBuffers on Windows). 0, or -1 with errno.
int sync_file(int file) noexcept;

// Puts the file `from` in the place of `to` in one step: `to` names either
// its old file or the new one, never neither. True, or false with the
// system's own code in `code`: errno for rename on POSIX, GetLastError() for
// MoveFileExA on Windows.
bool replace_file(const char* from, const char* to, unsigned long& code) noexcept;

// Opens the directory that holds `path` (up to its last separator, or the
// current directory) so that a replace in it can be made durable. A handle
// for sync_directory and close_directory, or -1 with errno. Windows keeps
// names durable itself (NTFS journals them): the handle is a placeholder.
int open_directory_of(const char* path) noexcept;

// 0, or -1 with errno (EINVAL: the file system cannot sync a directory).
int sync_directory(int directory) noexcept;

void close_directory(int directory) noexcept;

}  // namespace tf::platform
