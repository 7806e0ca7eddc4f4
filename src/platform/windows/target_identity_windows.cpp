#include <windows.h>

#include <cstring>

#include "platform/target_identity.hpp"

namespace tf::platform {

void name_identity(const char* name, char* out, std::size_t size) noexcept {
  constexpr int kWide = 1024;
  wchar_t wide[kWide];
  wchar_t upper[kWide];
  out[0] = '\0';
  const int n = ::MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kWide);
  // The invariant upper-case mapping: what NTFS's own table follows for the
  // names it compares, near enough (it knows no locale either).
  const int mapped =
      n > 0 ? ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide, n, upper, kWide) : 0;
  if (mapped <= 0 || ::WideCharToMultiByte(CP_UTF8, 0, upper, mapped, out, static_cast<int>(size),
                                           nullptr, nullptr) <= 0) {
    // Too long for any file system: compared as spelt (the save fails anyway).
    std::strncpy(out, name, size - 1);
  }
  out[size - 1] = '\0';
}

}  // namespace tf::platform
