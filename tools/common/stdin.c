/* Standard input spooled to a temporary file, since the library opens
 * paths. The file lives only until the library has read it: on Linux its
 * name is removed before a byte is written and the library reaches it as
 * /proc/self/fd/N, so no way out (SIGKILL included) leaves it behind;
 * elsewhere the name is removed after the read, at exit, and on the signals
 * (POSIX) or console events (Windows) that end the program. */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"

#define CLI_SPOOL_CHUNK 65536

static char chunk[CLI_SPOOL_CHUNK];
static char too_large[128];
/* Standard input was closed when the program started. */
static int stdin_closed = 0;

static const char* size_refused(int64_t limit) {
  snprintf(too_large, sizeof too_large, "file too large (more than %lld bytes; max %lld)",
           (long long)limit, (long long)limit);
  return too_large;
}

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

static char spool_name[4096];
static volatile sig_atomic_t spool_named = 0;
static char spool_path[4096];
static int spool_fd = -1;
static char failure[4200];

static void remove_name(void) {
  if (spool_named) {
    spool_named = 0;
    unlink(spool_name);
  }
}

/* Removes the name and lets the signal end the program as it would have. */
static void on_signal(int signal_number) {
  if (spool_named) unlink(spool_name);
  raise(signal_number); /* the handler was reset on entry: the default action */
}

static void catch_ending_signals(void) {
  static const int ending[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = on_signal;
  action.sa_flags = (int)SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof ending / sizeof ending[0]; ++i) {
    struct sigaction old;
    /* A signal the caller ignores stays ignored. */
    if (sigaction(ending[i], NULL, &old) == 0 && old.sa_handler != SIG_IGN) {
      sigaction(ending[i], &action, NULL);
    }
  }
}

static const char* failed(const char* what, int error) {
  snprintf(failure, sizeof failure, "%s: %s", what, strerror(error));
  return failure;
}

/* Copies standard input to the spool; NULL, or the reason it failed. */
static const char* copy_stdin(int64_t limit) {
  int64_t total = 0;
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return failed("cannot read standard input", errno);
    }
    if (got == 0) return NULL;
    total += got;
    if (total > limit) return size_refused(limit);
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(spool_fd, chunk + done, (size_t)(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return failed("cannot spool standard input to a temporary file", errno);
      }
      done += put;
    }
  }
}

/* A descriptor 0, 1 or 2 that is closed would be the next one open() or
 * mkstemp() hands out: the spool would become "standard input", or the
 * output would land in a file. Each is opened on /dev/null instead, for
 * reading only, so that writing to a closed stdout still fails (EBADF). */
void cli_guard_standard_streams(void) {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDONLY);
      if (fd == 0) stdin_closed = 1;
      if (opened >= 0 && opened != fd) close(opened);
    }
  }
}

const char* cli_stdin_spool(int64_t limit, const char** why) {
  const char* dir = getenv("TMPDIR");
  struct stat spool, seen;
  int length;
  if (stdin_closed) {
    *why = "standard input is closed";
    return NULL;
  }
  if (dir == NULL || dir[0] == '\0') dir = "/tmp";
  length = snprintf(spool_name, sizeof spool_name, "%s/" CLI_PROGRAM "-stdin-XXXXXX", dir);
  if (length < 0 || (size_t)length >= sizeof spool_name) {
    *why = "cannot create a temporary file for standard input: the directory name is too long";
    return NULL;
  }
  catch_ending_signals();
  atexit(remove_name);
  spool_fd = mkstemp(spool_name);
  if (spool_fd < 0) {
    const int error = errno;
    snprintf(failure, sizeof failure,
             "cannot create a temporary file for standard input in '%s': %s", dir, strerror(error));
    *why = failure;
    return NULL;
  }
  spool_named = 1;
  snprintf(spool_path, sizeof spool_path, "/proc/self/fd/%d", spool_fd);
  if (fstat(spool_fd, &spool) == 0 && stat(spool_path, &seen) == 0 && spool.st_dev == seen.st_dev &&
      spool.st_ino == seen.st_ino) {
    remove_name();
  } else {
    memcpy(spool_path, spool_name, sizeof spool_path);
  }
  *why = copy_stdin(limit);
  if (*why != NULL) {
    cli_stdin_release();
    return NULL;
  }
  return spool_path;
}

void cli_stdin_release(void) {
  remove_name();
  if (spool_fd >= 0) close(spool_fd);
  spool_fd = -1;
}

#else /* Windows */
#include <fcntl.h>
#include <io.h>
#include <windows.h>

static WCHAR spool_name[MAX_PATH + 1];
static volatile LONG spool_named = 0;
static char* spool_path = NULL;
static char failure[128];

static void remove_name(void) {
  if (InterlockedExchange(&spool_named, 0) != 0) DeleteFileW(spool_name);
}

/* Ctrl+C, Ctrl+Break or a closed console: remove the name, then let the
 * default handler end the program. */
static BOOL WINAPI on_console_event(DWORD event) {
  (void)event;
  remove_name();
  return FALSE;
}

static const char* failed(const char* what) {
  snprintf(failure, sizeof failure, "%s: Win32 error %lu", what, (unsigned long)GetLastError());
  return failure;
}

static const char* copy_stdin(HANDLE spool, int64_t limit) {
  int64_t total = 0;
  (void)_setmode(_fileno(stdin), _O_BINARY);
  for (;;) {
    const int got = _read(_fileno(stdin), chunk, (unsigned)sizeof chunk);
    if (got < 0) {
      snprintf(failure, sizeof failure, "cannot read standard input: %s", strerror(errno));
      return failure;
    }
    if (got == 0) return NULL;
    total += got;
    if (total > limit) return size_refused(limit);
    for (DWORD done = 0; done < (DWORD)got;) {
      DWORD put = 0;
      if (!WriteFile(spool, chunk + done, (DWORD)got - done, &put, NULL)) {
        return failed("cannot spool standard input to a temporary file");
      }
      done += put;
    }
  }
}

void cli_guard_standard_streams(void) {
  const intptr_t handle = _get_osfhandle(0);
  if (handle == -1 || handle == -2) stdin_closed = 1;
}

const char* cli_stdin_spool(int64_t limit, const char** why) {
  WCHAR dir[MAX_PATH + 1];
  char utf8[4 * MAX_PATH + 4];
  const DWORD length = GetTempPathW(MAX_PATH + 1, dir);
  HANDLE spool;
  if (stdin_closed) {
    *why = "standard input is closed";
    return NULL;
  }
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(dir, L"qtf", 0, spool_name) == 0) {
    *why = failed("cannot create a temporary file for standard input");
    return NULL;
  }
  spool_named = 1;
  SetConsoleCtrlHandler(on_console_event, TRUE);
  atexit(remove_name);
  /* Shared for deletion, so that a console event can remove it meanwhile. */
  spool =
      CreateFileW(spool_name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  NULL, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY, NULL);
  if (spool == INVALID_HANDLE_VALUE) {
    *why = failed("cannot create a temporary file for standard input");
    remove_name();
    return NULL;
  }
  *why = copy_stdin(spool, limit);
  CloseHandle(spool);
  if (*why == NULL) {
    if (WideCharToMultiByte(CP_UTF8, 0, spool_name, -1, utf8, (int)sizeof utf8, NULL, NULL) == 0) {
      *why = failed("cannot name the temporary file for standard input");
    } else {
      spool_path = cli_windows_path(utf8, 0, why);
    }
  }
  if (*why != NULL) {
    cli_stdin_release();
    return NULL;
  }
  return spool_path;
}

void cli_stdin_release(void) {
  remove_name();
  free(spool_path);
  spool_path = NULL;
}
#endif
