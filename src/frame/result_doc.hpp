// One JSON result: a fresh yyjson mutable document with a root object,
// members added in order, written compactly (flags 0) into a malloc'ed string
// that the caller releases with free. A member that cannot be allocated is
// left out; the following ones are still attempted.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstdint>

namespace tf {

class ResultDoc {
 public:
  ResultDoc() noexcept;
  ~ResultDoc();
  ResultDoc(const ResultDoc&) = delete;
  ResultDoc& operator=(const ResultDoc&) = delete;

  // False when the document itself could not be created.
  bool created() const noexcept { return doc_ != nullptr; }
  // False when the root object could not be allocated: every add is then a
  // no-op and write() fails.
  bool has_root() const noexcept { return root_ != nullptr; }

  // Keys must be string literals: yyjson keeps the pointer, not a copy.
  // Strings are copied up to their first 0x00 byte. Both return whether the
  // member was added.
  bool add_string(const char* key, const char* value) noexcept;
  bool add_int(const char* key, std::int64_t value) noexcept;
  void add_true(const char* key) noexcept;
  // An array member; null when it cannot be allocated.
  yyjson_mut_val* add_array(const char* key) noexcept;
  // A new object appended to `array`; null when it cannot be allocated or
  // `array` is null.
  yyjson_mut_val* append_object(yyjson_mut_val* array) noexcept;
  static void add_int_to(yyjson_mut_doc* doc, yyjson_mut_val* obj, const char* key,
                         std::int64_t value) noexcept;
  yyjson_mut_doc* doc() noexcept { return doc_; }

  // The compact text, owned by the caller (free); null when writing fails,
  // for instance on a string that is not valid UTF-8, or with no root.
  char* write(std::size_t* length = nullptr) noexcept;

 private:
  yyjson_mut_doc* doc_;
  yyjson_mut_val* root_ = nullptr;
};

}  // namespace tf
