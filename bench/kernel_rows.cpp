#include "kernel_rows.hpp"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "frame/kernels.hpp"
#include "harness.hpp"
#include "peers.hpp"
#include "yardstick.hpp"

namespace bench {
namespace {

using tf::simd::Kernels;
using tf::simd::Level;

// The yardstick's implementation of the same class as each of our levels.
const char* same_class(Level level) {
  switch (level) {
    case Level::kPortable:
      return "fallback";
    case Level::kSse2:
      return "westmere";
    case Level::kAvx2:
      return "haswell";
    case Level::kAvx512bw:
    case Level::kAvx512vbmi2:
      return "icelake";
    case Level::kNeon:
      return "arm64";
    case Level::kSimd128:
      return "";  // the yardstick is not built for WebAssembly
  }
  return "";
}

enum class Op { kValidate, kLatin1, kUtf16, kSave };

struct Timed {
  std::string name;
  std::function<std::uint64_t()> run;  // returns a size, checked across jobs
  double best = 1e30;
  std::uint64_t result = 0;
};

std::uint64_t ours(const Kernels& k, Op op, const KernelInput& in, unsigned char* out) {
  switch (op) {
    case Op::kValidate:
      return k.utf8_valid_prefix(in.data, in.size);
    case Op::kLatin1:
      return k.latin1_to_utf8(in.data, in.size, out);
    case Op::kUtf16:
      return k.utf16le_to_utf8(in.data, in.size, out).length;
    case Op::kSave:
      return k.utf8_to_utf16le(in.data, in.size, out).size;
  }
  return 0;
}

std::uint64_t theirs(const void* impl, Op op, const KernelInput& in, unsigned char* out) {
  switch (op) {
    case Op::kValidate:
      return yardstick::validate_utf8(impl, in.data, in.size);
    case Op::kLatin1:
      return yardstick::latin1_to_utf8(impl, in.data, in.size, out);
    case Op::kUtf16:
      return yardstick::utf16le_to_utf8(impl, in.data, in.size, out);
    case Op::kSave:
      return yardstick::utf8_to_utf16le(impl, in.data, in.size, out);
  }
  return 0;
}

void best_of(std::vector<Timed>& jobs, int reps) {
  for (int r = 0; r <= reps; ++r) {
    for (Timed& j : jobs) {
      const double t0 = now_seconds();
      const std::uint64_t got = j.run();
      const double t1 = now_seconds();
      j.result = got;
      if (r > 0 && t1 - t0 < j.best) j.best = t1 - t0;
    }
  }
}

}  // namespace

void kernel_rows(const std::vector<KernelInput>& inputs, int reps, const std::string& only) {
  // Every level's table, taken while that level is forced.
  std::vector<Kernels> tables;
  for (int l = 0; l < tf::simd::kLevelCount; ++l) {
    const auto level = static_cast<Level>(l);
    if (!tf::simd::level_available(level)) continue;
    tf::simd::force_level(level);
    tables.push_back(tf::simd::kernels());
  }
  tf::simd::reset_level();
  const Level picked = tf::simd::detected_level();
  const void* best = yardstick::find("");
  // The yardstick's best and each same-class implementation, once each.
  std::vector<const void*> impls;
  if (best != nullptr) impls.push_back(best);
  for (const Kernels& k : tables) {
    const void* impl = yardstick::find(same_class(k.level));
    bool seen = false;
    for (const void* p : impls) {
      seen = seen || (impl != nullptr && yardstick::name_of(p) == yardstick::name_of(impl));
    }
    if (impl != nullptr && !seen) impls.push_back(impl);
  }
  struct Case {
    const char* kernel;
    Op op;
    const char* encoding;
  };
  const Case cases[] = {{"UTF-8 validation", Op::kValidate, "utf8"},
                        {"Latin-1 to UTF-8", Op::kLatin1, "ansi"},
                        {"UTF-16LE to UTF-8", Op::kUtf16, "utf16le"},
                        {"UTF-8 to UTF-16LE (save)", Op::kSave, "utf8"}};
  std::printf("\n### Kernels (MB/s of input, best of %d interleaved rounds, output faulted in)\n\n",
              reps);
  std::printf("| kernel | corpus |");
  for (const Kernels& k : tables) std::printf(" %s |", tf::simd::level_name(k.level));
  std::printf(" picked (%s) |", tf::simd::level_name(picked));
  if (best != nullptr) {
    std::printf(" yardstick best (%s) |", yardstick::name_of(best).c_str());
    for (std::size_t k = 1; k < impls.size(); ++k) {
      std::printf(" yardstick %s |", yardstick::name_of(impls[k]).c_str());
    }
    std::printf(" picked / best | best of ours / best |");
    for (const Kernels& k : tables) {
      std::printf(" %s / %s |", tf::simd::level_name(k.level), same_class(k.level));
    }
  }
  std::printf("\n|---|---|");
  const std::size_t columns =
      tables.size() + 1 + (best != nullptr ? impls.size() + 2 + tables.size() : 0);
  for (std::size_t c = 0; c < columns; ++c) std::printf("---:|");
  std::printf("\n");
  for (const Case& c : cases) {
    if (std::string(c.kernel).rfind(only, 0) != 0) continue;
    for (const KernelInput& in : inputs) {
      if (in.encoding != c.encoding) continue;
      if (c.op != Op::kLatin1 && in.corpus != "english" && in.corpus != "mixed" &&
          in.corpus != "english-utf16" && in.corpus != "mixed-utf16") {
        continue;
      }
      unsigned char* out = huge_block(3 * in.size + 64);
      std::memset(out, 0, 3 * in.size + 64);
      std::vector<Timed> jobs;
      for (const Kernels& k : tables) {
        jobs.push_back({tf::simd::level_name(k.level), [&, k] { return ours(k, c.op, in, out); }});
      }
      for (const void* impl : impls) {
        jobs.push_back(
            {yardstick::name_of(impl), [&, impl] { return theirs(impl, c.op, in, out); }});
      }
      best_of(jobs, reps);
      std::free(out);
      const auto speed = [&](const Timed& j) { return mb_per_s(in.size, j.best); };
      const auto theirs_speed = [&](const void* impl) {
        for (std::size_t k = 0; impl != nullptr && k < impls.size(); ++k) {
          if (yardstick::name_of(impls[k]) == yardstick::name_of(impl)) {
            return speed(jobs[tables.size() + k]);
          }
        }
        return 0.0;
      };
      std::printf("| %s | %s |", c.kernel, in.corpus.c_str());
      double best_ours = 0, picked_speed = 0;
      for (std::size_t k = 0; k < tables.size(); ++k) {
        const double s = speed(jobs[k]);
        std::printf(" %.0f |", s);
        if (s > best_ours) best_ours = s;
        if (tables[k].level == picked) picked_speed = s;
      }
      std::printf(" %.0f |", picked_speed);
      if (best != nullptr) {
        const double b = theirs_speed(best);
        for (const void* impl : impls) std::printf(" %.0f |", theirs_speed(impl));
        std::printf(" %.2f | %.2f |", picked_speed / b, best_ours / b);
        for (std::size_t k = 0; k < tables.size(); ++k) {
          const double s = theirs_speed(yardstick::find(same_class(tables[k].level)));
          if (s > 0) {
            std::printf(" %.2f |", speed(jobs[k]) / s);
          } else {
            std::printf(" - |");
          }
        }
      }
      std::printf("\n");
      // Every level of ours must give the same size; the yardstick's own
      // count for valid input too (its UTF-16LE results count units).
      for (std::size_t k = 1; k < jobs.size(); ++k) {
        if (jobs[k].result != jobs[0].result) {
          std::printf("(%s gave %" PRIu64 ", %s gave %" PRIu64 ")\n", jobs[k].name.c_str(),
                      jobs[k].result, jobs[0].name.c_str(), jobs[0].result);
        }
      }
      std::fflush(stdout);
    }
  }
}

}  // namespace bench
