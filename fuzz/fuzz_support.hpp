// Shared by the fuzz targets: a failed invariant aborts with its reason (the
// fuzzer then keeps the input), and a private scratch directory for files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "frame/simd_level.hpp"
#include "support/private_dir.hpp"

namespace tf_fuzz {

[[noreturn]] inline void fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "invariant broken: %s\n%s\n", what, detail.c_str());
  std::abort();
}

inline void check(bool ok, const char* what, const std::string& detail = {}) {
  if (!ok) fail(what, detail);
}

// Runs `body` once with each kernel level this machine runs forced, then
// goes back to the detected one.
template <class Body>
void for_each_level(Body&& body) {
  for (int l = 0; l < tf::simd::kLevelCount; ++l) {
    const auto level = static_cast<tf::simd::Level>(l);
    if (!tf::simd::level_available(level)) continue;
    tf::simd::force_level(level);
    body();
  }
  tf::simd::reset_level();
}

// A directory of this process's own, on tmpfs where there is one (saves sync
// their files, which costs little there). Removed at exit.
inline const std::string& scratch_dir() {
  static const std::string dir = [] {
    std::error_code error;
    const bool shm = std::filesystem::is_directory("/dev/shm", error);
    std::string made =
        tf_test::make_private_dir(shm ? "/dev/shm" : tf_test::temp_base(), "tf_fuzz_");
    if (made.empty() && shm) made = tf_test::make_private_dir(tf_test::temp_base(), "tf_fuzz_");
    if (made.empty()) fail("cannot create a scratch directory");
    static std::string removal;
    removal = made;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removal, ignored);
    });
    return made;
  }();
  return dir;
}

inline bool write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

inline std::string read_file(const std::string& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

// Reads fixed-size values off the front of the input; zeros once it runs out.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  template <class T>
  T value() {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v |= std::uint64_t{byte()} << (8 * i);
    T out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }
  // Up to n bytes (fewer when the input runs out).
  std::string bytes(std::size_t n) {
    const std::size_t take = n < size_ - pos_ ? n : size_ - pos_;
    std::string out(reinterpret_cast<const char*>(data_ + pos_), take);
    pos_ += take;
    return out;
  }
  std::string rest() { return bytes(size_ - pos_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace tf_fuzz
