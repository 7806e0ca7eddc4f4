// Seeded generators of test texts for the decoder tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tf_test {

// UTF-8 made of ASCII words, accented and other letters of one to four
// bytes, the three kinds of line break, marks and 0x00 bytes.
inline std::string random_utf8(std::mt19937_64& rng, std::size_t min_bytes) {
  static const char* const pieces[] = {
      "the ",
      "a",
      "Zebra",
      "_x1",
      " ",
      "  ",
      "\t",
      "\n",
      "\r\n",
      "\r",
      ",",
      "\xC3\xA9",
      "\xC3\x89",
      "\xD0\xB6",
      "\xDF\xBF",
      "\xC2\x80",
      "\xE2\x82\xAC",
      "\xE4\xB8\xAD",
      "\xED\x9F\xBF",
      "\xEE\x80\x80",
      "\xEF\xBF\xBD",
      "\xEF\xBB\xBF",
      "\xE0\xA0\x80",
      "\xF0\x9F\x98\x80",
      "\xF0\x90\x80\x80",
      "\xF4\x8F\xBF\xBF",
      "\xF3\xA0\x80\x81",
  };
  constexpr std::size_t kCount = sizeof pieces / sizeof pieces[0];
  std::string s;
  while (s.size() < min_bytes) {
    const std::size_t k = rng() % (kCount + 1);
    if (k == kCount) {
      s += '\0';
    } else {
      s += pieces[k];
    }
  }
  return s;
}

// UTF-16LE units of every class: ASCII, two- and three-byte ones, paired and
// (unless well_formed) unpaired surrogates.
inline std::string random_utf16le(std::mt19937_64& rng, std::size_t units,
                                  bool well_formed = false) {
  std::string s;
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t u;
    switch (rng() % (well_formed ? 7 : 8)) {
      case 0:
      case 1:
      case 2:
        u = static_cast<std::uint32_t>(rng() % 0x80);
        break;
      case 3:
        u = static_cast<std::uint32_t>(0x80 + rng() % 0x780);
        break;
      case 4:
        u = static_cast<std::uint32_t>(0x800 + rng() % 0xD000);
        break;
      case 5:
        u = static_cast<std::uint32_t>(0xE000 + rng() % 0x2000);
        break;
      case 6: {  // a pair, usually well-formed
        const auto hi = static_cast<std::uint32_t>(0xD800 + rng() % 0x400);
        const auto lo = static_cast<std::uint32_t>(0xDC00 + rng() % 0x400);
        s += static_cast<char>(hi & 0xFF);
        s += static_cast<char>(hi >> 8);
        u = lo;
        break;
      }
      default:
        u = static_cast<std::uint32_t>(0xD800 + rng() % 0x800);
        break;
    }
    s += static_cast<char>(u & 0xFF);
    s += static_cast<char>(u >> 8);
  }
  return s;
}

inline void flip_bits(std::mt19937_64& rng, std::string& s, int flips) {
  if (s.empty()) return;
  for (int f = 0; f < flips; ++f) {
    s[rng() % s.size()] ^= static_cast<char>(1u << (rng() % 8));
  }
}

inline std::string hex(std::string_view s, std::size_t max = 80) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < s.size() && i < max; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (i) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  if (s.size() > max) out += " ...";
  return out;
}

}  // namespace tf_test
