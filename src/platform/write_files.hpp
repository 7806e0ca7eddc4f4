// Writing files: the operating-system calls of the atomic save, with one
// implementation per system (posix/, windows/). A file is the C runtime's
// descriptor, closed with close_file (read_files.hpp); failures return -1
// with errno set unless said otherwise.
//
// A save opens the directory that holds its target once, before anything
// else, and names every file in it relative to that directory from then on:
// a link on the way retargeted meanwhile, or the same directory reached
// through another mount, changes nothing about which directory the save
// works in. The functions that take a Directory and a path use the path's
// last component in that directory where the system can (descriptor-
// relative calls on POSIX), and the whole path where it cannot (Windows);
// the path must lie in that directory as spelt.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/read_files.hpp"

namespace tf::platform {

// A directory opened for a save. (volume, file) identify it whatever path
// reached it: two Directories with equal pairs are the same directory.
struct Directory {
  std::intptr_t handle = -1;  // a descriptor on POSIX, a HANDLE on Windows
  std::uint64_t volume = 0;   // st_dev; the volume serial number on Windows
  std::uint64_t file = 0;     // st_ino; the file index on Windows
  bool syncable = true;       // false: opened for names only, sync_directory cannot work
};

// Where the last component of `path` starts: after its last separator ('/';
// on Windows also '\\' and a drive's ':'), or `path` itself. Empty when the
// path ends in a separator.
const char* last_component(const char* path) noexcept;

// Opens the directory that holds `path` (the part before its last
// component, or the current directory) and fills `out`. 0, or -1 with errno
// (ENOENT or ENOTDIR when there is no such directory).
int open_directory_of(const char* path, Directory& out) noexcept;

// Puts the directory's names on the storage device. 0, or -1 with errno
// (EINVAL: the file system cannot sync a directory). Windows keeps names
// durable itself (NTFS journals them): nothing to do there.
int sync_directory(const Directory& directory) noexcept;

void close_directory(Directory& directory) noexcept;

// Whether `path` in `directory` is a directory. Links are not followed: a
// link is no directory.
bool names_directory(const Directory& directory, const char* path) noexcept;

// The code a replace onto a directory fails with on this system, reported
// without trying it: EISDIR on POSIX, ERROR_ACCESS_DENIED (5) on Windows.
unsigned long directory_target_code() noexcept;

// The code a replace onto the empty path fails with, reported without
// trying it: ENOENT on POSIX, ERROR_FILE_NOT_FOUND (2) on Windows.
unsigned long missing_target_code() noexcept;

// Whether a component `length` bytes long (`name`, not terminated there)
// can be created in `directory`: at most NAME_MAX bytes on POSIX (what the
// file system says), 255 UTF-16 units on Windows.
bool name_fits(const Directory& directory, const char* name, std::size_t length) noexcept;

// Removes the name `path` in `directory`: a link goes, never what it points
// to. 0, or -1 with errno (ENOENT when nothing bears the name).
int remove_name(const Directory& directory, const char* path) noexcept;

// Creates `path` in `directory` as a new, empty file open for writing in
// binary mode, refusing whatever already bears the name (EEXIST) and never
// following a link; child processes do not inherit it. On POSIX, when `like`
// (in the same directory) names an existing regular file, the new file
// starts as 0600 and then takes `like`'s permission bits (without
// setuid/setgid) and, where allowed, its owner and group; otherwise it gets
// 0666 minus the umask. On Windows it gets what its folder hands down. The
// file, or -1 with errno.
int create_new_file(const Directory& directory, const char* path, const char* like) noexcept;

// Writes up to n bytes (n at most 2^30): the number written, or -1 with
// errno (EINTR included: the caller decides to retry).
std::int64_t write_some(int file, const unsigned char* data, std::size_t n) noexcept;

// Puts what was written to the file on the storage device, retrying after
// interruptions (fsync; FlushFileBuffers on Windows). 0, or -1 with errno.
int sync_file(int file) noexcept;

// Puts the file `from` in the place of `to`, both in `directory`, in one
// step: `to` names either its old file or the new one, never neither. True,
// or false with the system's own code in `code`: errno for renameat on
// POSIX, GetLastError() for MoveFileExA on Windows.
bool replace_file(const Directory& directory, const char* from, const char* to,
                  unsigned long& code) noexcept;

}  // namespace tf::platform
