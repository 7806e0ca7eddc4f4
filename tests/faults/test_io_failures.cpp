// Every file call that tf_open and the saves make, failed one at a time:
// each failure gives the message for that call (or is recovered from where
// the call's result does not matter), the target keeps its old bytes, no
// temporary file and no descriptor is left behind, no handle slot stays
// taken. Also the faults a real system produces: a file-size limit, a full
// file system, a read-only one.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "faults/io_injector.hpp"
#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "support/temp_dir.hpp"

namespace {

using tf_io::Call;
using tf_test::TempDir;

struct Figures {
  int injected = 0;
  int failed = 0;
  int recovered = 0;
};
Figures g_figures;

class PrintFigures : public testing::Environment {
 public:
  void TearDown() override {
    std::printf(
        "[io] %d file calls failed one at a time: %d failed the call with its message, "
        "%d were recovered from; nothing lost\n",
        g_figures.injected, g_figures.failed, g_figures.recovered);
  }
};
const auto* const g_print = testing::AddGlobalTestEnvironment(new PrintFigures);

std::set<std::string> entries_of(const std::string& dir) {
  std::set<std::string> out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) out.insert(e->d_name);
    ::closedir(d);
  }
  return out;
}

std::string encoded(const std::string& text, const std::string& encoding) {
  if (encoding == "utf8-bom") return "\xEF\xBB\xBF" + text;
  if (encoding == "utf16le") return tf_ref::utf16le_encode(text).bytes;
  return text;
}

std::string text_of_error(Call call) { return std::strerror(tf_io::error_of(call)); }

// What a save must answer when the index-th of its calls fails, and whether
// the target holds the new bytes afterwards.
struct Expected {
  bool fails;
  std::string message;
  bool replaced = !fails;
};

Expected expect_for_save(const std::vector<tf_io::Recorded>& calls, std::size_t index,
                         const std::string& temp) {
  const Call call = calls[index].call;
  int earlier_same = 0;
  for (std::size_t i = 0; i < index; ++i) earlier_same += calls[i].call == call ? 1 : 0;
  const std::string cannot_create = "cannot create temp file '" + temp + "': ";
  switch (call) {
    case Call::kFstatat:  // no status of the target: not a directory, a new file's permissions
    case Call::kFchown:
    case Call::kFchmod:
    case Call::kClose:  // the data is synced before the close
      return {false, ""};
    case Call::kUnlinkat:
      return {true, cannot_create + text_of_error(call)};
    case Call::kOpen:
    case Call::kFstat:
      // The directory, opened first and identified: a save fails there as
      // the creation of its temporary file in a missing directory does.
      return {true, cannot_create + text_of_error(call)};
    case Call::kOpenat:
      return {true, cannot_create + text_of_error(call)};
    case Call::kWrite:
      return {true, "write failed: " + text_of_error(call)};
    case Call::kFsync:
      // The directory's sync fails after the rename: reported, with the new
      // bytes already in place.
      if (earlier_same > 0) return {true, "directory sync failed: " + text_of_error(call), true};
      return {true, "fflush failed: " + text_of_error(call)};
    case Call::kRenameat:
      return {true, "rename failed: Win32 error " + std::to_string(tf_io::error_of(call))};
    default:
      ADD_FAILURE() << "a save calls " << tf_io::name_of(call);
      return {true, "?"};
  }
}

void sweep_save(bool with_handle, const std::string& encoding) {
  SCOPED_TRACE((with_handle ? "tf_save " : "tf_save_text ") + encoding);
  TempDir dir;
  const std::string text = "h\xC3\xA9llo\r\n" + std::string(10000, 'z') + "\xF0\x9F\x98\x80\n";
  const std::string target = dir.file("target.txt");
  const std::string temp = target + ".tmp";
  const std::string old_bytes = "old bytes\n";
  const std::string source = dir.write("source.txt", text);
  const int handle = tf_open(source.c_str());
  ASSERT_EQ(handle, 0);
  auto save = [&] {
    return with_handle ? tf_save(handle, target.c_str(), encoding.c_str())
                       : tf_save_text(text.data(), static_cast<int>(text.size()), target.c_str(),
                                      encoding.c_str());
  };
  dir.write("target.txt", old_bytes);
  const std::set<std::string> files = entries_of(dir.path());
  const int descriptors = tf_io::open_descriptors();

  tf_io::arm(0);
  ASSERT_EQ(save(), 1) << tf_last_error();
  const std::vector<tf_io::Recorded> baseline = tf_io::disarm();
  ASSERT_EQ(tf_test::read_file(target), encoded(text, encoding));
  // A success means the new name is durable: the directory is opened before
  // the rename and synced after it; every file call after its opening is
  // relative to it.
  std::size_t renamed_at = baseline.size(), directory_at = baseline.size(), synced_after = 0;
  for (std::size_t i = 0; i < baseline.size(); ++i) {
    if (baseline[i].call == Call::kRenameat) renamed_at = i;
    if (baseline[i].call == Call::kOpen && (baseline[i].open_flags & O_DIRECTORY) != 0) {
      directory_at = i;
    }
    if (baseline[i].call == Call::kFsync && i > renamed_at) ++synced_after;
  }
  ASSERT_LT(renamed_at, baseline.size()) << "no rename";
  EXPECT_LT(directory_at, renamed_at) << "the directory was not opened before the rename";
  EXPECT_EQ(synced_after, 1u) << "the directory was not synced after the rename";
  for (std::size_t i = directory_at + 1; i < baseline.size(); ++i) {
    const Call c = baseline[i].call;
    EXPECT_TRUE(c != Call::kStat && c != Call::kLstat && c != Call::kOpen && c != Call::kUnlink &&
                c != Call::kRename)
        << tf_io::name_of(c) << " resolves the path again after the directory was opened";
  }
  std::string sequence;
  for (const tf_io::Recorded& r : baseline) sequence += std::string(" ") + tf_io::name_of(r.call);
  std::printf("[io] %s %s calls:%s\n", with_handle ? "tf_save" : "tf_save_text", encoding.c_str(),
              sequence.c_str());

  for (std::size_t k = 1; k <= baseline.size(); ++k) {
    SCOPED_TRACE(std::string("failing call ") + std::to_string(k) + ": " +
                 tf_io::name_of(baseline[k - 1].call));
    dir.write("target.txt", old_bytes);
    (void)tf_open(nullptr);  // a message a success must leave in place
    tf_io::arm(k);
    const int rc = save();
    const std::vector<tf_io::Recorded> calls = tf_io::disarm();
    const std::string message = tf_last_error();
    ASSERT_TRUE(tf_io::injected());
    ASSERT_EQ(calls[k - 1].call, baseline[k - 1].call) << "the calls differ from the normal save's";
    const Expected e = expect_for_save(baseline, k - 1, temp);
    ++g_figures.injected;
    if (e.fails) {
      ++g_figures.failed;
      EXPECT_EQ(rc, -1);
      EXPECT_EQ(message, e.message);
      EXPECT_EQ(tf_test::read_file(target), e.replaced ? encoded(text, encoding) : old_bytes);
    } else {
      ++g_figures.recovered;
      EXPECT_EQ(rc, 1) << message;
      EXPECT_EQ(message, "path is NULL");
      EXPECT_EQ(tf_test::read_file(target), encoded(text, encoding));
    }
    EXPECT_FALSE(tf_test::file_exists(temp)) << "the temporary file was left behind";
    EXPECT_EQ(entries_of(dir.path()), files);
    EXPECT_EQ(tf_io::open_descriptors(), descriptors) << "a descriptor was left open";
  }
  tf_close(handle);
}

TEST(IoFailures, EveryCallOfASave) {
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
    sweep_save(false, encoding);
    sweep_save(true, encoding);
  }
}

TEST(IoFailures, EveryCallOfAnOpen) {
  TempDir dir;
  const std::string path = dir.write("doc.txt", "some text\n");
  const int descriptors = tf_io::open_descriptors();
  tf_io::arm(0);
  const int h = tf_open(path.c_str());
  const std::vector<tf_io::Recorded> baseline = tf_io::disarm();
  ASSERT_EQ(h, 0);
  tf_close(h);
  for (std::size_t k = 1; k <= baseline.size(); ++k) {
    const Call call = baseline[k - 1].call;
    SCOPED_TRACE(tf_io::name_of(call));
    tf_io::arm(k);
    const int got = tf_open(path.c_str());
    tf_io::disarm();
    const std::string message = tf_last_error();
    ASSERT_TRUE(tf_io::injected());
    ++g_figures.injected;
    ++g_figures.failed;
    if (call != Call::kClose) {
      EXPECT_EQ(got, -1);
    }
    switch (call) {
      case Call::kStat:
      case Call::kOpen:
      case Call::kFstat:
        EXPECT_EQ(message, "cannot open '" + path + "': " + text_of_error(call));
        break;
      case Call::kRead:
        EXPECT_EQ(message, "short read on '" + path + "'");
        break;
      case Call::kClose:  // of the file, once read: nothing is lost
        --g_figures.failed;
        ++g_figures.recovered;
        EXPECT_EQ(got, 0) << message;
        tf_close(got);
        break;
      default:
        ADD_FAILURE() << "tf_open calls " << tf_io::name_of(call);
    }
    EXPECT_EQ(tf_io::open_descriptors(), descriptors) << "a descriptor was left open";
    const int probe = tf_open(path.c_str());
    EXPECT_EQ(probe, 0) << "a slot stayed taken";
    tf_close(probe);
  }
}

// Writes that take only part of what they are given are continued.
TEST(IoFailures, ShortWritesAreContinued) {
  TempDir dir;
  const std::string text(100000, 'w');
  const std::string target = dir.file("target.txt");
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
    for (const std::size_t limit : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      SCOPED_TRACE(std::string(encoding) + " at most " + std::to_string(limit));
      tf_io::arm(0);
      tf_io::limit_writes(limit);
      const int rc =
          tf_save_text(text.data(), static_cast<int>(text.size()), target.c_str(), encoding);
      const std::vector<tf_io::Recorded> calls = tf_io::disarm();
      EXPECT_EQ(rc, 1) << tf_last_error();
      EXPECT_EQ(tf_test::read_file(target), encoded(text, encoding));
      std::size_t writes = 0;
      for (const tf_io::Recorded& r : calls) writes += r.call == Call::kWrite ? 1 : 0;
      EXPECT_GE(writes, encoded(text, encoding).size() / limit - 3);
    }
  }
}

// A host whose signal handler is installed without SA_RESTART: opens,
// writes and syncs a timer signal interrupts (as on network file systems)
// are retried, and the save and the open succeed.
TEST(IoFailures, CallsInterruptedBySignals) {
  TempDir dir;
  const std::string target = dir.file("target.txt");
  const std::string text(1 << 18, 'i');
  struct sigaction action = {};
  action.sa_handler = tf_io::on_signal;
  struct sigaction previous = {};
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  const struct itimerval every_50us = {{0, 50}, {0, 50}}, stop = {};
  std::size_t writes = 0, syncs = 0, creates = 0, reads = 0;
  for (int round = 0; round < 400 && (writes < 10 || syncs < 2 || creates < 2 || reads < 2);
       ++round) {
    const char* encoding = round % 2 == 0 ? "utf8-bom" : "utf16le";
    tf_io::arm(0);
    tf_io::limit_writes(512);
    tf_io::interrupt_writes();
    ::setitimer(ITIMER_REAL, &every_50us, nullptr);
    const int rc = tf_save_text(text.data(), -1, target.c_str(), encoding);
    // The open for reading, its status and its read come right after a
    // signal here, which the open takes.
    ::usleep(200);
    const int h = tf_open(target.c_str());
    ::setitimer(ITIMER_REAL, &stop, nullptr);
    tf_io::disarm();
    writes += tf_io::interrupted_writes();
    syncs += tf_io::interrupted_syncs();
    creates += tf_io::interrupted_opens(O_CREAT);
    reads += tf_io::interrupted_opens(0);
    ASSERT_EQ(rc, 1) << encoding << ": " << tf_last_error();
    ASSERT_GE(h, 0) << tf_last_error();
    tf_close(h);
    ASSERT_EQ(tf_test::read_file(target), encoded(text, encoding)) << encoding;
  }
  ::sigaction(SIGALRM, &previous, nullptr);
  std::printf(
      "[io] %zu writes, %zu syncs, %zu exclusive creates and %zu opens for reading interrupted "
      "by a signal, retried\n",
      writes, syncs, creates, reads);
  EXPECT_GE(writes, 10u);
  EXPECT_GE(syncs, 2u);
  EXPECT_GE(creates, 2u);
  EXPECT_GE(reads, 2u);
}

// ---- Faults of a real system, in child processes or on a mounted file system.

// In a child: the file-size limit sits at `limit` bytes and SIGXFSZ has its
// default action (which would end the process). Exit code 0 when the save of
// `size` bytes gives `message` (or succeeds when it is empty), the target
// holds what it should and no temporary file is left.
int save_under_limit(const std::string& target, rlim_t limit, std::size_t size,
                     const char* encoding, const std::string& message) {
  ::signal(SIGXFSZ, SIG_DFL);
  const struct rlimit r = {limit, limit};
  if (::setrlimit(RLIMIT_FSIZE, &r) != 0) return 10;
  const std::string text(size, 'q');
  const int rc = tf_save_text(text.data(), static_cast<int>(size), target.c_str(), encoding);
  if (message.empty()) {
    if (rc != 1) return 11;
    if (tf_test::read_file(target) != encoded(text, encoding)) return 12;
  } else {
    if (rc != -1) return 13;
    if (message != tf_last_error()) return 14;
    if (tf_test::read_file(target) != "old") return 15;
  }
  if (tf_test::file_exists(target + ".tmp")) return 16;
  return 0;
}

TEST(IoFailures, FileSizeLimitAroundTheOutputSize) {
  TempDir dir;
  const std::string target = dir.file("target.txt");
  struct {
    const char* encoding;
    std::size_t text_size;
    rlim_t limit;
    const char* message;
  } const cases[] = {
      {"utf8", 5000, 5000, ""},                              // exactly fits
      {"utf8", 5000, 4999, "write failed: File too large"},  // one byte short
      {"utf8-bom", 5000, 5003, ""},
      {"utf8-bom", 5000, 5002, "write failed: File too large"},
      {"utf8-bom", 10, 2, "write failed: File too large"},  // not even the mark
      {"utf16le", 3000, 6002, ""},
      {"utf16le", 3000, 6001, "write failed: File too large"},
      {"utf16le", 300000, 100000, "write failed: File too large"},
      {"utf8", 1, 0, "write failed: File too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.encoding) + " " + std::to_string(c.text_size) + " bytes, limit " +
                 std::to_string(c.limit));
    dir.write("target.txt", "old");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) ::_exit(save_under_limit(target, c.limit, c.text_size, c.encoding, c.message));
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ++g_figures.injected;
    ++(std::string(c.message).empty() ? g_figures.recovered : g_figures.failed);
  }
}

// A small tmpfs mounted for the test: skipped where mounting is not allowed.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& where, const char* options) : where_(where) {
    mounted_ = ::mount("tf_test", where.c_str(), "tmpfs", 0, options) == 0;
    error_ = errno;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  int error() const { return error_; }

 private:
  std::string where_;
  bool mounted_ = false;
  int error_ = 0;
};

TEST(IoFailures, FullFileSystem) {
  TempDir dir;
  const std::string mount_point = dir.file("small");
  ASSERT_EQ(::mkdir(mount_point.c_str(), 0700), 0);
  SmallFileSystem fs(mount_point, "size=64k,mode=0700");
  if (!fs.mounted()) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(fs.error());
  }
  const std::string target = mount_point + "/target.txt";
  const std::string old_bytes(20000, 'o');
  {
    std::FILE* f = std::fopen(target.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(old_bytes.data(), 1, old_bytes.size(), f), old_bytes.size());
    std::fclose(f);
  }
  struct statvfs before;
  ASSERT_EQ(::statvfs(mount_point.c_str(), &before), 0);
  for (const char* encoding : {"utf8", "utf8-bom", "utf16le"}) {
    for (const std::size_t size : {std::size_t{60000}, std::size_t{200000}}) {
      SCOPED_TRACE(std::string(encoding) + " " + std::to_string(size));
      const std::string text(size, 'n');
      EXPECT_EQ(tf_save_text(text.data(), static_cast<int>(size), target.c_str(), encoding), -1);
      const std::string message = tf_last_error();
      const std::string full = std::strerror(ENOSPC);
      EXPECT_EQ(message, "write failed: " + full);
      EXPECT_EQ(tf_test::read_file(target), old_bytes);
      EXPECT_FALSE(tf_test::file_exists(target + ".tmp"));
      struct statvfs after;
      ASSERT_EQ(::statvfs(mount_point.c_str(), &after), 0);
      EXPECT_EQ(after.f_bfree, before.f_bfree) << "the space of the failed save was not given back";
      ++g_figures.injected;
      ++g_figures.failed;
    }
  }
  // What fits still saves.
  EXPECT_EQ(tf_save_text("fits", -1, target.c_str(), "utf8"), 1) << tf_last_error();
  EXPECT_EQ(tf_test::read_file(target), "fits");
}

TEST(IoFailures, ReadOnlyFileSystem) {
  TempDir dir;
  const std::string mount_point = dir.file("ro");
  ASSERT_EQ(::mkdir(mount_point.c_str(), 0700), 0);
  SmallFileSystem fs(mount_point, "size=64k");
  if (!fs.mounted()) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(fs.error());
  }
  const std::string target = mount_point + "/target.txt";
  {
    std::FILE* f = std::fopen(target.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("kept", f);
    std::fclose(f);
  }
  ASSERT_EQ(::mount(nullptr, mount_point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  EXPECT_EQ(tf_save_text("new", -1, target.c_str(), "utf8"), -1);
  EXPECT_EQ(std::string(tf_last_error()),
            "cannot create temp file '" + target + ".tmp': " + std::strerror(EROFS));
  EXPECT_EQ(tf_test::read_file(target), "kept");
  // Opening for reading still works there.
  const int h = tf_open(target.c_str());
  EXPECT_EQ(h, 0) << tf_last_error();
  tf_close(h);
  ++g_figures.injected;
  ++g_figures.failed;
}

}  // namespace
