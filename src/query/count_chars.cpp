#include "query/count_chars.hpp"

#include <array>

#include "query/measure_text.hpp"

namespace tf::query {
namespace {

// The nominal sequence length announced by a lead byte; 1 for ASCII,
// continuation bytes and 0xF8-0xFF.
constexpr std::array<unsigned char, 256> make_step_table() noexcept {
  std::array<unsigned char, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    table[b] = b >= 0xC0 && b <= 0xDF   ? 2
               : b >= 0xE0 && b <= 0xEF ? 3
               : b >= 0xF0 && b <= 0xF7 ? 4
                                        : 1;
  }
  return table;
}

constexpr std::array<unsigned char, 256> kStepTable = make_step_table();

}  // namespace

unsigned char_step(const unsigned char* text, std::uint64_t length, std::uint64_t i) noexcept {
  const unsigned step = kStepTable[text[i]];
  // The bytes stepped over are never looked at; the sequence only has to fit.
  return length - i >= step ? step : 1;
}

std::int64_t count_chars(const unsigned char* text, std::uint64_t length) noexcept {
  return measure_text(text, length).chars;
}

}  // namespace tf::query
