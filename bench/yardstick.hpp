// The yardstick of the kernel rows: the fastest transcoder known, called
// through the functions its header declares when the benchmark is built with
// -DTF_BENCH_SIMDUTF_DIR=<folder of simdutf.h and simdutf.cpp>. Without it,
// built_in() is false and every row leaves its columns empty.
#pragma once

#include <cstdint>
#include <string>

namespace bench::yardstick {

bool built_in();

// Its implementation of that name ("icelake", "haswell", "westmere",
// "fallback"), or of the best this CPU runs for ""; null when it is absent
// or this CPU cannot run it.
const void* find(const std::string& name);
std::string name_of(const void* impl);

// n when the bytes are well-formed UTF-8, 0 otherwise.
std::uint64_t validate_utf8(const void* impl, const unsigned char* p, std::uint64_t n);
// Bytes written.
std::uint64_t latin1_to_utf8(const void* impl, const unsigned char* in, std::uint64_t n,
                             unsigned char* out);
// n bytes of units in, UTF-8 bytes written (0 for an unpaired surrogate).
std::uint64_t utf16le_to_utf8(const void* impl, const unsigned char* in, std::uint64_t n,
                              unsigned char* out);
// UTF-16LE bytes written (0 for ill-formed input).
std::uint64_t utf8_to_utf16le(const void* impl, const unsigned char* in, std::uint64_t n,
                              unsigned char* out);

}  // namespace bench::yardstick
