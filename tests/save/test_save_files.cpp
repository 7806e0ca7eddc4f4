// What a save does to the files around it: permissions and owner carried
// over, links at the temporary name removed rather than followed, a stale
// temporary file replaced, a symbolic link at the target replaced.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace {

using tf_test::file_exists;
using tf_test::read_file;
using tf_test::TempDir;

// Permission bits, owners and links: POSIX only (Windows' links need a
// privilege and its permissions are ACLs; see the README).
#if !defined(_WIN32)
struct stat lstat_of(const std::string& path) {
  struct stat st = {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(SaveFiles, ExistingTargetKeepsItsPermissionBits) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  struct {
    mode_t before;
    mode_t after;
  } const cases[] = {{0600, 0600}, {0755, 0755},  {0640, 0640}, {0444, 0444},
                     {0604, 0604}, {04755, 0755}, {06711, 0711}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.before);
    ASSERT_EQ(::chmod(target.c_str(), c.before), 0);
    for (const char* encoding : {"utf8", "utf16le"}) {
      ASSERT_EQ(tf_save_text("new", -1, target.c_str(), encoding), 1) << tf_last_error();
      EXPECT_EQ(lstat_of(target).st_mode & 07777, c.after);
    }
  }
}

TEST(SaveFiles, NewTargetGets0666MinusTheUmask) {
  TempDir dir;
  for (const mode_t mask : {022u, 027u, 077u, 002u}) {
    SCOPED_TRACE(testing::Message() << std::oct << mask);
    const std::string target = dir.file("new-" + std::to_string(mask));
    const mode_t old_mask = ::umask(mask);
    const int rc = tf_save_text("x", 1, target.c_str(), "utf8");
    ::umask(old_mask);
    ASSERT_EQ(rc, 1) << tf_last_error();
    EXPECT_EQ(lstat_of(target).st_mode & 07777, 0666 & ~mask);
  }
}

TEST(SaveFiles, ExistingTargetKeepsItsOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  ASSERT_EQ(::chown(target.c_str(), 4242, 4343), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(tf_save_text("new", -1, target.c_str(), "utf8-bom"), 1) << tf_last_error();
  const struct stat st = lstat_of(target);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(SaveFiles, LinksAtTheTemporaryNameAreRemovedNotFollowed) {
  TempDir dir;
  const std::string victim = dir.write("victim.txt", "precious");
  const std::string target = dir.write("t.txt", "old");
  const std::string temp = target + ".tmp";
  struct {
    const char* kind;
    int (*plant)(const char*, const char*);
  } const cases[] = {{"symlink", ::symlink}, {"hard link", ::link}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    ASSERT_EQ(c.plant(victim.c_str(), temp.c_str()), 0);
    ASSERT_EQ(tf_save_text("new", -1, target.c_str(), "utf8"), 1) << tf_last_error();
    EXPECT_EQ(read_file(target), "new");
    EXPECT_FALSE(file_exists(temp));
    EXPECT_EQ(read_file(victim), "precious");
    const struct stat st = lstat_of(victim);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_TRUE(S_ISREG(st.st_mode));
  }
}

#endif

TEST(SaveFiles, StaleTemporaryFileIsReplaced) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  dir.write("t.txt.tmp", std::string(5000, 's'));
  ASSERT_EQ(tf_save_text("new", -1, target.c_str(), "utf16le"), 1) << tf_last_error();
  EXPECT_EQ(read_file(target), std::string("\xFF\xFEn\0e\0w\0", 8));
  EXPECT_FALSE(file_exists(target + ".tmp"));
}

TEST(SaveFiles, DirectoryAtTheTemporaryNameFailsTheCreation) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  ASSERT_TRUE(std::filesystem::create_directory(target + ".tmp"));
  EXPECT_EQ(tf_save_text("new", -1, target.c_str(), "utf8"), -1);
  // What removing a directory as a file answers: EISDIR on Linux, EACCES
  // from Windows' C runtime.
#if defined(_WIN32)
  const int refusal = EACCES;
#else
  const int refusal = EISDIR;
#endif
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot create temp file '" + target + ".tmp': " + std::strerror(refusal));
  EXPECT_EQ(read_file(target), "old");
  EXPECT_TRUE(std::filesystem::is_directory(target + ".tmp"));
}

#if !defined(_WIN32)
TEST(SaveFiles, SymlinkedTargetIsReplacedNotFollowed) {
  TempDir dir;
  const std::string real = dir.write("real.txt", "real content");
  const std::string link = dir.file("link.txt");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  ASSERT_EQ(tf_save_text("new", -1, link.c_str(), "utf8"), 1) << tf_last_error();
  EXPECT_TRUE(S_ISREG(lstat_of(link).st_mode));
  EXPECT_EQ(read_file(link), "new");
  EXPECT_EQ(read_file(real), "real content");
  EXPECT_FALSE(file_exists(link + ".tmp"));
}
#endif

#if !defined(_WIN32)  // such names exceed MAX_PATH in any folder on Windows
// Names of 251 bytes still get "<name>.tmp"; longer ones, whose ".tmp"
// name could not exist, a short temporary name beside them. Either way the
// directory holds only the target afterwards.
TEST(SaveFiles, NamesUpTo255BytesCanBeSaved) {
  TempDir dir;
  for (const std::size_t length : {251, 252, 255}) {
    SCOPED_TRACE(length);
    const std::string target = dir.file(std::string(length, 'n'));
    for (const char* text : {"first", "second"}) {
      ASSERT_EQ(tf_save_text(text, -1, target.c_str(), "utf8"), 1) << tf_last_error();
      EXPECT_EQ(read_file(target), text);
    }
    const auto entries = std::filesystem::directory_iterator(dir.path());
    EXPECT_EQ(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 1);
    std::filesystem::remove(target);
  }
}

#endif

}  // namespace
