#include "query/replace_all.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "frame/large_block.hpp"
#include "query/find_matches.hpp"

namespace tf::query {
namespace {

constexpr std::uint64_t kInitialSlack = 64;

class OutputBuffer {
 public:
  explicit OutputBuffer(std::uint64_t keep) noexcept : keep_(keep) {}

  bool start(std::uint64_t capacity) noexcept {
    capacity = std::min(capacity, keep_ + 1);
    data_ = alloc_large(static_cast<std::size_t>(capacity));
    if (!data_) return false;
    capacity_ = capacity;
    data_[0] = 0;
    return true;
  }

  // Appends `size` bytes and the 0x00 after them; past the first keep_
  // bytes only the length grows. The capacity ends up as the first doubling
  // that holds the kept bytes and their 0x00 (at most keep_ + 1): the same
  // whether the bytes come one at a time (one doubling whenever the next
  // byte and its 0x00 do not fit) or all at once.
  bool append(const unsigned char* bytes, std::uint64_t size) noexcept {
    if (size > UINT64_MAX - 1 - length_) return false;
    const std::uint64_t kept = std::min(length_, keep_);
    const std::uint64_t stored = std::min(size, keep_ - kept);
    const std::uint64_t need = kept + stored + 1;
    if (need > capacity_) {
      std::uint64_t grown = capacity_;
      while (grown < need) {
        if (grown > UINT64_MAX / 2) return false;
        grown *= 2;
      }
      if (!grow(std::min(grown, keep_ + 1))) return false;
    }
    if (stored > 0) std::memcpy(data_.get() + kept, bytes, static_cast<std::size_t>(stored));
    data_[kept + stored] = 0;
    length_ += size;
    return true;
  }

  // A new block of `capacity` bytes holding the output so far. A large
  // block is moved by hand: only the bytes written are copied, into a block
  // that is again huge-page friendly (realloc would copy the whole old
  // block, whose advised pages keep it from being remapped).
  bool grow(std::uint64_t capacity) noexcept {
    if (capacity < kLargeBlockMin) {
      void* moved = std::realloc(data_.get(), static_cast<std::size_t>(capacity));
      if (moved == nullptr) return false;
      (void)data_.release();
      data_.reset(static_cast<unsigned char*>(moved));
    } else {
      HeapBytes moved = alloc_large(static_cast<std::size_t>(capacity));
      if (!moved) return false;
      std::memcpy(moved.get(), data_.get(), static_cast<std::size_t>(std::min(length_, keep_) + 1));
      data_ = std::move(moved);
    }
    capacity_ = capacity;
    return true;
  }

  ReplaceOutput finish(std::uint64_t count) noexcept {
    ReplaceOutput out;
    out.data = std::move(data_);
    out.length = length_;
    out.capacity = capacity_;
    out.count = count;
    return out;
  }

 private:
  HeapBytes data_;
  std::uint64_t keep_;
  std::uint64_t length_ = 0;
  std::uint64_t capacity_ = 0;
};

}  // namespace

ReplaceOutput replace_all(const unsigned char* text, std::uint64_t n, const unsigned char* find,
                          std::uint64_t f, const unsigned char* repl, std::uint64_t r, bool fold,
                          std::uint64_t keep) noexcept {
  if (keep > UINT64_MAX - 1) keep = UINT64_MAX - 1;
  OutputBuffer buffer(keep);
  if (text == nullptr || n > UINT64_MAX - kInitialSlack || !buffer.start(n + kInitialSlack)) {
    return ReplaceOutput{};
  }
  std::uint64_t count = 0;
  std::uint64_t i = 0;
  if (f > 0 && find != nullptr) {
    MatchScanner scanner(text, n, find, f, fold);
    for (;;) {
      const std::uint64_t p = scanner.next(i);
      if (p == kNoMatch) break;
      // The stretch before the match, copied as it stands, then the
      // replacement, inserted unchanged.
      if (!buffer.append(text + i, p - i) || !buffer.append(repl, r)) return ReplaceOutput{};
      ++count;
      i = p + f;
    }
  }
  if (!buffer.append(text + i, n - i)) return ReplaceOutput{};
  return buffer.finish(count);
}

}  // namespace tf::query
