// Shuffle tables that squeeze variable-length UTF-8 out of fixed-width
// vector lanes. Built at compile time.
//
// kPack2: eight 16-bit lanes, each holding a one-byte sequence in its low
// byte or a two-byte sequence in both bytes (first byte low). Index bit k is
// set when lane k holds two bytes; the entry gathers the bytes in order.
//
// kPack3: four 32-bit lanes, each holding a sequence of one to three bytes
// (first byte lowest). The index holds (length - 1) of lane k in bits 2k and
// 2k + 1.
#pragma once

namespace tf::decode {

struct PackTable {
  alignas(16) unsigned char shuffle[256][16];
  unsigned char length[256];
};

constexpr PackTable make_pack2() {
  PackTable t{};
  for (int index = 0; index < 256; ++index) {
    int n = 0;
    for (int lane = 0; lane < 8; ++lane) {
      t.shuffle[index][n++] = static_cast<unsigned char>(2 * lane);
      if ((index >> lane) & 1) t.shuffle[index][n++] = static_cast<unsigned char>(2 * lane + 1);
    }
    t.length[index] = static_cast<unsigned char>(n);
    for (int k = n; k < 16; ++k) t.shuffle[index][k] = 0x80;
  }
  return t;
}

constexpr PackTable make_pack3() {
  PackTable t{};
  for (int index = 0; index < 256; ++index) {
    int n = 0;
    for (int lane = 0; lane < 4; ++lane) {
      const int length = ((index >> (2 * lane)) & 3) + 1;
      for (int k = 0; k < length && k < 3; ++k) {
        t.shuffle[index][n++] = static_cast<unsigned char>(4 * lane + k);
      }
    }
    t.length[index] = static_cast<unsigned char>(n);
    for (int k = n; k < 16; ++k) t.shuffle[index][k] = 0x80;
  }
  return t;
}

inline constexpr PackTable kPack2 = make_pack2();
inline constexpr PackTable kPack3 = make_pack3();

// Bit k of a 4-bit value moved to bit 2k.
inline constexpr unsigned char kSpread4[16] = {0x00, 0x01, 0x04, 0x05, 0x10, 0x11, 0x14, 0x15,
                                               0x40, 0x41, 0x44, 0x45, 0x50, 0x51, 0x54, 0x55};

}  // namespace tf::decode
