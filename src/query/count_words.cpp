#include "query/count_words.hpp"

#include <array>

#include "query/measure_text.hpp"

namespace tf::query {
namespace {

constexpr bool word_byte(unsigned b) noexcept {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
         b >= 0x80;
}

constexpr std::array<unsigned char, 256> make_word_table() noexcept {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = word_byte(b) ? 1 : 0;
  return table;
}

constexpr std::array<unsigned char, 256> kWordTable = make_word_table();

}  // namespace

bool is_word_byte(unsigned char b) noexcept { return kWordTable[b] != 0; }

std::int64_t count_words(const unsigned char* text, std::uint64_t length) noexcept {
  return measure_text(text, length).words;
}

}  // namespace tf::query
