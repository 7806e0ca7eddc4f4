// Shuffle tables that squeeze variable-length output out of fixed-width
// vector lanes. Built at compile time. Entry `index` gathers, lane by lane
// in order, the first bytes of each lane (how many depends on the index);
// `length` is how many bytes that makes.
//
// kPack2: eight 16-bit lanes, each holding a one-byte UTF-8 sequence in its
// low byte or a two-byte sequence in both bytes (first byte low). Index bit
// k is set when lane k holds two bytes.
//
// kPack3: four 32-bit lanes, each holding a UTF-8 sequence of one to three
// bytes (first byte lowest). The index holds (length - 1) of lane k in bits
// 2k and 2k + 1.
//
// kCompress16: eight 16-bit lanes, kept whole where index bit k is set and
// dropped otherwise.
#pragma once

namespace tf::simd {

struct PackTable {
  alignas(16) unsigned char shuffle[256][16];
  unsigned char length[256];
};

template <int kLaneBytes, int kLanes, class Take>
constexpr PackTable make_pack_table(Take take) {
  PackTable t{};
  for (int index = 0; index < 256; ++index) {
    int n = 0;
    for (int lane = 0; lane < kLanes; ++lane) {
      for (int k = 0; k < take(index, lane); ++k) {
        t.shuffle[index][n++] = static_cast<unsigned char>(kLaneBytes * lane + k);
      }
    }
    t.length[index] = static_cast<unsigned char>(n);
    for (int k = n; k < 16; ++k) t.shuffle[index][k] = 0x80;
  }
  return t;
}

inline constexpr PackTable kPack2 =
    make_pack_table<2, 8>([](int index, int lane) { return 1 + ((index >> lane) & 1); });
inline constexpr PackTable kPack3 = make_pack_table<4, 4>([](int index, int lane) {
  const int length = ((index >> (2 * lane)) & 3) + 1;
  return length < 3 ? length : 3;
});
inline constexpr PackTable kCompress16 =
    make_pack_table<2, 8>([](int index, int lane) { return 2 * ((index >> lane) & 1); });

// Bit k of a 4-bit value moved to bit 2k.
inline constexpr unsigned char kSpread4[16] = {0x00, 0x01, 0x04, 0x05, 0x10, 0x11, 0x14, 0x15,
                                               0x40, 0x41, 0x44, 0x45, 0x50, 0x51, 0x54, 0x55};

}  // namespace tf::simd
