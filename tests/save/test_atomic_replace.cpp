// The pieces of the replacement, tested where the public calls cannot reach:
// a link planted at the temporary name between its removal and its creation,
// the mode and owner the new file starts with, and the out-of-memory path of
// the "utf16le" save.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <string>

#include "frame/last_error.hpp"
#include "platform/write_files.hpp"
#include "save/atomic_replace.hpp"
#include "save/save_encoded.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_test::file_exists;
using tf_test::read_file;
using tf_test::TempDir;

// Links, permission bits and owners of the temporary file: POSIX only
// (Windows' links need a privilege and its permissions are ACLs).
#if !defined(_WIN32)
// Creates `path` as a save does, in the directory that holds it.
int create_in_place(const char* path, const char* like) {
  tf::platform::Directory directory;
  if (tf::platform::open_directory_of(path, directory) != 0) return -1;
  const int fd = tf::platform::create_new_file(directory, path, like);
  const int error_number = errno;
  tf::platform::close_directory(directory);
  errno = error_number;
  return fd;
}

mode_t mode_of_fd(int fd) {
  struct stat st;
  EXPECT_EQ(::fstat(fd, &st), 0);
  return st.st_mode & 07777;
}

TEST(OpenNewTemp, RefusesALinkPlantedAtTheName) {
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
    errno = 0;
    EXPECT_EQ(create_in_place(temp.c_str(), target.c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(read_file(victim), "precious");
    struct stat st;
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 8);
    ASSERT_EQ(::unlink(temp.c_str()), 0);
  }
}

TEST(OpenNewTemp, ADanglingLinkCreatesNothingAtItsDestination) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  const std::string temp = target + ".tmp";
  const std::string nowhere = dir.file("nowhere.txt");
  ASSERT_EQ(::symlink(nowhere.c_str(), temp.c_str()), 0);
  EXPECT_EQ(create_in_place(temp.c_str(), target.c_str()), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_FALSE(file_exists(nowhere));
}

TEST(OpenNewTemp, TakesTheModeOfARegularTargetOnly) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  const std::string temp = target + ".tmp";
  struct {
    mode_t target_mode;
    mode_t want;
  } const cases[] = {{0640, 0640},  {0600, 0600}, {0755, 0755}, {04755, 0755},
                     {02775, 0775}, {0444, 0444}, {0000, 0000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target_mode);
    ASSERT_EQ(::chmod(target.c_str(), c.target_mode), 0);
    const int fd = create_in_place(temp.c_str(), target.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(mode_of_fd(fd), c.want);
    ::close(fd);
    ASSERT_EQ(::unlink(temp.c_str()), 0);
  }

  // A link at the target is not followed for its mode: the new file is
  // created as a new target would be.
  const std::string link = dir.file("link.txt");
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  const mode_t old_mask = ::umask(022);
  const int fd = create_in_place((link + ".tmp").c_str(), link.c_str());
  ::umask(old_mask);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(mode_of_fd(fd), 0644u);
  ::close(fd);
}

TEST(OpenNewTemp, TakesTheOwnerAndGroupWhereAllowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  ASSERT_EQ(::chown(target.c_str(), 4242, 4343), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const std::string temp = target + ".tmp";
  const int fd = create_in_place(temp.c_str(), target.c_str());
  ASSERT_GE(fd, 0);
  struct stat st;
  ASSERT_EQ(::fstat(fd, &st), 0);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ::close(fd);
}

#endif

TEST(ReplacementFile, UncommittedRemovesTheTemporaryFile) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  const std::string temp = target + ".tmp";
  {
    tf::save::ReplacementFile file(target.c_str());
    ASSERT_TRUE(file.create());
    const unsigned char bytes[] = {'n', 'e', 'w'};
    ASSERT_TRUE(file.write(bytes, 3));
    EXPECT_TRUE(file_exists(temp));
  }
  EXPECT_FALSE(file_exists(temp));
  EXPECT_EQ(read_file(target), "old");
}

TEST(SaveEncoded, OutOfMemoryEncodingUtf16leRemovesTheTemporaryFile) {
  TempDir dir;
  const std::string target = dir.write("t.txt", "old");
  // A length whose output block cannot exist: refused before any byte of
  // the text is read, after the temporary file was created.
  const unsigned char text = 'a';
  EXPECT_EQ(tf::save::save_encoded(&text, UINT64_MAX / 2, target.c_str(), "utf16le"), -1);
  EXPECT_STREQ(tf::last_error_buffer(), "out of memory encoding utf16le");
  EXPECT_EQ(read_file(target), "old");
  EXPECT_FALSE(file_exists(target + ".tmp"));
}

}  // namespace
