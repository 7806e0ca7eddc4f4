// Two saves at once whose names meet: one file spelt two ways, or a target
// and another save's temporary name. Each pair runs many rounds from two
// threads released together; no target may ever hold the other save's
// bytes, no file may be torn, and a save that returned 1 leaves its target
// holding its bytes (or, for one file spelt twice, one of the two).
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::file_exists;
using tf_test::TempDir;

constexpr int kRounds = 200;
constexpr int kFewRounds = 50;  // where the old fault showed in most rounds
constexpr std::size_t kSize = std::size_t{1} << 16;

std::string content_of(const std::string& path) {
  return file_exists(path) ? tf_test::read_file(path) : std::string("<absent>");
}

struct Outcome {
  int rc_first = 0;
  int rc_second = 0;
};

// Saves `a` to `first` and `b` to `second` from two threads at once.
Outcome race(const std::string& first, const std::string& a, const std::string& second,
             const std::string& b) {
  std::atomic<int> ready{0};
  Outcome out;
  auto save = [&](const std::string& path, const std::string& text, int& rc) {
    ready.fetch_add(1);
    while (ready.load() < 2) std::this_thread::yield();
    rc = tf_save_text(text.data(), static_cast<int>(text.size()), path.c_str(), "utf8");
  };
  std::thread t1(save, std::cref(first), std::cref(a), std::ref(out.rc_first));
  std::thread t2(save, std::cref(second), std::cref(b), std::ref(out.rc_second));
  t1.join();
  t2.join();
  return out;
}

// One file under two spellings: after both saves it holds one of them whole.
int race_one_file(const std::string& first, const std::string& second, const std::string& real,
                  int rounds = kRounds) {
  int wrong = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string a(kSize, static_cast<char>('a' + round % 13));
    const std::string b(kSize, static_cast<char>('N' + round % 13));
    const Outcome o = race(first, a, second, b);
    const std::string got = content_of(real);
    const bool ok = o.rc_first == 1 && o.rc_second == 1 && (got == a || got == b) &&
                    !file_exists(real + ".tmp");
    if (!ok && wrong++ == 0) {
      ADD_FAILURE() << first << " / " << second << " round " << round << ": " << o.rc_first << " "
                    << o.rc_second << " " << tf_last_error() << ", " << got.size() << " bytes";
    }
  }
  return wrong;
}

TEST(SaveNames, TargetAndAnotherSavesTemporaryNameTakeTurns) {
  TempDir dir;
  const std::string p = dir.file("p");
  const std::string p_tmp = p + ".tmp";
  int wrong = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string a(kSize, static_cast<char>('a' + round % 13));
    const std::string b(kSize, static_cast<char>('N' + round % 13));
    const Outcome o = race(p, a, p_tmp, b);
    // The save to p replaces a p.tmp saved before it, as in one thread.
    const std::string got_p = content_of(p);
    const std::string got_tmp = content_of(p_tmp);
    const bool ok = o.rc_first == 1 && o.rc_second == 1 && got_p == a &&
                    (got_tmp == b || got_tmp == "<absent>") && !file_exists(p_tmp + ".tmp");
    if (!ok && wrong++ == 0) {
      ADD_FAILURE() << "round " << round << ": " << o.rc_first << " " << o.rc_second << " "
                    << tf_last_error() << ", p holds " << got_p.size() << " bytes '"
                    << got_p.substr(0, 1) << "'";
    }
  }
  std::printf("[save names] p / p.tmp: %d of %d rounds wrong\n", wrong, kRounds);
  EXPECT_EQ(wrong, 0);
}

TEST(SaveNames, OneFileSpeltTwoWaysTakesTurns) {
  TempDir dir;
  const std::string real = dir.file("a.txt");
  // "./a.txt" relative to the directory, spelt inside the absolute path.
  const int wrong = race_one_file(real, dir.path() + "/./a.txt", real);
  std::printf("[save names] a.txt / ./a.txt: %d of %d rounds wrong\n", wrong, kRounds);
  EXPECT_EQ(wrong, 0);
}

#if defined(_WIN32)
TEST(SaveNames, NamesDifferingInCaseTakeTurns) {
  TempDir dir;
  const int wrong = race_one_file(dir.file("A.TXT"), dir.file("a.txt"), dir.file("a.txt"));
  std::printf("[save names] A.TXT / a.txt: %d of %d rounds wrong\n", wrong, kRounds);
  EXPECT_EQ(wrong, 0);
}
#else
TEST(SaveNames, FileThroughALinkedDirectoryTakesTurns) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("d"));
  std::filesystem::create_directory_symlink(dir.file("d"), dir.file("link-to-d"));
  const int wrong = race_one_file(dir.file("d/f"), dir.file("link-to-d/f"), dir.file("d/f"));
  std::printf("[save names] d/f / link-to-d/f: %d of %d rounds wrong\n", wrong, kRounds);
  EXPECT_EQ(wrong, 0);
}

// A directory whose real path is longer than PATH_MAX, reached through a
// link: the system cannot resolve it to a path, yet it is one directory.
TEST(SaveNames, FileDeeperThanPathMaxTakesTurns) {
  TempDir dir;
  // 22 levels of 200 bytes. A link holds at most PATH_MAX bytes: "deep"
  // leads 11 levels down, to a link "rest" there that leads 11 more.
  const std::string step(200, 'd');
  std::string eleven = step;
  for (int level = 1; level < 11; ++level) eleven += "/" + step;
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 22; ++level) {
    if (level == 11) {
      ASSERT_EQ(::symlinkat(eleven.c_str(), fd, "rest"), 0);
    }
    ASSERT_EQ(::mkdirat(fd, step.c_str(), 0700), 0);
    const int next = ::openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ::close(fd);
  ASSERT_EQ(::symlink((eleven + "/rest").c_str(), dir.file("deep").c_str()), 0);
  const int wrong =
      race_one_file(dir.file("deep/f"), dir.file("deep/./f"), dir.file("deep/f"), kFewRounds);
  std::printf("[save names] deep/f / deep/./f beyond PATH_MAX: %d of %d rounds wrong\n", wrong,
              kFewRounds);
  EXPECT_EQ(wrong, 0);
}

// One directory mounted a second time elsewhere (as container volumes are),
// in a mount namespace of a child's own: skipped where that is not allowed.
TEST(SaveNames, FileThroughABindMountTakesTurns) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("a"));
  std::filesystem::create_directory(dir.file("b"));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(dir.file("a").c_str(), dir.file("b").c_str(), nullptr, MS_BIND, nullptr) != 0) {
      ::_exit(77);
    }
    const int wrong = race_one_file(dir.file("a/f"), dir.file("b/f"), dir.file("a/f"), kFewRounds);
    std::printf("[save names] a/f / b/f through a bind mount: %d of %d rounds wrong\n", wrong,
                kFewRounds);
    std::fflush(stdout);
    ::_exit(wrong == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace of our own here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
