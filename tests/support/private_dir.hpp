// A new directory of this process's own under `base`, named `prefix` plus a
// unique suffix: mkdtemp on POSIX; on Windows, which has none, a random name
// that create_directory makes only if nothing bears it yet. Empty on failure.
#pragma once

#include <string>

#if defined(_WIN32)
#include <filesystem>
#include <random>
#include <system_error>
#elif defined(__wasi__)
#include <sys/stat.h>

#include <chrono>
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
#elif defined(__wasi__)
  // No mkdtemp: a name from the clock that mkdir makes only if it is free.
  auto n =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt, n = n * 6364136223846793005ULL + 1) {
    const std::string path = base + "/" + prefix + std::to_string(n % 1000000000000ULL);
    if (::mkdir(path.c_str(), 0700) == 0) return path;
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
