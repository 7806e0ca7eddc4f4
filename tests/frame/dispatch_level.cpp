// Prints the kernel level this machine runs, so that a log shows which
// kernels a test run exercised.
#include <cstdio>

#include "frame/simd_level.hpp"

int main() {
  std::printf("dispatch level: %s\n", tf::simd::level_name(tf::simd::detected_level()));
  return 0;
}
