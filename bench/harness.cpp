#include "harness.hpp"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "peers.hpp"

namespace bench {

Clock& clock_in_use() {
  static Clock clock = Clock::kThreadCpu;
  return clock;
}

std::uint64_t& warm_bytes() {
  static std::uint64_t bytes = 1'000'000'000;
  return bytes;
}

void warm_memory() {
  const std::uint64_t n = warm_bytes();
  if (n == 0) return;
  unsigned char* block = huge_block(n);
  if (block == nullptr) return;
  std::memset(block, 1, n);
  std::free(block);
}

double now_seconds(bool wall) {
  timespec t{};
  clock_gettime(
      clock_in_use() == Clock::kThreadCpu && !wall ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Table::print() const {
  std::printf("| hot path | corpus | ours MB/s | peer | peer MB/s | ours/peer | target |\n");
  std::printf("|---|---|---:|---|---:|---:|---|\n");
  for (const Row& r : rows_) {
    char ratio[32] = "";
    char target[48] = "";
    if (r.theirs > 0) std::snprintf(ratio, sizeof ratio, "%.2fx", r.ours / r.theirs);
    if (r.target > 0 && r.theirs > 0) {
      std::snprintf(target, sizeof target, ">= %.1fx %s", r.target,
                    r.ours / r.theirs >= r.target ? "met" : "MISSED");
    }
    char peer_mbs[32] = "-";
    if (r.theirs > 0) std::snprintf(peer_mbs, sizeof peer_mbs, "%.0f", r.theirs);
    std::printf("| %s | %s | %.0f | %s | %s | %s | %s%s%s |\n", r.path.c_str(), r.corpus.c_str(),
                r.ours, r.peer.empty() ? "-" : r.peer.c_str(), peer_mbs, ratio, target,
                r.note.empty() ? "" : " ", r.note.c_str());
  }
}

int Table::missed() const {
  int n = 0;
  for (const Row& r : rows_) n += r.target > 0 && r.theirs > 0 && r.ours / r.theirs < r.target;
  return n;
}

}  // namespace bench
