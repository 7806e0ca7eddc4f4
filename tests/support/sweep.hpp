// The stride of the exhaustive sweeps: 1 (every value) in native runs, more
// under emulation, where the suite runs 10-50 times slower
// (TF_TEST_REDUCED_SWEEPS, set only by scripts/test-aarch64.sh). A sweep
// starts its reduced range at `outer % kSweepStride`, so that the values an
// inner loop skips for one outer value are taken for another.
#pragma once

namespace tf_test {

#if defined(TF_TEST_REDUCED_SWEEPS)
inline constexpr int kSweepStride = 13;
#else
inline constexpr int kSweepStride = 1;
#endif

}  // namespace tf_test
