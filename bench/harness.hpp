// Timing and the result table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// One measured operation: `run` is timed, `after` (releasing what run made)
// is not.
struct Job {
  Job(
      std::string name_, std::function<void()> run_, std::function<void()> after_ = [] {})
      : name(std::move(name_)), run(std::move(run_)), after(std::move(after_)) {}
  std::string name;
  std::function<void()> run;
  std::function<void()> after;
  std::vector<double> seconds;
  bool wall = false;  // timed by the wall clock whatever the default (disk waits)
  double median() const {
    std::vector<double> s = seconds;
    std::sort(s.begin(), s.end());
    return s.empty() ? 0.0 : s[s.size() / 2];
  }
};

// Which clock times a job: the CPU time of the calling thread (user and
// kernel, so page faults and copies out of the page cache count; time spent
// waiting for a core on a shared machine does not), or the wall clock.
enum class Clock { kThreadCpu, kWall };
Clock& clock_in_use();

double now_seconds(bool wall = false);

// Bytes of memory touched and released right before each timed run (see
// warm_memory).
std::uint64_t& warm_bytes();

// Allocates, touches and frees warm_bytes(): the next allocations get pages
// the kernel has just had in use. Memory left free for a while can be
// handed back to the host of a virtual machine, and faulting it in again
// then costs several times more; without this, whichever job runs first
// after a pause would pay for that.
void warm_memory();

// Runs the jobs in turn, one unrecorded round and then `reps` rounds, so
// that a slow phase of a shared machine hits all of them alike.
inline void run_rounds(std::vector<Job*> jobs, int reps) {
  for (int r = -1; r < reps; ++r) {
    for (Job* job : jobs) {
      warm_memory();
      const double t0 = now_seconds(job->wall);
      job->run();
      const double t1 = now_seconds(job->wall);
      job->after();
      if (r >= 0) job->seconds.push_back(t1 - t0);
    }
  }
}

inline double mb_per_s(std::uint64_t bytes, double seconds) {
  return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
}

struct Row {
  Row(std::string path_, std::string corpus_, double ours_, std::string peer_ = "",
      double theirs_ = 0, double target_ = 0, std::string note_ = "")
      : path(std::move(path_)),
        corpus(std::move(corpus_)),
        ours(ours_),
        peer(std::move(peer_)),
        theirs(theirs_),
        target(target_),
        note(std::move(note_)) {}
  std::string path;  // hot path
  std::string corpus;
  double ours = 0;  // MB/s of input
  std::string peer;
  double theirs = 0;  // MB/s of the same input
  double target = 0;  // wanted ours/theirs; 0 = none
  std::string note;
};

class Table {
 public:
  void add(Row row) { rows_.push_back(std::move(row)); }
  void print() const;
  int missed() const;

 private:
  std::vector<Row> rows_;
};

}  // namespace bench
