/* Output to stdout and messages to stderr. A reader that goes away (EPIPE,
 * for instance `quobrix-textfile cat big | head -c1`) ends the output
 * quietly; any other write error is reported once and fails the run. */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"

enum { OUT_OPEN, OUT_CLOSED_BY_READER, OUT_FAILED };
static int out_state = OUT_OPEN;

static void out_failed(int error) {
  if (error == EPIPE) {
    out_state = OUT_CLOSED_BY_READER;
    return;
  }
  out_state = OUT_FAILED;
  fprintf(stderr, "%s: write error: %s\n", CLI_PROGRAM, strerror(error));
}

int out_write(const void* data, size_t length) {
  if (out_state != OUT_OPEN) return -1;
  if (length == 0) return 0;
  errno = 0;
  if (fwrite(data, 1, length, stdout) != length) {
    out_failed(errno != 0 ? errno : EIO);
    return -1;
  }
  return 0;
}

int out_text(const char* text) { return out_write(text, strlen(text)); }

int out_printf(const char* format, ...) {
  char small[512];
  va_list args;
  int length;
  va_start(args, format);
  length = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) return -1;
  if ((size_t)length < sizeof small) return out_write(small, (size_t)length);
  {
    char* big = malloc((size_t)length + 1);
    int result;
    if (big == NULL) {
      fprintf(stderr, "%s: out of memory\n", CLI_PROGRAM);
      out_state = OUT_FAILED;
      return -1;
    }
    va_start(args, format);
    vsnprintf(big, (size_t)length + 1, format, args);
    va_end(args);
    result = out_write(big, (size_t)length);
    free(big);
    return result;
  }
}

int out_stopped(void) { return out_state != OUT_OPEN; }

int out_finish(int status) {
  if (out_state == OUT_OPEN) {
    errno = 0;
    if (fflush(stdout) != 0) out_failed(errno != 0 ? errno : EIO);
  }
  if (out_state == OUT_FAILED && status == CLI_OK) return CLI_FILE_FAILED;
  return status;
}

void cli_file_error(const char* file, const char* message) {
  fflush(stdout);
  fprintf(stderr, "%s: %s: %s\n", CLI_PROGRAM, file, message);
}

int cli_usage_error(const CliCommand* command, const char* format, ...) {
  va_list args;
  fflush(stdout);
  fprintf(stderr, "%s: ", CLI_PROGRAM);
  if (command != NULL) fprintf(stderr, "%s: ", command->name);
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  if (command != NULL) {
    fprintf(stderr, "\nTry '%s %s --help' for more information.\n", CLI_PROGRAM, command->name);
  } else {
    fprintf(stderr, "\nTry '%s --help' for more information.\n", CLI_PROGRAM);
  }
  return CLI_USAGE;
}
