// A new directory of this process's own under `base`, named `prefix` plus a
// unique suffix: mkdtemp on POSIX; on Windows, which has none, a random name
// that create_directory makes only if nothing bears it yet. Empty on failure.
#pragma once

#include <string>

#if defined(_WIN32)
#include <filesystem>
#include <random>
#include <system_error>
#else
#include <stdlib.h>
#endif

namespace tf_test {

inline std::string make_private_dir(const std::string& base, const char* prefix) {
#if defined(_WIN32)
  std::random_device seed;
  std::mt19937_64 engine(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = base + "/" + prefix + std::to_string(engine() % 1000000000000ULL);
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) return path;
    if (error) return {};
  }
  return {};
#else
  std::string templ = base + "/" + prefix + "XXXXXX";
  if (::mkdtemp(templ.data()) == nullptr) return {};
  return templ;
#endif
}

// Where the system keeps temporary files: TMPDIR or /tmp on POSIX, the
// user's temporary folder on Windows.
inline std::string temp_base() {
#if defined(_WIN32)
  std::error_code error;
  std::string path = std::filesystem::temp_directory_path(error).string();
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
#else
  const char* base = std::getenv("TMPDIR");
  return base != nullptr && *base != '\0' ? base : "/tmp";
#endif
}

}  // namespace tf_test
