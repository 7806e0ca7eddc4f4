// Runs a test body once per vector level this machine supports, with that
// level forced, so that every version of every byte kernel is exercised.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "frame/simd_level.hpp"

namespace tf_test {

inline const char* level_name(tf::simd::Level level) {
  switch (level) {
    case tf::simd::Level::kScalar:
      return "scalar";
    case tf::simd::Level::kSse2:
      return "sse2";
    case tf::simd::Level::kAvx2:
      return "avx2";
    case tf::simd::Level::kAvx512bw:
      return "avx512bw";
  }
  return "?";
}

// Every level up to the detected one, lowest first.
inline std::vector<tf::simd::Level> runnable_levels() {
  std::vector<tf::simd::Level> levels;
  const int best = static_cast<int>(tf::simd::detected_level());
  for (int l = 0; l <= best; ++l) levels.push_back(static_cast<tf::simd::Level>(l));
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
    SCOPED_TRACE(level_name(level));
    body(level);
    if (testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace tf_test
