// Helpers for the query tests that drive the public API: a file with given
// bytes, opened for the lifetime of the object, and taking result strings.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "quobrix_textfile.h"
#include "support/temp_dir.hpp"

namespace tf_test {

class OpenText {
 public:
  explicit OpenText(std::string_view bytes) {
    handle_ = tf_open(dir_.write("text.txt", bytes).c_str());
    if (handle_ < 0) ADD_FAILURE() << "tf_open: " << tf_last_error();
  }
  ~OpenText() { tf_close(handle_); }
  OpenText(const OpenText&) = delete;
  OpenText& operator=(const OpenText&) = delete;
  int handle() const { return handle_; }

 private:
  TempDir dir_;
  int handle_ = -1;
};

// The string a query returned, released with tf_free_string; "<null>" for a
// failure.
inline std::string take(char* result) {
  if (result == nullptr) return "<null>";
  std::string s(result);
  tf_free_string(result);
  return s;
}

// Like take, but a failure reads "NULL: " and the last-error message.
inline std::string take_json(char* result) {
  if (result == nullptr) return std::string("NULL: ") + tf_last_error();
  return take(result);
}

}  // namespace tf_test
