// The kernel rows: each byte kernel that converts or validates, at every
// level this machine runs, side by side with the fastest transcoder known
// (when the benchmark is built with it, -DTF_BENCH_SIMDUTF_DIR=...), best of
// interleaved rounds into output blocks already faulted in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct KernelInput {
  std::string corpus;    // "english", "mixed", "latin1", "english-utf16", ...
  std::string encoding;  // "utf8", "ansi", "utf16le"
  const unsigned char* data;
  std::uint64_t size;  // mark bytes excluded
};

// Prints the kernel table for these inputs, `reps` rounds each; only the
// kernels whose name starts with `only` when it is not empty.
void kernel_rows(const std::vector<KernelInput>& inputs, int reps, const std::string& only);

}  // namespace bench
