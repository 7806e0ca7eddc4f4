#include <windows.h>

#include "platform/target_identity.hpp"

namespace tf::platform {

bool target_identity(const char* path, char* out, std::size_t size) noexcept {
  wchar_t wide[MAX_PATH * 4];
  wchar_t full[MAX_PATH * 4];
  if (::MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH * 4) == 0) return false;
  const DWORD n = ::GetFullPathNameW(wide, MAX_PATH * 4, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return false;
  // The upper-case mapping of the system, the one NTFS's own table follows
  // for every name it compares.
  ::CharUpperBuffW(full, n);
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, full, static_cast<int>(n) + 1, out,
                                          static_cast<int>(size), nullptr, nullptr);
  return bytes > 0;
}

}  // namespace tf::platform
