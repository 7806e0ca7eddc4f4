// I/O failure injection for one test binary. Linking io_injector.cpp
// replaces the file calls the library makes (stat, lstat, fstat, open, read,
// unlink, fchown, fchmod, write, fsync, close, rename, and the calls relative
// to a directory: fstatat, openat, unlinkat, renameat) for the whole process,
// forwarding to the real ones. Armed, the calls of the arming thread are
// counted and recorded, and the k-th one fails once with the error a real
// failure of that call would give (a full disk for writes, an I/O error for
// syncs, ...), without doing its work; close still closes. Opens, writes
// and syncs can also be interrupted by a signal, as on network file systems.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tf_io {

enum class Call {
  kStat,
  kLstat,
  kFstat,
  kOpen,
  kRead,
  kUnlink,
  kFchown,
  kFchmod,
  kWrite,
  kFsync,
  kClose,
  kRename,
  kFstatat,
  kOpenat,
  kUnlinkat,
  kRenameat
};

const char* name_of(Call call);
// The error number an injected failure of `call` leaves in errno.
int error_of(Call call);

struct Recorded {
  Call call;
  int open_flags = 0;  // kOpen, kOpenat: the flags passed
};

// 1-based; 0 fails nothing.
void arm(std::size_t fail_at);
// Stops counting; returns the calls made while armed.
std::vector<Recorded> disarm();
// While armed, write takes at most `bytes` bytes per call (0: all), as a
// write interrupted by a signal may; reset by arm().
void limit_writes(std::size_t bytes);

// A signal handler (install it without SA_RESTART). While armed and after
// interrupt_writes(), the first open, write or fsync after each signal fails
// with EINTR without doing its work, as one a signal interrupts on a network
// or user-space file system; reset by arm().
void on_signal(int);
void interrupt_writes();
// The writes and syncs interrupted since arm().
std::size_t interrupted_writes();
std::size_t interrupted_syncs();
// The opens (and openats) interrupted since arm(): with O_CREAT (the exclusive create of
// a save), or (0) for reading a file, directories not counted.
std::size_t interrupted_opens(int kind);

// Whether the fail_at-th call happened (and failed) in the last window.
bool injected();

bool armed_here();
std::size_t write_limit();

// Descriptors this process has open now.
int open_descriptors();

}  // namespace tf_io
