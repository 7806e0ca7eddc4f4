// A small JSON result of integer members and name members (strings made of
// ASCII letters, digits and '-', which need no escaping), written straight
// into one block: the very bytes a ResultDoc with the same members writes,
// without building a document first. For results made only of such
// members, where the document's allocations cost more than the result.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tf {

class FlatJson {
 public:
  void add_int(const char* key, std::int64_t value) noexcept;
  // `value` must be a name as described above.
  void add_name(const char* key, const char* value) noexcept;

  // The compact text, malloc'ed (the caller frees it); null when it cannot
  // be allocated or the members do not fit the builder's buffer.
  char* write() const noexcept;

 private:
  void key(const char* key) noexcept;
  void put(const char* s, std::size_t n) noexcept;

  char buffer_[480];
  std::size_t length_ = 0;
  bool overflow_ = false;
};

}  // namespace tf
