// Test-only interposition of the file calls tf_open makes (stat, open, fstat,
// read): linking io_hooks.cpp into a test binary replaces them for the whole
// process, forwarding to the real ones. While hooks are installed for a
// path, a test can change the file system between the library's calls (a
// FIFO or a directory swapped in after the status query, a file that shrinks
// or grows before the read) or fail the calls on the descriptor opened for
// that path, deterministically.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

namespace tf_hook {

struct Hooks {
  std::string path;                   // the path whose calls are hooked
  std::function<void()> before_open;  // runs right before the real open
  std::function<void()> after_open;   // runs right after it, before anything else
  int fstat_errno = 0;                // non-zero: fstat of the opened descriptor fails
  // Replaces read on the opened descriptor; gets the real read to call.
  std::function<ssize_t(int fd, void* buffer, std::size_t n,
                        ssize_t (*real)(int, void*, std::size_t))>
      read;
};

struct Counts {
  int stats = 0;
  int opens = 0;
  int fstats = 0;
  int reads = 0;
};

// Installs hooks for one path (single-threaded use); remove() uninstalls.
void install(Hooks hooks);
Counts remove();

}  // namespace tf_hook
