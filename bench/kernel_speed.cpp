// The byte kernels' speed at the detected level and at the portable one, on
// 64 MB inputs built in memory: one program compiled natively and for
// wasm32-wasi, so that bench/wasm-vs-native.sh can set the two side by side
// (MB/s, best of 7). Links tf_internal; needs no threads, files or clocks
// beyond steady_clock, so it runs under WASI as it is.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/kernels.hpp"
#include "frame/simd_level.hpp"

namespace {

using tf::simd::Kernels;
using tf::simd::Level;

constexpr std::size_t kSize = std::size_t{64} << 20;
volatile std::uint64_t g_sink;

unsigned char* filled(std::size_t n, const char* unit) {
  auto* p = static_cast<unsigned char*>(std::malloc(n + 64));
  const std::size_t u = std::strlen(unit);
  for (std::size_t i = 0; i < n; i += u) std::memcpy(p + i, unit, i + u <= n ? u : n - i);
  return p;
}

template <class F>
double best_ms(F f) {
  double best = 1e30;
  for (int round = 0; round < 7; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    g_sink = f();
    const std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
    if (d.count() < best) best = d.count();
  }
  return best;
}

void row(const char* level, const char* name, std::size_t bytes, double ms) {
  std::printf("%-9s %-30s %9.0f MB/s\n", level, name, bytes / 1e6 / (ms / 1e3));
}

}  // namespace

int main() {
  // English-like ASCII with LF, text with 30-40% non-ASCII bytes, Latin-1
  // bytes, and the UTF-16LE form of the mixed text.
  unsigned char* ascii = filled(kSize, "The quick brown fox jumps over the lazy dog, again.\n");
  unsigned char* mixed =
      filled(kSize, "Grüße aus Köln, naïve café; 日本語のテキスト and some ASCII.\n");
  unsigned char* latin1 = filled(kSize, "caf\xe9 na\xefve \xc0 la carte, and plain words too.\n");
  auto* utf16 = static_cast<unsigned char*>(std::malloc(2 * kSize + 64));
  auto* out = static_cast<unsigned char*>(std::malloc(3 * kSize + 256));
  // The portable level, the 128-bit one (SSE2 on x86-64; WebAssembly's and
  // NEON's only vector level), and the one the library picks here.
  const Kernels* tables[] = {tf::simd::table_of(Level::kPortable),
                             tf::simd::table_of(Level::kSse2) != nullptr
                                 ? tf::simd::table_of(Level::kSse2)
                                 : tf::simd::table_of(tf::simd::detected_level()),
                             tf::simd::table_of(tf::simd::detected_level())};
  const std::size_t utf16_bytes =
      tables[2]->utf8_to_utf16le(mixed, kSize - kSize % 64, utf16).size & ~std::size_t{1};
  const Kernels* done = nullptr;
  for (const Kernels* k : tables) {
    if (k == done) continue;
    done = k;
    const char* level = tf::simd::level_name(k->level);
    row(level, "utf8_valid_prefix ascii", kSize,
        best_ms([&] { return k->utf8_valid_prefix(ascii, kSize); }));
    row(level, "utf8_valid_prefix mixed", kSize,
        best_ms([&] { return k->utf8_valid_prefix(mixed, kSize); }));
    row(level, "latin1_to_utf8", kSize,
        best_ms([&] { return k->latin1_to_utf8(latin1, kSize, out); }));
    row(level, "utf16le_to_utf8 mixed", utf16_bytes,
        best_ms([&] { return k->utf16le_to_utf8(utf16, utf16_bytes, out).length; }));
    row(level, "count_line_breaks", kSize,
        best_ms([&] { return k->count_line_breaks(ascii, kSize).lf; }));
    row(level, "measure_text ascii", kSize,
        best_ms([&] { return k->measure_text(ascii, kSize).words; }));
    row(level, "measure_text mixed", kSize,
        best_ms([&] { return k->measure_text(mixed, kSize).words; }));
    row(level, "utf8_to_utf16le ascii", kSize,
        best_ms([&] { return k->utf8_to_utf16le(ascii, kSize, out).size; }));
    row(level, "utf8_to_utf16le mixed", kSize,
        best_ms([&] { return k->utf8_to_utf16le(mixed, kSize, out).size; }));
  }
  return 0;
}
