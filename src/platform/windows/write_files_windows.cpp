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

// The error number of a failed CreateFile of a directory, as _open would
// give it for a file in that directory.
int errno_of_open(DWORD code) noexcept {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    default:
      return errno_of(code);
  }
}

constexpr std::size_t kPathBuffer = 4096;

}  // namespace

const char* last_component(const char* path) noexcept {
  const char* last = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\' || *p == ':') last = p + 1;
  }
  return last;
}

// The directory is opened for its identity and to keep it in place; the
// calls on its files name them by their whole path, which Windows resolves
// without links in the way that a save could meet halfway.
int open_directory_of(const char* path, Directory& out) noexcept {
  char dir[kPathBuffer];
  const char* last = last_component(path);
  std::size_t n = static_cast<std::size_t>(last - path);
  // "d\f" opens "d"; the roots "\f" and "C:\f" keep their separator, and
  // "C:f" opens "C:." (the drive's current directory), "f" opens ".".
  if (n > 1 && (path[n - 1] == '/' || path[n - 1] == '\\') && path[n - 2] != ':' &&
      path[n - 2] != '/' && path[n - 2] != '\\') {
    --n;
  }
  if (n + 2 > sizeof dir) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(dir, path, n);
  if (n == 0 || path[n - 1] == ':') dir[n++] = '.';
  dir[n] = '\0';
  const HANDLE handle = ::CreateFileA(dir, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = errno_of_open(::GetLastError());
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(handle, &info) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const DWORD code = ::GetLastError();
    ::CloseHandle(handle);
    errno = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? ENOTDIR : errno_of(code);
    return -1;
  }
  out.handle = reinterpret_cast<std::intptr_t>(handle);
  out.volume = info.dwVolumeSerialNumber;
  out.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  out.syncable = true;
  return 0;
}

// NTFS journals its names: a completed MoveFileExA survives a crash without
// a flush of the folder, which Windows has no call for anyway.
int sync_directory(const Directory& /*directory*/) noexcept { return 0; }

void close_directory(Directory& directory) noexcept {
  if (directory.handle != -1) ::CloseHandle(reinterpret_cast<HANDLE>(directory.handle));
  directory.handle = -1;
}

bool names_directory(const Directory& /*directory*/, const char* path) noexcept {
  const DWORD attributes = ::GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// What MoveFileExA answers for a directory in the way.
unsigned long directory_target_code() noexcept { return ERROR_ACCESS_DENIED; }

// What MoveFileExA answers for the empty name.
unsigned long missing_target_code() noexcept { return ERROR_FILE_NOT_FOUND; }

// NTFS and the other file systems of Windows allow 255 UTF-16 units.
bool name_fits(const Directory& /*directory*/, const char* name, std::size_t length) noexcept {
  if (length > 255 * 2) return false;  // no code page has more than two bytes a unit
  const int units = ::MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), nullptr, 0);
  return units > 0 && units <= 255;
}

int remove_name(const Directory& /*directory*/, const char* path) noexcept {
  return ::_unlink(path);
}

int create_new_file(const Directory& /*directory*/, const char* path,
                    const char* /*like*/) noexcept {
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

bool replace_file(const Directory& /*directory*/, const char* from, const char* to,
                  unsigned long& code) noexcept {
  for (std::size_t attempt = 0;; ++attempt) {
    if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0) return true;
    code = ::GetLastError();
    if (attempt == std::size(kReplaceRetryMs) || !may_pass(code, to)) return false;
    ::Sleep(kReplaceRetryMs[attempt]);
  }
}

}  // namespace tf::platform
