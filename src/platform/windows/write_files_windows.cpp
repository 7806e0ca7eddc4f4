#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/write_files.hpp"

namespace tf::platform {
namespace {

// The C runtime's error number closest to a system error code, for the
// calls that go to the system directly.
int errno_of(DWORD code) noexcept {
  switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return EIO;
  }
}

// Pauses before each new try of a replace that another program held up:
// about a third of a second in all.
constexpr DWORD kReplaceRetryMs[] = {10, 20, 40, 80, 160};

// A scanner or indexer that holds the target open without delete sharing
// makes the replace fail with a sharing violation or access denied for a
// moment. Access denied is also the lasting answer for a directory or a
// read-only file in the way: those are not tried again.
bool may_pass(DWORD code, const char* to) noexcept {
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
  if (code != ERROR_ACCESS_DENIED) return false;
  const DWORD attributes = ::GetFileAttributesA(to);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

}  // namespace

bool names_directory(const char* path) noexcept {
  const std::size_t n = std::strlen(path);
  if (n > 0 && (path[n - 1] == '/' || path[n - 1] == '\\')) return true;
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// What MoveFileExA answers for a directory in the way.
unsigned long directory_target_code() noexcept { return ERROR_ACCESS_DENIED; }

// What MoveFileExA answers for the empty name.
unsigned long missing_target_code() noexcept { return ERROR_FILE_NOT_FOUND; }

int remove_name(const char* path) noexcept { return ::_unlink(path); }

int create_new_file(const char* path, const char* /*like*/) noexcept {
  // _O_EXCL is CREATE_NEW: a file or link bearing the name fails the call,
  // so nothing is ever opened through a link. The new file gets the
  // permissions its folder hands down (see the README on ACLs).
  return ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

std::int64_t write_some(int file, const unsigned char* data, std::size_t n) noexcept {
  return ::_write(file, data, static_cast<unsigned>(n));
}

int sync_file(int file) noexcept {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(file));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  if (::FlushFileBuffers(handle) == 0) {
    errno = errno_of(::GetLastError());
    return -1;
  }
  return 0;
}

bool replace_file(const char* from, const char* to, unsigned long& code) noexcept {
  for (std::size_t attempt = 0;; ++attempt) {
    if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0) return true;
    code = ::GetLastError();
    if (attempt == std::size(kReplaceRetryMs) || !may_pass(code, to)) return false;
    ::Sleep(kReplaceRetryMs[attempt]);
  }
}

// NTFS journals its names: a completed MoveFileExA survives a crash without
// a flush of the folder, which Windows has no call for anyway.
int open_directory_of(const char* /*path*/) noexcept { return 0; }

int sync_directory(int /*directory*/) noexcept { return 0; }

void close_directory(int /*directory*/) noexcept {}

}  // namespace tf::platform
