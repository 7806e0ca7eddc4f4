// Where Windows differs: devices and pipes refused as not regular files, and
// the replace's own Win32 codes when another program holds the target or a
// read-only file is in the way.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::file_exists;
using tf_test::read_file;
using tf_test::TempDir;

// Holds a file open for reading without delete sharing, as a scanner or an
// indexer does.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : handle_(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldOpen() { release(); }
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void release() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

TEST(WindowsOpen, DevicesAreNotRegularFiles) {
  for (const char* device : {"NUL", "CON", "nul"}) {
    SCOPED_TRACE(device);
    EXPECT_EQ(tf_open(device), -1);
    EXPECT_EQ(std::string(tf_last_error()), "'" + std::string(device) + "' is not a regular file");
  }
}

TEST(WindowsOpen, APipeIsRefusedWithoutWaiting) {
  const std::string name = "\\\\.\\pipe\\tf_test_" + std::to_string(::GetCurrentProcessId());
  const HANDLE server = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  EXPECT_EQ(tf_open(name.c_str()), -1);
  EXPECT_EQ(std::string(tf_last_error()), "'" + name + "' is not a regular file");
  ::CloseHandle(server);
}

TEST(WindowsReplace, ATargetHeldOpenReportsTheSystemCode) {
  TempDir dir;
  const std::string target = dir.write("held.txt", "old");
  HeldOpen holder(target);
  ASSERT_TRUE(holder.held());
  EXPECT_EQ(tf_save_text("new", -1, target.c_str(), "utf8"), -1);
  const std::string message = tf_last_error();
  // ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION, after the short retries.
  EXPECT_TRUE(message == "rename failed: Win32 error 5" ||
              message == "rename failed: Win32 error 32")
      << message;
  holder.release();
  EXPECT_EQ(read_file(target), "old");
  EXPECT_FALSE(file_exists(target + ".tmp"));
}

TEST(WindowsReplace, AHolderThatLetsGoSoonIsWaitedFor) {
  TempDir dir;
  const std::string target = dir.write("briefly.txt", "old");
  HeldOpen holder(target);
  ASSERT_TRUE(holder.held());
  std::thread release([&holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    holder.release();
  });
  EXPECT_EQ(tf_save_text("new", -1, target.c_str(), "utf8"), 1) << tf_last_error();
  release.join();
  EXPECT_EQ(read_file(target), "new");
  EXPECT_FALSE(file_exists(target + ".tmp"));
}

bool under_wine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Windows refuses to replace a read-only file; the save reports that at once
// instead of retrying.
TEST(WindowsReplace, AReadOnlyTargetIsRefusedAtOnce) {
  if (under_wine()) GTEST_SKIP() << "wine's MoveFileExA replaces read-only files";
  TempDir dir;
  const std::string target = dir.write("read-only.txt", "old");
  ASSERT_NE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tf_save_text("new", -1, target.c_str(), "utf8"), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_STREQ(tf_last_error(), "rename failed: Win32 error 5");
  EXPECT_EQ(read_file(target), "old");
  EXPECT_FALSE(file_exists(target + ".tmp"));
  ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
