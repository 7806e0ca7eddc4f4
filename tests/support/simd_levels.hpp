// Runs a test body once per vector level this machine supports, with that
// level forced, so that every version of every byte kernel is exercised.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "frame/simd_level.hpp"

namespace tf_test {

// Every level this machine runs, the portable one first.
inline std::vector<tf::simd::Level> runnable_levels() {
  std::vector<tf::simd::Level> levels;
  for (int l = 0; l < tf::simd::kLevelCount; ++l) {
    const auto level = static_cast<tf::simd::Level>(l);
    if (tf::simd::level_available(level)) levels.push_back(level);
  }
  return levels;
}

class ForcedLevel {
 public:
  explicit ForcedLevel(tf::simd::Level level) { tf::simd::force_level(level); }
  ~ForcedLevel() { tf::simd::reset_level(); }
  ForcedLevel(const ForcedLevel&) = delete;
  ForcedLevel& operator=(const ForcedLevel&) = delete;
};

template <class Body>
void for_each_level(Body&& body) {
  for (const tf::simd::Level level : runnable_levels()) {
    ForcedLevel forced(level);
    SCOPED_TRACE(tf::simd::level_name(level));
    body(level);
    if (testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace tf_test
