#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/read_files.hpp"

namespace tf::platform {
namespace {

void describe(const struct _stat64& st, FileStatus& out) noexcept {
  out.kind = (st.st_mode & _S_IFMT) == _S_IFDIR   ? FileKind::kDirectory
             : (st.st_mode & _S_IFMT) == _S_IFREG ? FileKind::kRegular
                                                  : FileKind::kOther;
  out.size = static_cast<std::int64_t>(st.st_size);
}

}  // namespace

int status_of_path(const char* path, FileStatus& out) noexcept {
  struct _stat64 st;
  if (::_stat64(path, &st) == 0) {
    describe(st, out);
    return 0;
  }
  // The C runtime knows no status of devices and says they do not exist.
  // The names CON, NUL, COM1 and the like name devices in every folder: the
  // system's full path of such a name is the device's, \\.\NAME.
  const int error = errno;
  char full[16];
  const DWORD n = ::GetFullPathNameA(path, sizeof full, full, nullptr);
  if (n > 4 && n < sizeof full && std::strncmp(full, "\\\\.\\", 4) == 0 &&
      std::strncmp(path, "\\\\", 2) != 0) {
    out.kind = FileKind::kOther;
    out.size = 0;
    return 0;
  }
  // Anything else the runtime cannot describe (a pipe, \\.\ names): a
  // handle without any access right reads nothing and never waits.
  const HANDLE handle =
      ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = error;
    return -1;
  }
  const DWORD type = ::GetFileType(handle);
  ::CloseHandle(handle);
  if (type == FILE_TYPE_DISK) {
    errno = error;
    return -1;
  }
  out.kind = FileKind::kOther;
  out.size = 0;
  return 0;
}

int status_of_file(int file, FileStatus& out) noexcept {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(file));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  struct _stat64 st;
  if (::_fstat64(file, &st) != 0) return -1;
  describe(st, out);
  // The C runtime calls a console or a device such as NUL a character file
  // and a pipe a FIFO, but only the system says for sure what lies behind a
  // handle: anything not on a disk is no regular file.
  if (::GetFileType(handle) != FILE_TYPE_DISK && out.kind == FileKind::kRegular) {
    out.kind = FileKind::kOther;
  }
  return 0;
}

int open_for_reading(const char* path) noexcept {
  // Opening never waits on Windows (a pipe with no server fails at once, a
  // console opens and would only block a read); the caller checks the kind.
  return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

std::int64_t read_some(int file, unsigned char* buffer, std::size_t n) noexcept {
  return ::_read(file, buffer, static_cast<unsigned>(n));
}

int rewind_file(int file) noexcept { return ::_lseeki64(file, 0, SEEK_SET) == 0 ? 0 : -1; }

void close_file(int file) noexcept { (void)::_close(file); }

}  // namespace tf::platform
