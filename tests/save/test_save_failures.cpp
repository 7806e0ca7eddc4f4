// Every failure of a save, in the order they are detected, with its exact
// message and what is left on disk: the target unchanged and no temporary
// file beside it.
#include <dirent.h>
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::file_exists;
using tf_test::read_file;
using tf_test::TempDir;

std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A directory with one target file in it, and a way to check that a failed
// save touched nothing there.
class Scene {
 public:
  Scene()
      : target_(dir_.write("target.txt", "old content")),
        source_(dir_.write("source.txt", "source text")),
        before_(listing(dir_.path())) {}
  const std::string& target() const { return target_; }
  const std::string& source() const { return source_; }
  void expect_untouched() const {
    EXPECT_EQ(read_file(target_), "old content");
    EXPECT_FALSE(file_exists(target_ + ".tmp"));
    EXPECT_EQ(listing(dir_.path()), before_);
  }

 private:
  TempDir dir_;
  std::string target_;
  std::string source_;
  std::vector<std::string> before_;
};

int open_some_handle(const Scene& s) {
  const int h = tf_open(s.source().c_str());
  EXPECT_GE(h, 0) << tf_last_error();
  return h;
}

TEST(SaveFailures, NullArguments) {
  Scene s;
  const int h = open_some_handle(s);
  const char* t = s.target().c_str();
  const std::string too_long(5000, 'p');
  struct {
    const char* what;
    std::function<int()> call;
  } const cases[] = {
      {"save, path", [&] { return tf_save(h, nullptr, "utf8"); }},
      {"save, encoding", [&] { return tf_save(h, t, nullptr); }},
      {"save, both", [&] { return tf_save(h, nullptr, nullptr); }},
      {"save, before an invalid handle", [&] { return tf_save(-1, nullptr, "bogus"); }},
      {"save_text, text", [&] { return tf_save_text(nullptr, 3, t, "utf8"); }},
      {"save_text, text with length 0", [&] { return tf_save_text(nullptr, 0, t, "utf8"); }},
      {"save_text, text with length -1", [&] { return tf_save_text(nullptr, -1, t, "utf8"); }},
      {"save_text, path", [&] { return tf_save_text("x", 1, nullptr, "utf8"); }},
      {"save_text, encoding", [&] { return tf_save_text("x", 1, t, nullptr); }},
      {"save_text, before a bad name and path",
       [&] { return tf_save_text(nullptr, 1, too_long.c_str(), "bogus"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char* none = tf_info(-1);  // a different message first
    ASSERT_EQ(none, nullptr);
    EXPECT_EQ(c.call(), -1);
    EXPECT_STREQ(tf_last_error(), "null argument");
  }
  tf_close(h);
  s.expect_untouched();
}

TEST(SaveFailures, InvalidHandleBeforeEncodingAndPath) {
  Scene s;
  const std::string too_long(5000, 'p');
  for (const int handle : {-1, 64, 1000, 63}) {
    SCOPED_TRACE(handle);
    EXPECT_EQ(tf_save(handle, too_long.c_str(), "bogus"), -1);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
    EXPECT_EQ(tf_save(handle, s.target().c_str(), "utf8"), -1);
    EXPECT_STREQ(tf_last_error(), "invalid handle");
  }
  // A closed handle is invalid too.
  const int h = open_some_handle(s);
  tf_close(h);
  EXPECT_EQ(tf_save(h, s.target().c_str(), "utf8"), -1);
  EXPECT_STREQ(tf_last_error(), "invalid handle");
  EXPECT_EQ(read_file(s.target()), "old content");
  EXPECT_FALSE(file_exists(s.target() + ".tmp"));
}

TEST(SaveFailures, UnsupportedEncodingNames) {
  Scene s;
  const int h = open_some_handle(s);
  const std::string too_long(5000, 'p');
  struct {
    const char* name;
    const char* message;
  } const cases[] = {
      {"UTF8", "unsupported encoding 'UTF8' (use utf8|utf8-bom|utf16le)"},
      {"utf-8", "unsupported encoding 'utf-8' (use utf8|utf8-bom|utf16le)"},
      {"ansi", "unsupported encoding 'ansi' (use utf8|utf8-bom|utf16le)"},
      {"", "unsupported encoding '' (use utf8|utf8-bom|utf16le)"},
      {"utf8 ", "unsupported encoding 'utf8 ' (use utf8|utf8-bom|utf16le)"},
      {"utf16", "unsupported encoding 'utf16' (use utf8|utf8-bom|utf16le)"},
      {"UTF16LE", "unsupported encoding 'UTF16LE' (use utf8|utf8-bom|utf16le)"},
      {"utf8-BOM", "unsupported encoding 'utf8-BOM' (use utf8|utf8-bom|utf16le)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(tf_save_text("x", 1, s.target().c_str(), c.name), -1);
    EXPECT_STREQ(tf_last_error(), c.message);
    EXPECT_EQ(tf_save(h, s.target().c_str(), c.name), -1);
    EXPECT_STREQ(tf_last_error(), c.message);
    // Reported before a path that is too long.
    EXPECT_EQ(tf_save_text("x", 1, too_long.c_str(), c.name), -1);
    EXPECT_STREQ(tf_last_error(), c.message);
  }
  tf_close(h);
  EXPECT_EQ(read_file(s.target()), "old content");
  EXPECT_FALSE(file_exists(s.target() + ".tmp"));
}

// Nested directories under `base` so that base/.../name is `total` bytes.
std::string path_of_length(const std::string& base, std::size_t total, bool create_dirs) {
  std::string p = base;
  while (total - p.size() > 252) {
    p += "/" + std::string(200, 'd');
    if (create_dirs) std::filesystem::create_directory(p);
  }
  p += "/" + std::string(total - p.size() - 1, 'n');
  return p;
}

TEST(SaveFailures, PathLimitIs4087Bytes) {
  TempDir dir;
#if defined(_WIN32)
  // Narrow paths stop at MAX_PATH (260 bytes) on Windows: there the system,
  // not the library, refuses the longest path, so only the limit is checked.
  const bool fits = false;
#else
  const bool fits = true;
#endif
  const std::string longest = path_of_length(dir.path(), 4087, fits);
  ASSERT_EQ(longest.size(), 4087u);
  if (fits) {
    EXPECT_EQ(tf_save_text("fits", -1, longest.c_str(), "utf8"), 1) << tf_last_error();
    EXPECT_EQ(read_file(longest), "fits");
    EXPECT_FALSE(file_exists(longest + ".tmp"));
  }

  const std::string one_more = longest + "m";
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
    SCOPED_TRACE(encoding);
    EXPECT_EQ(tf_save_text("x", 1, one_more.c_str(), encoding), -1);
    EXPECT_STREQ(tf_last_error(), "path too long");
  }
  EXPECT_FALSE(file_exists(one_more));
  EXPECT_FALSE(file_exists(one_more + ".tmp"));
  if (fits) {
    EXPECT_EQ(read_file(longest), "fits");
  }

  // Length alone decides, not whether the place exists.
  const std::string nowhere = "/nonexistent-dir/" + std::string(4071, 'x');
  ASSERT_EQ(nowhere.size(), 4088u);
  EXPECT_EQ(tf_save_text("x", 1, nowhere.c_str(), "utf8"), -1);
  EXPECT_STREQ(tf_last_error(), "path too long");
  EXPECT_EQ(tf_save_text("x", 1, nowhere.substr(1).c_str(), "utf8"), -1);
  EXPECT_STRNE(tf_last_error(), "path too long");
}

TEST(SaveFailures, MissingDirectoryQuotesTheTemporaryName) {
  TempDir dir;
  const std::string target = dir.file("missing/t.txt");
  EXPECT_EQ(tf_save_text("x", 1, target.c_str(), "utf16le"), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot create temp file '" + target + ".tmp': No such file or directory");
  EXPECT_FALSE(file_exists(dir.file("missing")));
}

TEST(SaveFailures, LongMessageIsCutTo511Bytes) {
  TempDir dir;
  const std::string target = dir.file("missing/") + std::string(900, 'q');
  EXPECT_EQ(tf_save_text("x", 1, target.c_str(), "utf8"), -1);
  const std::string full =
      "cannot create temp file '" + target + ".tmp': No such file or directory";
  EXPECT_EQ(std::string(tf_last_error()), full.substr(0, 511));
}

// Also with a trailing '/', whose temporary name "<dir>/.tmp" is someone
// else's file: nothing is touched.
TEST(SaveFailures, TargetThatIsADirectoryFailsTheRename) {
  TempDir dir;
  const std::string target = dir.file("a-directory");
  ASSERT_TRUE(std::filesystem::create_directory(target));
  const std::string inside = dir.write("a-directory/kept.txt", "kept");
  const std::string planted = dir.write("a-directory/.tmp", "planted");
  for (const std::string& path : {target, target + "/"}) {
    for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
      SCOPED_TRACE(path + " " + encoding);
      EXPECT_EQ(tf_save_text("x", 1, path.c_str(), encoding), -1);
#if defined(_WIN32)
      EXPECT_STREQ(tf_last_error(), "rename failed: Win32 error 5");  // ERROR_ACCESS_DENIED
#else
      EXPECT_STREQ(tf_last_error(), "rename failed: Win32 error 21");  // EISDIR
#endif
      EXPECT_FALSE(file_exists(target + ".tmp"));
      EXPECT_EQ(read_file(inside), "kept");
      EXPECT_EQ(read_file(planted), "planted");
      EXPECT_EQ(listing(target), (std::vector<std::string>{".", "..", ".tmp", "kept.txt"}));
    }
  }
}

// The empty path names nothing: its temporary name would be ".tmp" in the
// current directory, someone else's file, which stays as it was.
TEST(SaveFailures, EmptyPathFailsBeforeTouchingTheDisk) {
  TempDir dir;
  const std::string planted = dir.write(".tmp", "planted");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
    EXPECT_EQ(tf_save_text("x", 1, "", encoding), -1);
    EXPECT_STREQ(tf_last_error(), "rename failed: Win32 error 2");  // ENOENT, ERROR_FILE_NOT_FOUND
  }
  std::filesystem::current_path(previous);
  EXPECT_EQ(read_file(planted), "planted");
  EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{".", "..", ".tmp"}));
}

#if !defined(_WIN32)  // no file-size limit, SIGXFSZ or fork on Windows
// ---- The file-size limit, in a child process so that the limit and the
// signal settings stay there.

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool sigxfsz_pending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ) == 1;
}

bool sigxfsz_blocked() {
  sigset_t mask;
  sigemptyset(&mask);
  return pthread_sigmask(SIG_BLOCK, nullptr, &mask) == 0 && sigismember(&mask, SIGXFSZ) == 1;
}

enum class CallerSignal { kIgnored, kDefault, kBlocked };

// In a child: limits file sizes to 1000 bytes, saves `size` bytes over an
// existing target and checks the message, the target, the temporary file
// and the signal state. Exit code 0 when everything held.
int save_over_the_limit(const std::string& target, std::size_t size, CallerSignal caller,
                        const char* message) {
  if (caller == CallerSignal::kIgnored) ::signal(SIGXFSZ, SIG_IGN);
  if (caller == CallerSignal::kDefault) ::signal(SIGXFSZ, SIG_DFL);
  if (caller == CallerSignal::kBlocked) {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &block, nullptr);
  }
  const struct rlimit limit = {1000, 1000};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
  const std::string text(size, 'x');
  if (tf_save_text(text.data(), static_cast<int>(text.size()), target.c_str(), "utf8") != -1) {
    return 11;
  }
  if (std::strcmp(tf_last_error(), message) != 0) return 12;
  if (slurp(target) != "old content") return 13;
  if (file_exists(target + ".tmp")) return 14;
  switch (caller) {
    case CallerSignal::kIgnored:
    case CallerSignal::kDefault:
      if (sigxfsz_pending()) return 15;  // taken off again
      if (sigxfsz_blocked()) return 16;  // mask restored
      break;
    case CallerSignal::kBlocked: {
      // Left to the caller, who blocks it on purpose.
      if (!sigxfsz_pending()) return 17;
      if (!sigxfsz_blocked()) return 18;
      break;
    }
  }
  return 0;
}

void expect_child_succeeds(const std::string& target, std::size_t size, CallerSignal caller,
                           const char* message) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) ::_exit(save_over_the_limit(target, size, caller, message));
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SaveFailures, WriteBeyondTheFileSizeLimit) {
  Scene s;
  struct {
    const char* what;
    CallerSignal caller;
  } const cases[] = {{"SIGXFSZ ignored", CallerSignal::kIgnored},
                     {"SIGXFSZ default: the library must survive", CallerSignal::kDefault},
                     {"SIGXFSZ blocked by the caller", CallerSignal::kBlocked}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Far beyond the limit, and just beyond it: the write fails.
    expect_child_succeeds(s.target(), 200000, c.caller, "write failed: File too large");
    expect_child_succeeds(s.target(), 2000, c.caller, "write failed: File too large");
  }
  s.expect_untouched();
}

#endif

}  // namespace
