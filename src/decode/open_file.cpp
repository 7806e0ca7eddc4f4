#include "decode/open_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "decode/decode.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"

namespace tf::decode {
namespace {

constexpr long long kMaxFileSize = 524288000;  // 500 MiB

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// Reads up to n bytes, retrying after interruptions and partial reads;
// returns the number read (fewer only at end of file or on an error).
std::uint64_t read_fully(int fd, unsigned char* buffer, std::uint64_t n) noexcept {
  std::uint64_t done = 0;
  while (done < n) {
    const std::uint64_t chunk = n - done < (1u << 30) ? n - done : (1u << 30);
    const ssize_t got = ::read(fd, buffer + done, chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::uint64_t>(got);
  }
  return done;
}

// What the checks on a file status allow: nullptr, or the message format.
const char* refuse_status(const struct stat& st) noexcept {
  if (S_ISDIR(st.st_mode)) return msg::kIsDirectory;
  if (!S_ISREG(st.st_mode)) return msg::kNotRegularFile;
  return nullptr;
}

}  // namespace

int open_path(const char* path) {
  ensure_initialized();
  clear_last_error();
  if (path == nullptr) {
    set_last_error("%s", msg::kPathIsNull);
    return -1;
  }

  struct stat st;
  if (::stat(path, &st) != 0) {
    set_last_error(msg::kCannotOpen, path, std::strerror(errno));
    return -1;
  }
  if (const char* refusal = refuse_status(st)) {
    set_last_error(refusal, path);
    return -1;
  }
  const long long size = static_cast<long long>(st.st_size);
  if (size < 0) {
    set_last_error("%s", msg::kInvalidFileSize);
    return -1;
  }
  if (size > kMaxFileSize) {
    set_last_error(msg::kFileTooLarge, size, kMaxFileSize);
    return -1;
  }

  // The path may have been replaced by a FIFO or a device since the status
  // query: open without blocking and check again what was actually opened.
  FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    set_last_error(msg::kCannotOpen, path, std::strerror(errno));
    return -1;
  }
  struct stat opened;
  if (::fstat(file.get(), &opened) != 0) {
    set_last_error(msg::kCannotOpen, path, std::strerror(errno));
    return -1;
  }
  if (const char* refusal = refuse_status(opened)) {
    set_last_error(refusal, path);
    return -1;
  }

  const auto expected = static_cast<std::uint64_t>(size);
  HeapBytes raw = alloc_bytes(expected + 1);
  if (!raw) {
    set_last_error("%s", msg::kOutOfMemory);
    return -1;
  }
  const std::uint64_t got = read_fully(file.get(), raw.get(), expected);
  if (got < expected) {
    set_last_error(msg::kShortRead, path);
    return -1;
  }
  raw[expected] = 0;

  int encoding = kAnsi;
  int had_bom = 0;
  detect_encoding(raw.get(), expected, &encoding, &had_bom);
  DecodedText decoded;
  if (decode_to_utf8(raw.get(), expected, encoding, decoded) != 0) {
    set_last_error("%s", msg::kDecodeFailed);
    return -1;
  }

  PendingError error;
  int handle = -1;
  {
    TableLock lock;
    LibraryState& state = library_state();
    for (int i = 0; i < kMaxHandles; ++i) {
      if (state.table[i].in_use == 0) {
        handle = i;
        break;
      }
    }
    if (handle < 0) {
      error.set(msg::kTooManyHandles, kMaxHandles);
    } else {
      HandleSlot& slot = state.table[handle];
      slot.reset();
      slot.in_use = 1;
      const std::size_t path_size = std::strlen(path) + 1;
      slot.path = alloc_chars(path_size);
      slot.raw = std::move(raw);
      slot.raw_length = expected;
      slot.encoding = encoding;
      slot.had_bom = had_bom;
      slot.text = std::move(decoded.text);
      slot.text_length = decoded.text_length;
      slot.sanitized = decoded.sanitized;
      slot.line_ending = detect_line_ending(slot.text.get(), slot.text_length);
      if (!slot.path) {
        slot.reset();
        handle = -1;
        error.set("%s", msg::kOutOfMemory);
      } else {
        std::memcpy(slot.path.get(), path, path_size);
      }
    }
  }
  error.publish();
  return handle;
}

int close_handle(int handle) noexcept {
  ensure_initialized();
  TableLock lock;
  if (HandleSlot* slot = lookup_handle(handle)) slot->reset();
  return 0;
}

}  // namespace tf::decode
