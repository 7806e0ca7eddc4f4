// tf_bench_adversary: searches built to make the verification of candidates
// as costly as it can be, against the classic adversary of the same text.
// Every text but the last is periodic; every query of the family agrees with
// it for a long stretch and then differs (near-periodic), or is periodic
// itself, at lengths from 2 to 4,096 bytes, folded and exact. The classic adversary
// (the text's period to 300 bytes, one foreign byte, 300 more, folded) is
// the yardstick: once the scan has handed over to the linear-time matcher
// no query should cost more than a few times what it costs. The last table
// is what a tf_info on another handle waits while the costliest query runs.
// Two ratios: to the classic adversary on the same text, and to the one on
// the text of 'a' (the linear matcher's dearest case of the periodic texts;
// on the others it skips ahead and the classic costs far less). The last
// text is random over two letters ('a' and 'b'): no period, but every
// candidate that two bytes can pick agrees with the query a quarter of the
// time; its queries are stretches of the text, with one byte changed.
//
//   tf_bench_adversary [--mb N] [--reps N] [--lock-only 1]
//   (default 32 MiB, 3 repetitions; --lock-only 1: the last table alone)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "quobrix_textfile.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The text's period repeated to n bytes.
std::string repeat(const std::string& period, std::size_t n) {
  std::string out;
  out.reserve(n + period.size());
  while (out.size() < n) out += period;
  out.resize(n);
  return out;
}

struct Query {
  std::string name;
  std::string bytes;
  int fold;
};

// m bytes of random 'a' and 'b' (the same bytes for the same seed).
std::string two_letters(std::size_t n, std::uint64_t seed) {
  std::string out(n, 'a');
  for (std::size_t i = 0; i < n; ++i) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    out[i] = static_cast<char>('a' + (seed >> 40) % 2);
  }
  return out;
}

// The family for one text: at each length m, the text's first m bytes
// (the period repeated, or a stretch of the random text) with one byte
// changed at the first, middle, 63rd/64th (the edge of a 64-byte stretch,
// what verification once charged in) and next-to-last place, and that
// stretch itself.
std::vector<Query> family(const std::string& text) {
  std::vector<Query> out;
  std::vector<std::size_t> lengths;
  for (std::size_t m = 2; m <= 4096; m *= 2) lengths.push_back(m);
  lengths.push_back(65);
  lengths.push_back(601);
  std::sort(lengths.begin(), lengths.end());
  for (const std::size_t m : lengths) {
    std::vector<std::size_t> places = {1, m / 2, 63, 64, m - 2};
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    for (int fold = 0; fold < 2; ++fold) {
      out.push_back({"itself m=" + std::to_string(m), text.substr(0, m), fold});
      for (const std::size_t k : places) {
        if (k == 0 || k + 1 >= m) continue;
        std::string q = text.substr(0, m);
        q[k] = q[k] == 'b' ? 'c' : 'b';
        out.push_back({"m=" + std::to_string(m) + " differs at " + std::to_string(k), q, fold});
      }
    }
  }
  return out;
}

double time_search(int h, const Query& q, int reps) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    const double t0 = now();
    char* json = tf_search(h, q.bytes.c_str(), q.fold, 100);
    t.push_back(now() - t0);
    tf_free_string(json);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// The query's time on `h` and the classic's on `h_classic`, median of reps
// rounds that take one of each in turn, so that a slow phase of a shared
// machine hits both.
std::pair<double, double> time_against(int h, const Query& q, int h_classic, const Query& classic,
                                       int reps) {
  std::vector<double> ours, base;
  for (int r = 0; r < reps; ++r) {
    base.push_back(time_search(h_classic, classic, 1));
    ours.push_back(time_search(h, q, 1));
  }
  std::sort(ours.begin(), ours.end());
  std::sort(base.begin(), base.end());
  return {ours[ours.size() / 2], base[base.size() / 2]};
}

// The longest a tf_info on `other` waits while `q` is searched on `h`.
double longest_info_wait(int h, int other, const Query& q) {
  std::atomic<bool> done{false};
  std::thread searcher([&] {
    tf_free_string(tf_search(h, q.bytes.c_str(), q.fold, 100));
    done = true;
  });
  double longest = 0;
  while (!done) {
    const double t0 = now();
    tf_free_string(tf_info(other));
    longest = std::max(longest, now() - t0);
  }
  searcher.join();
  return longest;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t mb = 32;
  int reps = 3;
  bool lock_only = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mb") == 0) mb = std::strtoul(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--reps") == 0) reps = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--lock-only") == 0) lock_only = std::atoi(argv[i + 1]) != 0;
  }
  const std::string dir = "/tmp/tf_bench_adversary_" + std::to_string(std::rand());
  std::system(("mkdir -p " + dir).c_str());
  const std::string small_path = dir + "/small.txt";
  if (std::FILE* f = std::fopen(small_path.c_str(), "wb")) {
    std::fputs("a small document\n", f);
    std::fclose(f);
  }
  const int small = tf_open(small_path.c_str());

  std::printf(
      "%zu MiB texts, median of %d; ratio = query / the same text's classic adversary, vs a =\n"
      "query / the classic adversary on the text of a (its ms in the column 'classic', timed in\n"
      "turn with the query); rows with vs a > 0.5\n",
      mb, reps);
  std::printf("%-10s %-28s %-5s %10s %10s %7s %7s\n", "text", "query", "fold", "ms", "classic",
              "ratio", "vs a");
  double worst_ratio = 0, worst_vs_a = 0;
  double classic_of_a = 0;
  const Query classic_a{"classic", std::string(300, 'a') + "z" + std::string(300, 'a'), 1};
  std::string worst_name;
  Query worst_query;
  int worst_handle = -1;
  std::vector<int> handles;
  for (const std::string period : {"a", "ab", "abcdefg", "random ab"}) {
    const bool random = period == "random ab";
    const std::string path = dir + "/" + (random ? "random" : period) + ".txt";
    const std::string block = random ? two_letters(std::size_t{1} << 20, 88172645463325252u)
                                     : repeat(period, period.size() * 65536);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      for (std::size_t done = 0; done < (mb << 20); done += block.size()) {
        std::fwrite(block.data(), 1, std::min(block.size(), (mb << 20) - done), f);
      }
      std::fclose(f);
    }
    const int h = tf_open(path.c_str());
    if (h < 0) {
      std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), tf_last_error());
      return 1;
    }
    handles.push_back(h);
    if (lock_only) break;
    const Query classic{"classic", block.substr(0, 300) + "z" + block.substr(300, 300), 1};
    const double base = time_search(h, classic, reps);
    if (classic_of_a == 0) classic_of_a = base;
    std::printf("%-10s %-28s %-5s %10.2f %10.2f %7.2f %7.2f\n", period.c_str(), "classic adversary",
                "yes", base * 1e3, base * 1e3, 1.0, base / classic_of_a);
    for (const Query& q : family(block.substr(random ? 4096 : 0, 8192))) {
      const auto [t, a_now] = time_against(h, q, handles[0], classic_a, reps);
      const double ratio = t / base;
      const double vs_a = t / a_now;
      worst_ratio = std::max(worst_ratio, ratio);
      // Only the rows worth a look: the costly ones.
      if (vs_a > 0.5) {
        std::printf("%-10s %-28s %-5s %10.2f %10.2f %7.2f %7.2f\n", period.c_str(), q.name.c_str(),
                    q.fold ? "yes" : "no", t * 1e3, a_now * 1e3, ratio, vs_a);
      }
      if (vs_a > worst_vs_a) {
        worst_vs_a = vs_a;
        worst_name = period + ": " + q.name + (q.fold ? " folded" : " exact");
        worst_query = q;
        worst_handle = h;
      }
    }
  }
  std::printf("worst ratio to the same text's classic adversary %.2f\n", worst_ratio);
  std::printf("worst ratio to the classic adversary on the text of a: %.2f (%s)\n", worst_vs_a,
              worst_name.c_str());

  // The probe of the review: 'a'*63 + 'b' + 'a', folded, on the text of a.
  const Query probe{"probe", std::string(63, 'a') + "b" + "a", 1};
  const Query classic{"classic", std::string(300, 'a') + "b" + std::string(300, 'a'), 1};
  std::printf("\nlongest tf_info wait on another handle while one search runs:\n");
  std::printf("  classic adversary (a text): %8.2f ms\n",
              longest_info_wait(handles[0], small, classic) * 1e3);
  std::printf("  probe 'a'*63+'b'+'a' folded: %7.2f ms\n",
              longest_info_wait(handles[0], small, probe) * 1e3);
  if (!lock_only) {
    std::string stretch = two_letters(std::size_t{1} << 20, 88172645463325252u).substr(4096, 64);
    std::printf("  random ab, a 64-byte stretch: %6.2f ms\n",
                longest_info_wait(handles[3], small, {"stretch", stretch, 1}) * 1e3);
  }
  if (worst_handle >= 0) {
    std::printf("  worst of the family:        %8.2f ms\n",
                longest_info_wait(worst_handle, small, worst_query) * 1e3);
  }
  for (const int h : handles) tf_close(h);
  tf_close(small);
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
