#include <windows.h>

#include "platform/target_identity.hpp"

namespace tf::platform {

bool target_identity(const char* path, char* out, std::size_t size) noexcept {
  constexpr int kWide = MAX_PATH * 4;
  wchar_t wide[kWide];
  wchar_t full[kWide];
  wchar_t upper[kWide];
  if (::MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kWide) == 0) return false;
  const DWORD n = ::GetFullPathNameW(wide, kWide, full, nullptr);
  if (n == 0 || n >= static_cast<DWORD>(kWide)) return false;
  // The invariant upper-case mapping: what NTFS's own table follows for the
  // names it compares, near enough (it knows no locale either).
  const int mapped = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full, static_cast<int>(n),
                                    upper, kWide - 1);
  if (mapped <= 0) return false;
  upper[mapped] = L'\0';
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, upper, mapped + 1, out,
                                          static_cast<int>(size), nullptr, nullptr);
  return bytes > 0;
}

}  // namespace tf::platform
