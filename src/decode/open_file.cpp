#include "decode/open_file.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include "decode/decode.hpp"
#include "decode/load_file.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"
#include "platform/read_files.hpp"

namespace tf::decode {
namespace {

constexpr auto kMaxFileSize = static_cast<long long>(kMaxFileBytes);

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) platform::close_file(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// What the checks on a file status allow: nullptr, or the message format.
const char* refuse_status(const platform::FileStatus& st) noexcept {
  if (st.kind == platform::FileKind::kDirectory) return msg::kIsDirectory;
  if (st.kind != platform::FileKind::kRegular) return msg::kNotRegularFile;
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

  platform::FileStatus st;
  if (platform::status_of_path(path, st) != 0) {
    set_last_error(msg::kCannotOpen, path, std::strerror(errno));
    return -1;
  }
  if (const char* refusal = refuse_status(st)) {
    set_last_error(refusal, path);
    return -1;
  }
  const long long size = static_cast<long long>(st.size);
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
  FileDescriptor file(platform::open_for_reading(path));
  if (file.get() < 0) {
    set_last_error(msg::kCannotOpen, path, std::strerror(errno));
    return -1;
  }
  platform::FileStatus opened;
  if (platform::status_of_file(file.get(), opened) != 0) {
    set_last_error(msg::kCannotOpen, path, std::strerror(errno));
    return -1;
  }
  if (const char* refusal = refuse_status(opened)) {
    set_last_error(refusal, path);
    return -1;
  }

  const auto expected = static_cast<std::uint64_t>(size);
  LoadedFile loaded;
  switch (load_file(file.get(), expected, loaded)) {
    case LoadStatus::kOk:
      break;
    case LoadStatus::kOutOfMemory:
      set_last_error("%s", msg::kOutOfMemory);
      return -1;
    case LoadStatus::kShortRead:
    case LoadStatus::kGrew:
      set_last_error(msg::kShortRead, path);
      return -1;
    case LoadStatus::kTooLarge:
      set_last_error(msg::kFileTooLarge, static_cast<long long>(loaded.raw_length), kMaxFileSize);
      return -1;
    case LoadStatus::kDecodeFailed:
      set_last_error("%s", msg::kDecodeFailed);
      return -1;
  }
  DecodedText& decoded = loaded.decoded;

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
      slot.raw_length = loaded.raw_length;
      slot.encoding = loaded.encoding;
      slot.had_bom = loaded.had_bom;
      slot.text = std::move(decoded.text);
      slot.text_length = decoded.text_length;
      slot.sanitized = decoded.sanitized;
      slot.line_ending = loaded.line_ending;
      slot.lines = loaded.lines;
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
