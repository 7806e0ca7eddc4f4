// What a program would use instead of the library, measured in the same
// process on the same bytes.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// A block of n bytes aligned to 2 MiB and advised for huge pages, like the
// library's large blocks; released with free.
unsigned char* huge_block(std::uint64_t n);

// fread of a whole file into a new block: plain malloc, or huge_block.
// Returns the block (the caller frees it).
unsigned char* fread_plain(const std::string& path, std::uint64_t size);
unsigned char* fread_huge(const std::string& path, std::uint64_t size);

// Lines counted with a memchr loop for LF.
std::uint64_t memchr_count_lf(const unsigned char* text, std::uint64_t n);

// All (overlapping) hits of q, at most max_hits; *scanned receives the bytes
// looked at (up to the end of the last reported hit, or everything).
std::uint64_t memmem_loop(const unsigned char* text, std::uint64_t n, const char* q,
                          std::uint64_t max_hits, std::uint64_t* scanned);
// The same with strcasestr on a NUL-terminated text.
std::uint64_t strcasestr_loop(const char* text, std::uint64_t n, const char* q,
                              std::uint64_t max_hits, std::uint64_t* scanned);

// Every find replaced by repl (left to right, no overlap) with memmem and
// memcpy into out, which has room for the result; returns its length.
std::uint64_t memmem_replace(const unsigned char* text, std::uint64_t n, const char* find,
                             const char* repl, unsigned char* out, std::uint64_t* count);

// glibc iconv of a whole buffer; returns the output length, or UINT64_MAX.
std::uint64_t iconv_convert(const char* to, const char* from, const unsigned char* in,
                            std::uint64_t n, unsigned char* out, std::uint64_t cap);

// write + fsync + rename of a buffer to path (through path + ".tmp").
bool write_fsync_rename(const std::string& path, const unsigned char* data, std::uint64_t n);

// ICU, when the benchmark was built with it (icu_available()).
bool icu_available();
std::string icu_version();
// UTF-8 to UTF-8 with U+FFFD for ill-formed input (ucnv_convert).
std::uint64_t icu_utf8_to_utf8(const unsigned char* in, std::uint64_t n, unsigned char* out,
                               std::uint64_t cap);
// UTF-16 to UTF-8 (u_strToUTF8WithSub); n counts bytes.
std::uint64_t icu_utf16_to_utf8(const unsigned char* in, std::uint64_t n, unsigned char* out,
                                std::uint64_t cap);
// UTF-8 to UTF-16 (u_strFromUTF8WithSub); returns output bytes.
std::uint64_t icu_utf8_to_utf16(const unsigned char* in, std::uint64_t n, unsigned char* out,
                                std::uint64_t cap);
// ISO-8859-1 to UTF-8 (ucnv_convert).
std::uint64_t icu_latin1_to_utf8(const unsigned char* in, std::uint64_t n, unsigned char* out,
                                 std::uint64_t cap);

}  // namespace bench
