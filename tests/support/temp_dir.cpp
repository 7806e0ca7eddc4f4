#include "support/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/private_dir.hpp"

#if defined(__wasi__)
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <filesystem>
#endif

namespace tf_test {
namespace {

#if defined(__wasi__)
// std::filesystem::remove_all, which WASI's libc++ lacks.
void remove_tree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* dir = ::opendir(path.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") remove_tree(path + "/" + name);
      }
      ::closedir(dir);
    }
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}
#else
void remove_tree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}
#endif

}  // namespace

TempDir::TempDir() {
  path_ = make_private_dir(temp_base(), "tf_test_");
  if (path_.empty()) ADD_FAILURE() << "cannot create a temporary directory";
}

TempDir::~TempDir() { remove_tree(path_); }

std::string TempDir::file(std::string_view name) const { return path_ + "/" + std::string(name); }

std::string TempDir::write(std::string_view name, std::string_view bytes) const {
  const std::string p = file(name);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << p;
  return p;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) {
#if defined(__wasi__)
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
#else
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
#endif
}

}  // namespace tf_test
