// tf_bench: every hot path of the library against what a program would use
// instead, measured in one run on corpora generated here.
//
//   tf_bench [--size 200MB] [--dir build/bench-data] [--reps 5]
//            [--clock cpu|wall] [--warm-up 1GB]
//            [--only floor,open,kernels,queries,search,save]
//            [--prepare-only] [--verbose] [--no-memory] [--no-small-files]
//            [--level portable|sse2|avx2|avx512bw|avx512vbmi2|neon]
//            [--kernel "Latin-1"]
//
// --prepare-only writes the corpora and prints "name path bytes" per line
// (compare-tools.sh uses them).
//
// Prints one Markdown table (MB/s of input, medians of --reps rounds, ours
// and each peer interleaved), then the memory and small-file figures. Times
// are the CPU time of the measuring thread by default (kernel time
// included), which a busy shared machine disturbs far less than the wall
// clock.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "corpus.hpp"
#include "decode/decode.hpp"
#include "decode/line_breaks.hpp"
#include "decode/transcode.hpp"
#include "decode/utf8_sequence.hpp"
#include "frame/simd_level.hpp"
#include "harness.hpp"
#include "kernel_rows.hpp"
#include "peers.hpp"
#include "quobrix_textfile.h"
#include "save/encode_utf16le.hpp"
#include "save/utf16le_units.hpp"

namespace {

using bench::Job;
using bench::mb_per_s;
using bench::Row;

struct Options {
  std::uint64_t size = 200'000'000;
  std::string dir = "build/bench-data";
  int reps = 5;
  bool memory = true;
  std::uint64_t warm_up = 1'000'000'000;
  bool small_files = true;
  std::string only;    // comma-separated section names; empty = all
  std::string kernel;  // the kernel rows whose name starts with this; empty = all
  bool prepare_only = false;
  bool runs(const char* section) const {
    if (only.empty()) return true;
    return ("," + only + ",").find("," + std::string(section) + ",") != std::string::npos;
  }
};

std::uint64_t parse_size(const char* s) {
  char* end = nullptr;
  double v = std::strtod(s, &end);
  const std::string unit = end;
  if (unit == "KB" || unit == "kB") v *= 1e3;
  if (unit == "MB") v *= 1e6;
  if (unit == "GB") v *= 1e9;
  if (unit == "KiB") v *= 1024.0;
  if (unit == "MiB") v *= 1048576.0;
  return static_cast<std::uint64_t>(v);
}

// A whole file in a block (huge-page backed), NUL-terminated.
struct Bytes {
  unsigned char* data = nullptr;
  std::uint64_t size = 0;
  ~Bytes() { std::free(data); }
};

void load(const std::string& path, std::uint64_t size, Bytes& out) {
  out.data = bench::fread_huge(path, size);
  out.size = size;
  if (out.data == nullptr) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
}

// A reusable output block, touched once so that peers do not pay for page
// faults (the library allocates fresh blocks on every call).
struct Scratch {
  unsigned char* data = nullptr;
  std::uint64_t cap = 0;
  explicit Scratch(std::uint64_t n) : data(bench::huge_block(n)), cap(n) {
    std::memset(data, 0, n);
  }
  ~Scratch() { std::free(data); }
};

std::string read_line(const char* path, const char* key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return line.substr(std::strlen(key));
  }
  return "";
}

void print_machine(const Options& opt) {
  utsname u{};
  uname(&u);
  char date[64];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  std::string cpu = read_line("/proc/cpuinfo", "model name\t: ");
  std::string thp;
  std::ifstream thp_file("/sys/kernel/mm/transparent_hugepage/enabled");
  std::getline(thp_file, thp);
  std::printf("## tf_bench\n\n");
  std::printf("- date: %s\n- cpu: %s, %ld online\n- kernel: %s %s\n- THP: %s\n", date, cpu.c_str(),
              sysconf(_SC_NPROCESSORS_ONLN), u.sysname, u.release, thp.c_str());
  std::printf("- memory: %s\n", read_line("/proc/meminfo", "MemTotal:").c_str());
  std::printf("- compiler: %s\n- library: %s\n", __VERSION__, tf_version());
  std::printf("- dispatch level: %s (detected: %s)\n",
              tf::simd::level_name(tf::simd::active_level()),
              tf::simd::level_name(tf::simd::detected_level()));
  std::printf("- ICU: %s\n", bench::icu_available()
                                 ? bench::icu_version().c_str()
                                 : "absent (built without libicu-dev; ICU rows skipped)");
  std::printf("- corpus size: %" PRIu64 " bytes, medians of %d rounds, %s\n\n", opt.size, opt.reps,
              bench::clock_in_use() == bench::Clock::kWall ? "wall clock"
                                                           : "thread CPU time (user + system)");
}

// ---------------------------------------------------------------- memory

// In a fresh process: open the file and report the resident memory before,
// at the peak and after.
int rss_child(const char* path) {
  {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";  // resets the peak to the current size
  }
  const auto kb = [](const char* key) {
    return std::strtoull(read_line("/proc/self/status", key).c_str(), nullptr, 10);
  };
  const unsigned long long base = kb("VmRSS:");
  const int h = tf_open(path);
  if (h < 0) {
    std::printf("error %s\n", tf_last_error());
    return 1;
  }
  const unsigned long long peak = kb("VmHWM:");
  const unsigned long long steady = kb("VmRSS:");
  char* info = tf_info(h);
  const char* bytes = info != nullptr ? std::strstr(info, "\"bytes\":") : nullptr;
  const unsigned long long text = bytes != nullptr ? std::strtoull(bytes + 8, nullptr, 10) : 0;
  tf_free_string(info);
  std::printf("%llu %llu %llu %llu\n", base, peak, steady, text);
  return 0;
}

struct RssFigures {
  double base_mb = 0, peak_mb = 0, steady_mb = 0, text_mb = 0;
  bool ok = false;
};

RssFigures measure_rss(const std::string& path) {
  int fds[2];
  RssFigures r;
  if (pipe(fds) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    execl("/proc/self/exe", "tf_bench", "--rss-child", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buf[256] = {};
  ssize_t got = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  unsigned long long base, peak, steady, text;
  if (got > 0 && std::sscanf(buf, "%llu %llu %llu %llu", &base, &peak, &steady, &text) == 4) {
    r.base_mb = base / 1024.0;
    r.peak_mb = (peak - base) / 1024.0;
    r.steady_mb = (steady - base) / 1024.0;
    r.text_mb = text / 1048576.0;
    r.ok = true;
  }
  return r;
}

// ----------------------------------------------------------- small files

void small_files(const Options& opt, const std::string& english) {
  const std::string dir = opt.dir + "/small";
  ::mkdir(dir.c_str(), 0755);
  constexpr int kFiles = 10000;
  constexpr std::size_t kSize = 4096;
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back(dir + "/f" + std::to_string(i) + ".txt");
    struct stat st;
    if (::stat(paths.back().c_str(), &st) == 0 && st.st_size == static_cast<off_t>(kSize)) continue;
    std::FILE* f = std::fopen(paths.back().c_str(), "wb");
    const std::size_t from = (static_cast<std::size_t>(i) * 7919) % (english.size() - kSize);
    std::fwrite(english.data() + from, 1, kSize, f);
    std::fclose(f);
  }
  std::uint64_t sink = 0;
  Job ours{"tf_open + tf_info + tf_close", [&] {
             for (const std::string& p : paths) {
               const int h = tf_open(p.c_str());
               char* info = tf_info(h);
               sink += info != nullptr ? static_cast<unsigned char>(info[2]) : 0;
               tf_free_string(info);
               tf_close(h);
             }
           }};
  Job plain{"open + fstat + read + close", [&] {
              static unsigned char buf[kSize + 1];
              for (const std::string& p : paths) {
                const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
                struct stat st;
                ::fstat(fd, &st);
                sink +=
                    static_cast<std::uint64_t>(::read(fd, buf, static_cast<size_t>(st.st_size)));
                ::close(fd);
              }
            }};
  bench::run_rounds({&ours, &plain}, opt.reps);
  std::printf("\n### Small files: %d files of %zu bytes (page cache)\n\n", kFiles, kSize);
  std::printf("| operation | total ms | per file us |\n|---|---:|---:|\n");
  for (const Job* j : {&ours, &plain}) {
    std::printf("| %s | %.1f | %.2f |\n", j->name.c_str(), j->median() * 1e3,
                j->median() * 1e6 / kFiles);
  }
  std::printf("\nours / plain: %.2fx the time (target <= 1.5x)%s\n", ours.median() / plain.median(),
              sink == 0 ? " (no bytes?)" : "");
}

// ------------------------------------------------------------ hot paths

struct Opened {
  int handle = -1;
  std::uint64_t text_bytes = 0;
};

std::uint64_t text_length(int h) {
  char* info = tf_info(h);
  const char* bytes = info != nullptr ? std::strstr(info, "\"bytes\":") : nullptr;
  const std::uint64_t n = bytes != nullptr ? std::strtoull(bytes + 8, nullptr, 10) : 0;
  tf_free_string(info);
  return n;
}

int decode_code(const std::string& encoding) {
  if (encoding == "utf16le") return tf::decode::kUtf16le;
  if (encoding == "ansi") return tf::decode::kAnsi;
  return tf::decode::kUtf8;
}

// Forces the level of that name; false when it is unknown or above the
// detected one.
bool force_level_named(const char* name) {
  for (int l = 0; l < tf::simd::kLevelCount; ++l) {
    const auto level = static_cast<tf::simd::Level>(l);
    if (std::strcmp(name, tf::simd::level_name(level)) == 0) {
      return tf::simd::force_level(level) == level;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--rss-child") == 0) return rss_child(argv[2]);
  Options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--size" && has_value) {
      opt.size = parse_size(argv[++i]);
    } else if (a == "--dir" && has_value) {
      opt.dir = argv[++i];
    } else if (a == "--reps" && has_value) {
      opt.reps = std::atoi(argv[++i]);
    } else if (a == "--clock" && has_value) {
      const std::string c = argv[++i];
      bench::clock_in_use() = c == "wall" ? bench::Clock::kWall : bench::Clock::kThreadCpu;
    } else if (a == "--warm-up" && has_value) {
      opt.warm_up = parse_size(argv[++i]);
    } else if (a == "--only" && has_value) {
      opt.only = argv[++i];
    } else if (a == "--kernel" && has_value) {
      opt.kernel = argv[++i];
    } else if (a == "--verbose") {
      bench::verbose() = true;
    } else if (a == "--prepare-only") {
      opt.prepare_only = true;
    } else if (a == "--no-memory") {
      opt.memory = false;
    } else if (a == "--no-small-files") {
      opt.small_files = false;
    } else if (a == "--level" && has_value) {
      // The exports are linked into this program, so forcing a level here
      // forces it for every call the bench makes.
      const char* name = argv[++i];
      if (!force_level_named(name)) {
        std::fprintf(stderr, "unknown or unsupported level '%s' (detected: %s)\n", name,
                     tf::simd::level_name(tf::simd::detected_level()));
        return 2;
      }
    } else {
      std::fprintf(
          stderr,
          "usage: %s [--size 200MB] [--dir DIR] [--reps N] [--clock cpu|wall] [--warm-up 1GB] "
          "[--only floor,open,kernels,queries,search,save] [--prepare-only] [--verbose] "
          "[--no-memory] "
          "[--no-small-files] [--level NAME] [--kernel NAME-PREFIX]\n",
          argv[0]);
      return 2;
    }
  }
  if (opt.size < 4096 || opt.reps < 1) {
    std::fprintf(stderr, "size must be at least 4 KB and reps at least 1\n");
    return 2;
  }
  if (opt.prepare_only) {
    for (const bench::Corpus& c : bench::prepare_corpora(opt.dir, opt.size)) {
      std::printf("%s %s %" PRIu64 "\n", c.name.c_str(), c.path.c_str(), c.bytes);
    }
    return 0;
  }
  print_machine(opt);
  std::fflush(stdout);
  bench::warm_bytes() = opt.warm_up;
  const std::vector<bench::Corpus> corpora = bench::prepare_corpora(opt.dir, opt.size);
  std::vector<std::unique_ptr<Bytes>> raw;
  for (const bench::Corpus& c : corpora) {
    raw.push_back(std::make_unique<Bytes>());
    load(c.path, c.bytes, *raw.back());
  }
  {
    const std::string mixed(reinterpret_cast<const char*>(raw[1]->data), raw[1]->size);
    std::printf("corpora: ");
    for (const bench::Corpus& c : corpora) {
      std::printf("%s %.1f MB (%s); ", c.name.c_str(), c.bytes / 1e6, c.encoding.c_str());
    }
    std::printf("mixed has %.0f%% non-ASCII bytes\n\n", 100 * bench::non_ascii_share(mixed));
  }

  bench::Table table;
  const int reps = opt.reps;
  std::uint64_t sink = 0;

  // The floor: reading a file that is in the page cache.
  if (opt.runs("floor")) {
    const bench::Corpus& c = corpora[0];
    unsigned char* block = nullptr;
    Job plain{"fread", [&] { block = bench::fread_plain(c.path, c.bytes); },
              [&] { std::free(block); }};
    Job huge{"fread huge", [&] { block = bench::fread_huge(c.path, c.bytes); },
             [&] { std::free(block); }};
    bench::run_rounds({&plain, &huge}, reps);
    table.add({"fread floor (malloc block)", c.name, mb_per_s(c.bytes, plain.median())});
    table.add({"fread floor (huge-page block)", c.name, mb_per_s(c.bytes, huge.median())});
  }

  // tf_open per corpus, and the decoders in memory.
  std::vector<Opened> opened(corpora.size());
  for (std::size_t k = 0; k < corpora.size(); ++k) {
    const bench::Corpus& c = corpora[k];
    const Bytes& in = *raw[k];
    int h = -1;
    unsigned char* block = nullptr;
    Job open{"tf_open", [&] { h = tf_open(c.path.c_str()); },
             [&] {
               if (h < 0) std::fprintf(stderr, "tf_open: %s\n", tf_last_error());
               tf_close(h);
             }};
    Job floor{"fread huge", [&] { block = bench::fread_huge(c.path, c.bytes); },
              [&] { std::free(block); }};
    // The decoder alone on bytes in memory (mark bytes included, as tf_open
    // would pass them).
    const int code = decode_code(c.encoding);
    Job decode{"decode_to_utf8", [&] {
                 tf::decode::DecodedText d;
                 tf::decode::decode_to_utf8(in.data, in.size, code, d);
                 sink += d.text_length;
               }};
    // Peers get a pre-faulted output block.
    Scratch out(3 * in.size + 64);
    const unsigned char* body = in.data;
    std::uint64_t body_n = in.size;
    if (c.encoding == "utf16le") {
      body += 2;
      body_n -= 2;
    }
    std::vector<Job> peers;
    if (c.encoding == "utf8") {
      if (bench::icu_available()) {
        peers.push_back({"ICU UTF-8 to UTF-8 (ucnv_convert)", [&] {
                           sink += bench::icu_utf8_to_utf8(body, body_n, out.data, out.cap);
                         }});
      }
    } else if (c.encoding == "utf16le") {
      if (bench::icu_available()) {
        peers.push_back({"ICU u_strToUTF8WithSub", [&] {
                           sink += bench::icu_utf16_to_utf8(body, body_n, out.data, out.cap);
                         }});
      }
      peers.push_back({"iconv UTF-16LE to UTF-8", [&] {
                         sink += bench::iconv_convert("UTF-8", "UTF-16LE", body, body_n, out.data,
                                                      out.cap);
                       }});
    } else {
      if (bench::icu_available()) {
        peers.push_back({"ICU ISO-8859-1 to UTF-8", [&] {
                           sink += bench::icu_latin1_to_utf8(body, body_n, out.data, out.cap);
                         }});
      }
      peers.push_back({"iconv ISO-8859-1 to UTF-8", [&] {
                         sink += bench::iconv_convert("UTF-8", "ISO-8859-1", body, body_n, out.data,
                                                      out.cap);
                       }});
    }
    // The conversion loops alone, into a block they already have.
    Job kernel{"conversion loop", [&] {
                 if (c.encoding == "utf16le") {
                   sink += tf::decode::utf16le_to_utf8(body, body_n, out.data).length;
                 } else if (c.encoding == "ansi") {
                   sink += tf::decode::latin1_to_utf8(body, body_n, out.data);
                 }
               }};
    // What tf_open does to a UTF-8 file besides reading it: the check for
    // well-formed UTF-8 and the line-break scan, on the bytes in memory.
    Job scan{"utf8 check + line-break scan", [&] {
               sink += tf::decode::utf8_valid_prefix(in.data, in.size);
               sink += tf::decode::count_line_breaks(in.data, in.size).lf;
             }};
    std::vector<Job*> jobs = {&open, &floor, &decode};
    if (c.encoding == "utf8") jobs.push_back(&scan);
    if (c.encoding != "utf8") jobs.push_back(&kernel);
    for (Job& p : peers) jobs.push_back(&p);
    opened[k].handle = tf_open(c.path.c_str());
    opened[k].text_bytes = text_length(opened[k].handle);
    if (!opt.runs("open")) continue;
    bench::run_rounds(jobs, reps);

    const double ours_open = mb_per_s(c.bytes, open.median());
    const double ours_decode = mb_per_s(c.bytes, decode.median());
    table.add({"tf_open " + c.encoding, c.name, ours_open, "fread huge-page floor",
               mb_per_s(c.bytes, floor.median()), c.encoding == "utf8" ? 0.6 : 0.0});
    for (const Job& p : peers) {
      const double theirs = mb_per_s(c.bytes, p.median());
      const bool icu = p.name.rfind("ICU", 0) == 0;
      double decode_target = 0;
      if (c.encoding == "utf16le") decode_target = icu ? 1.5 : 3.0;
      if (c.encoding == "ansi" && icu) decode_target = 3.0;
      table.add({"tf_open " + c.encoding, c.name, ours_open, p.name + " (in memory)", theirs,
                 c.encoding == "utf8" ? 2.0 : 0.0});
      table.add({"decode_to_utf8 " + c.encoding + " (in memory, new block)", c.name, ours_decode,
                 p.name, theirs, decode_target});
      if (c.encoding != "utf8") {
        table.add({"decode_to_utf8 " + c.encoding + " loop (block already faulted in)", c.name,
                   mb_per_s(c.bytes, kernel.median()), p.name, theirs, decode_target});
      }
      if (c.encoding == "utf8") {
        table.add({"tf_open's own work on UTF-8 (in memory)", c.name,
                   mb_per_s(c.bytes, scan.median()), p.name, theirs});
      }
    }
  }

  // The kernels alone, every level, beside the yardstick when built in.
  std::vector<bench::KernelInput> kernel_inputs;
  for (std::size_t k = 0; k < corpora.size(); ++k) {
    const bool utf16 = corpora[k].encoding == "utf16le";
    kernel_inputs.push_back({corpora[k].name, corpora[k].encoding, raw[k]->data + (utf16 ? 2 : 0),
                             raw[k]->size - (utf16 ? 2 : 0)});
  }
  if (opt.runs("kernels")) bench::kernel_rows(kernel_inputs, reps, opt.kernel);

  // Queries on the decoded texts of the UTF-8 corpora.
  for (std::size_t k = 0; k < corpora.size(); ++k) {
    const bench::Corpus& c = corpora[k];
    if (c.encoding != "utf8" || !opt.runs("queries")) continue;
    const int h = opened[k].handle;
    const std::uint64_t n = opened[k].text_bytes;
    const Bytes& text = *raw[k];
    Job stats{"tf_stats", [&] {
                char* s = tf_stats(h);
                sink += s != nullptr;
                tf_free_string(s);
              }};
    Job linecol{"tf_linecol", [&] {
                  char* s = tf_linecol(h, static_cast<std::int64_t>(n) - 1);
                  sink += s != nullptr;
                  tf_free_string(s);
                }};
    Job lf{"memchr LF loop", [&] { sink += bench::memchr_count_lf(text.data, text.size); }};
    bench::run_rounds({&stats, &linecol, &lf}, reps);
    const double theirs = mb_per_s(n, lf.median());
    table.add({"tf_stats (lines, words, chars)", c.name, mb_per_s(n, stats.median()),
               "memchr LF count", theirs, 1.0});
    table.add({"tf_linecol at the last byte", c.name, mb_per_s(n, linecol.median()),
               "memchr LF count", theirs, 2.0});
  }

  // Search and replace preview on the two UTF-8 prose corpora. A search
  // stops at its hit limit (100,000), so each row is measured over the bytes
  // up to the end of the last hit reported, the peer doing the same work.
  for (std::size_t k = 0; k < corpora.size(); ++k) {
    const bench::Corpus& c = corpora[k];
    if ((c.name != "english" && c.name != "mixed") || !opt.runs("search")) continue;
    const int h = opened[k].handle;
    const Bytes& text = *raw[k];
    const std::uint64_t n = text.size;
    constexpr int kMaxHits = 100000;
    struct Query {
      const char* label;
      const char* word;
      int folded;
    };
    const Query queries[] = {{"very common word, to the hit limit", bench::kCommonWord, 0},
                             {"frequent word, full scan", bench::kFrequentWord, 0},
                             {"rare word, full scan", bench::kRareWord, 0},
                             {"absent word, full scan", bench::kAbsentWord, 0},
                             {"very common word, to the hit limit", "The", 1},
                             {"frequent word, full scan", "LIBRARY", 1},
                             {"rare word, full scan", "QUIXOTIC", 1},
                             {"absent word, full scan", "ZYZZYVAS", 1}};
    for (const Query& q : queries) {
      std::uint64_t scanned = n;
      const std::uint64_t hits =
          q.folded ? bench::strcasestr_loop(reinterpret_cast<const char*>(text.data), n, q.word,
                                            kMaxHits, &scanned)
                   : bench::memmem_loop(text.data, n, q.word, kMaxHits, &scanned);
      Job ours{"tf_search", [&] {
                 char* s = tf_search(h, q.word, q.folded, kMaxHits);
                 sink += s != nullptr ? std::strlen(s) : 0;
                 tf_free_string(s);
               }};
      std::uint64_t peer_scanned = 0;
      Job peer{q.folded ? "strcasestr loop" : "memmem loop", [&] {
                 sink += q.folded
                             ? bench::strcasestr_loop(reinterpret_cast<const char*>(text.data), n,
                                                      q.word, kMaxHits, &peer_scanned)
                             : bench::memmem_loop(text.data, n, q.word, kMaxHits, &peer_scanned);
               }};
      bench::run_rounds({&ours, &peer}, reps);
      char label[160];
      std::snprintf(label, sizeof label, "tf_search %s, %s (%llu hits, %.0f MB scanned)",
                    q.folded ? "folded" : "exact", q.label, static_cast<unsigned long long>(hits),
                    scanned / 1e6);
      table.add({label, c.name, mb_per_s(scanned, ours.median()), peer.name,
                 mb_per_s(scanned, peer.median()), q.folded ? 2.0 : 1.0});
    }
    // Replacing a rare word and a common one: the whole text is scanned and
    // rewritten; the peer writes its output into a block it already has.
    Scratch out(2 * n + 64);
    const struct {
      const char* label;
      const char* find;
      const char* repl;
    } replaces[] = {{"rare word", bench::kRareWord, "whimsical"}, {"common word", "the", "THE"}};
    for (const auto& r : replaces) {
      std::uint64_t count = 0;
      Job ours{"tf_replace_preview", [&] {
                 char* s = tf_replace_preview(h, r.find, r.repl, 0);
                 sink += s != nullptr ? std::strlen(s) : 0;
                 tf_free_string(s);
               }};
      Job peer{"memmem + memcpy", [&] {
                 sink += bench::memmem_replace(text.data, n, r.find, r.repl, out.data, &count);
               }};
      bench::run_rounds({&ours, &peer}, reps);
      char label[160];
      std::snprintf(label, sizeof label, "tf_replace_preview, %s (%llu replaced)", r.label,
                    static_cast<unsigned long long>(count));
      table.add(
          {label, c.name, mb_per_s(n, ours.median()), peer.name, mb_per_s(n, peer.median()), 1.0});
    }
  }

  // Saving the decoded texts of the UTF-8 corpora. Timed by the wall clock:
  // the sync waits for the disk without using the processor.
  for (std::size_t k = 0; k < corpora.size(); ++k) {
    const bench::Corpus& c = corpora[k];
    if ((c.name != "english" && c.name != "mixed") || !opt.runs("save")) continue;
    const int h = opened[k].handle;
    const Bytes& text = *raw[k];
    const std::uint64_t n = text.size;
    const std::string ours_path = opt.dir + "/saved-by-library.txt";
    const std::string peer_path = opt.dir + "/saved-by-peer.txt";
    Scratch utf16(2 * n + 64);
    Job save_utf8{"tf_save utf8", [&] { sink += tf_save(h, ours_path.c_str(), "utf8") == 1; }};
    Job save_utf16{"tf_save utf16le",
                   [&] { sink += tf_save(h, ours_path.c_str(), "utf16le") == 1; }};
    Job write_peer{"write + fsync + rename",
                   [&] { sink += bench::write_fsync_rename(peer_path, text.data, n); }};
    save_utf8.wall = save_utf16.wall = write_peer.wall = true;
    // The conversion alone, in memory.
    Job encode{"encode_utf16le", [&] {
                 tf::save::Utf16Output out;
                 sink += tf::save::encode_utf16le(text.data, n, out) ? out.size : 0;
               }};
    // The conversion loop alone, into a block it already has, as the peers.
    Job units{"utf8_to_utf16le",
              [&] { sink += tf::save::utf8_to_utf16le(text.data, n, utf16.data).size; }};
    std::vector<Job> peers;
    if (bench::icu_available()) {
      peers.push_back({"ICU u_strFromUTF8WithSub", [&] {
                         sink += bench::icu_utf8_to_utf16(text.data, n, utf16.data, utf16.cap);
                       }});
    }
    peers.push_back({"iconv UTF-8 to UTF-16LE", [&] {
                       sink += bench::iconv_convert("UTF-16LE", "UTF-8", text.data, n, utf16.data,
                                                    utf16.cap);
                     }});
    // The UTF-8 saves first and apart: a 400 MB UTF-16LE save leaves the
    // disk busy for a while, and the job after it would pay for that.
    ::sync();
    bench::run_rounds({&save_utf8, &write_peer}, reps);
    ::sync();
    std::vector<Job*> jobs = {&save_utf16, &encode, &units};
    for (Job& p : peers) jobs.push_back(&p);
    bench::run_rounds(jobs, reps);
    const double peer_write = mb_per_s(n, write_peer.median());
    table.add({"tf_save utf8 (wall clock)", c.name, mb_per_s(n, save_utf8.median()),
               "write + fsync + rename", peer_write, 0.8});
    table.add({"tf_save utf16le (wall clock)", c.name, mb_per_s(n, save_utf16.median()),
               "write + fsync + rename of the UTF-8", peer_write});
    for (const Job& p : peers) {
      const bool icu = p.name.rfind("ICU", 0) == 0;
      table.add({"tf_save's UTF-16LE conversion (in memory, new block)", c.name,
                 mb_per_s(n, encode.median()), p.name, mb_per_s(n, p.median()), icu ? 2.0 : 0.0});
      table.add({"tf_save's UTF-16LE conversion loop (block already faulted in)", c.name,
                 mb_per_s(n, units.median()), p.name, mb_per_s(n, p.median()), icu ? 2.0 : 0.0});
    }
    std::remove(ours_path.c_str());
    std::remove(peer_path.c_str());
  }

  std::printf("### Hot paths\n\n");
  table.print();
  std::fflush(stdout);

  if (opt.memory) {
    std::printf("\n### Memory while opening (RSS of a fresh process, MiB)\n\n");
    std::printf(
        "| corpus | file | text | peak | steady | peak / (file + text) | steady / file |\n"
        "|---|---:|---:|---:|---:|---:|---:|\n");
    for (const bench::Corpus& c : corpora) {
      const RssFigures r = measure_rss(c.path);
      if (!r.ok) {
        std::printf("| %s | failed |\n", c.name.c_str());
        continue;
      }
      const double file = c.bytes / 1048576.0;
      std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.3f | %.3f |\n", c.name.c_str(), file,
                  r.text_mb, r.peak_mb, r.steady_mb, r.peak_mb / (file + r.text_mb),
                  r.steady_mb / file);
    }
    std::printf(
        "\ntargets: steady / file <= 1.05 for well-formed UTF-8; "
        "peak / (file + text) <= 1.05 for every file\n");
  }

  if (opt.small_files) {
    const std::string english(reinterpret_cast<const char*>(raw[0]->data), raw[0]->size);
    small_files(opt, english);
  }
  for (const Opened& o : opened) tf_close(o.handle);
  std::printf("\n(checksum %" PRIu64 ")\n", sink);
  return 0;
}
