// The benchmark's own corpora, generated from fixed seeds: nothing is
// downloaded and nothing but the size varies between machines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Corpus {
  std::string name;      // "english", "mixed", "english-utf16", ...
  std::string encoding;  // what tf_open should detect
  std::string path;      // the file under the data directory
  std::uint64_t bytes = 0;
};

// English-like ASCII prose with LF line breaks.
std::string make_english(std::uint64_t size);
// Prose in several scripts, about 40% of its bytes above 0x7F.
std::string make_mixed(std::uint64_t size);
// Western European prose in Latin-1 (ill-formed as UTF-8, so "ansi").
std::string make_latin1(std::uint64_t size);
// UTF-8 to UTF-16LE with the FF FE mark, cut at a character boundary so that
// the result stays within `size` bytes.
std::string to_utf16le(const std::string& utf8, std::uint64_t size);
// LF to CR LF, cut to `size` bytes at a line end.
std::string to_crlf(const std::string& lf, std::uint64_t size);

// Words chosen for the search rows: one that occurs everywhere (its search
// stops at the hit limit), a frequent one with fewer hits than the limit in
// 200 MB (about 70,000 in the English prose), one that occurs a few dozen
// times, and one that never occurs.
inline constexpr const char* kCommonWord = "the";
inline constexpr const char* kFrequentWord = "library";
inline constexpr const char* kRareWord = "quixotic";
inline constexpr const char* kAbsentWord = "zyzzyvas";

// Writes the corpora into `dir` (reusing files of the right size from an
// earlier run) and lists them.
std::vector<Corpus> prepare_corpora(const std::string& dir, std::uint64_t size);

// Share of bytes above 0x7F.
double non_ascii_share(const std::string& s);

}  // namespace bench
