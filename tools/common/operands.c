/* Operands that name files: standard input ("-", "/dev/stdin") is spooled to
 * a temporary file, since the library opens paths; on Windows an operand
 * arrives in UTF-8 and goes to the library in the ANSI code page. Messages
 * name the operand as it was given, never the path the library was handed. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "common/file_verdict.h"
#include "quobrix_textfile.h"

/* The largest file the library opens, in bytes (500 MiB). */
#define CLI_MAX_FILE_BYTES 524288000

int cli_is_stdin(const char* file) {
  return strcmp(file, "-") == 0 || strcmp(file, "/dev/stdin") == 0;
}

void cli_library_error(const char* file, const char* native) {
  const char* message = tf_last_error();
  CliBytes fixed = {NULL, 0, 0};
  const size_t native_length = strlen(native);
  const char* at;
  if (strcmp(file, native) == 0) {
    cli_file_error(file, message);
    return;
  }
  /* The library quotes the paths it names: "cannot open '<path>': ...". */
  while ((at = strchr(message, '\'')) != NULL) {
    if (cli_bytes_append(&fixed, message, (size_t)(at - message) + 1) != 0) break;
    message = at + 1;
    if (strncmp(message, native, native_length) == 0) {
      if (cli_bytes_append(&fixed, file, strlen(file)) != 0) break;
      message += native_length;
    }
  }
  if (cli_bytes_append(&fixed, message, strlen(message)) != 0) {
    cli_file_error(file, tf_last_error());
  } else {
    cli_file_error(file, fixed.data);
  }
  cli_bytes_free(&fixed);
}

static void read_failed(const char* file, int error) {
  char message[256];
  snprintf(message, sizeof message, "cannot read its bytes: %s", strerror(error));
  cli_file_error(file, message);
}

/* Opens the bytes of the file at `native` for cli_raw_read; 0, or -1 after
 * reporting why not. */
static int open_raw(const char* file, const char* native, CliRaw* raw) {
  raw->in = fopen(native, "rb");
  if (raw->in != NULL) return 0;
  read_failed(file, errno);
  return -1;
}

/* A piece of the bytes streamed at a time: small enough to stay in the
 * cache, large enough that reading costs few calls. */
#define CLI_RAW_PIECE (256 * 1024)

int cli_raw_read(const char* file, CliRaw* raw, CliRawScan* scan, CliBytes* keep) {
  unsigned char* piece = NULL;
  int error = 0;
  if (keep != NULL) {
    keep->length = 0;
  } else if ((piece = malloc(CLI_RAW_PIECE)) == NULL) {
    error = ENOMEM;
  }
  while (error == 0) {
    size_t got;
    if (keep != NULL) {
      if (keep->capacity - keep->length < 65537 &&
          cli_bytes_reserve(keep, keep->capacity < 65536 ? 65536 : keep->capacity) != 0) {
        error = ENOMEM;
        break;
      }
      got = fread(keep->data + keep->length, 1, keep->capacity - keep->length - 1, raw->in);
      if (scan != NULL) cli_raw_scan_feed(scan, keep->data + keep->length, got);
      keep->length += got;
      keep->data[keep->length] = '\0';
    } else {
      got = fread(piece, 1, CLI_RAW_PIECE, raw->in);
      cli_raw_scan_feed(scan, piece, got);
    }
    if (got == 0) {
      if (ferror(raw->in)) error = errno != 0 ? errno : EIO;
      break;
    }
  }
  free(piece);
  if (error == 0) return 0;
  read_failed(file, error);
  return -1;
}

void cli_raw_close(CliRaw* raw) {
  if (raw->in != NULL) fclose(raw->in);
  raw->in = NULL;
  if (raw->spool) cli_stdin_release();
  raw->spool = 0;
}

/* tf_open on `path` (the operand `file` as the library is given it), and
 * `raw` opened on the same bytes when it is not NULL. */
static int open_at(const char* file, const char* path, CliRaw* raw) {
  const int handle = tf_open(path);
  if (handle < 0) {
    cli_library_error(file, path);
  } else if (raw != NULL && open_raw(file, path, raw) != 0) {
    tf_close(handle);
    return -1;
  }
  return handle;
}

/* The spool stays until the raw bytes are closed (on Windows it cannot be
 * removed while they are open). */
static int open_stdin(const char* file, CliRaw* raw) {
  static int read_already = 0;
  const char* why = NULL;
  const char* spool;
  int handle;
  if (read_already) {
    cli_file_error(file, "standard input can be read only once");
    return -1;
  }
  read_already = 1;
  spool = cli_stdin_spool(CLI_MAX_FILE_BYTES, &why);
  if (spool == NULL) {
    cli_file_error(file, why);
    return -1;
  }
  handle = open_at(file, spool, raw);
  if (raw != NULL && raw->in != NULL) {
    raw->spool = 1;
  } else {
    cli_stdin_release(); /* the library holds what it read */
  }
  return handle;
}

static int open_with_raw(const char* file, CliRaw* raw) {
  int handle;
  if (raw != NULL) {
    raw->in = NULL;
    raw->spool = 0;
  }
  if (cli_is_stdin(file)) return open_stdin(file, raw);
#if defined(_WIN32)
  {
    const char* why = NULL;
    char* native = cli_windows_path(file, 0, &why);
    if (native == NULL) {
      cli_file_error(file, why);
      return -1;
    }
    handle = open_at(file, native, raw);
    free(native);
  }
#else
  handle = open_at(file, file, raw);
#endif
  return handle;
}

int cli_open(const char* file) { return open_with_raw(file, NULL); }

int cli_open_raw_stream(const char* file, CliRaw* raw) { return open_with_raw(file, raw); }

char* cli_info_with_verdict(const char* file, CliVerdict* verdict) {
  CliRaw raw;
  CliRawScan scan;
  const int handle = cli_open_raw_stream(file, &raw);
  char* json;
  if (handle < 0) return NULL;
  cli_raw_scan_init(&scan, 0);
  if (cli_raw_read(file, &raw, &scan, NULL) != 0) {
    cli_raw_close(&raw);
    tf_close(handle);
    return NULL;
  }
  cli_raw_close(&raw);
  json = tf_info(handle);
  tf_close(handle);
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    return NULL;
  }
  *verdict = cli_raw_scan_verdict(&scan);
  return json;
}

char* cli_save_path(const char* file) {
  char* native;
#if defined(_WIN32)
  const char* why = NULL;
  native = cli_windows_path(file, 1, &why);
  if (native == NULL) cli_file_error(file, why);
#else
  native = malloc(strlen(file) + 1);
  if (native != NULL) {
    memcpy(native, file, strlen(file) + 1);
  } else {
    cli_file_error(file, "out of memory");
  }
#endif
  return native;
}
