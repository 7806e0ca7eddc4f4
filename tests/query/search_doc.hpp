// Test helpers for the query exports: a document opened from bytes written
// to a private file, and the result of a call as a string.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace tf_test {

// UTF-8 bytes (valid, without a byte-order mark) decode to themselves, so
// the document's text is exactly `bytes`.
class SearchDoc {
 public:
  explicit SearchDoc(const std::string& bytes) {
    handle_ = tf_open(dir_.write("doc.txt", bytes).c_str());
    EXPECT_GE(handle_, 0) << tf_last_error();
  }
  ~SearchDoc() { tf_close(handle_); }
  SearchDoc(const SearchDoc&) = delete;
  SearchDoc& operator=(const SearchDoc&) = delete;
  int handle() const { return handle_; }

 private:
  TempDir dir_;
  int handle_ = -1;
};

// The JSON a query returned (released here), or "NULL: " and the message.
inline std::string take_json(char* json) {
  if (json == nullptr) return std::string("NULL: ") + tf_last_error();
  std::string out = json;
  tf_free_string(json);
  return out;
}

}  // namespace tf_test
