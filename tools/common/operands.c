/* Operands that name files: standard input ("-", "/dev/stdin") is spooled to
 * a temporary file, since the library opens paths; on Windows an operand
 * arrives in UTF-8 and goes to the library in the ANSI code page. Messages
 * name the operand as it was given, never the path the library was handed. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
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

/* Appends the bytes of the file at `native` to `raw`; 0, or -1 after
 * reporting why not. */
static int read_raw(const char* file, const char* native, CliBytes* raw) {
  FILE* in = fopen(native, "rb");
  int error = 0;
  if (in == NULL) {
    error = errno;
  } else {
    for (;;) {
      size_t got;
      if (raw->capacity - raw->length < 65537 &&
          cli_bytes_reserve(raw, raw->capacity < 65536 ? 65536 : raw->capacity) != 0) {
        error = ENOMEM;
        break;
      }
      got = fread(raw->data + raw->length, 1, raw->capacity - raw->length - 1, in);
      raw->length += got;
      raw->data[raw->length] = '\0';
      if (got == 0) {
        if (ferror(in)) error = errno != 0 ? errno : EIO;
        break;
      }
    }
    fclose(in);
  }
  if (error != 0) {
    char message[256];
    snprintf(message, sizeof message, "cannot read its bytes: %s", strerror(error));
    cli_file_error(file, message);
    return -1;
  }
  return 0;
}

static int open_stdin(const char* file, CliBytes* raw) {
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
  /* The library holds what it read: the spool can go at once. */
  handle = tf_open(spool);
  if (handle < 0) {
    cli_library_error(file, spool);
  } else if (raw != NULL && read_raw(file, spool, raw) != 0) {
    tf_close(handle);
    handle = -1;
  }
  cli_stdin_release();
  return handle;
}

int cli_open(const char* file) { return cli_open_raw(file, NULL); }

int cli_open_raw(const char* file, CliBytes* raw) {
  int handle;
  if (raw != NULL) raw->length = 0;
  if (cli_is_stdin(file)) return open_stdin(file, raw);
#if defined(_WIN32)
  {
    const char* why = NULL;
    char* native = cli_windows_path(file, 0, &why);
    if (native == NULL) {
      cli_file_error(file, why);
      return -1;
    }
    handle = tf_open(native);
    if (handle < 0) {
      cli_library_error(file, native);
    } else if (raw != NULL && read_raw(file, native, raw) != 0) {
      tf_close(handle);
      handle = -1;
    }
    free(native);
  }
#else
  handle = tf_open(file);
  if (handle < 0) {
    cli_file_error(file, tf_last_error());
  } else if (raw != NULL && read_raw(file, file, raw) != 0) {
    tf_close(handle);
    handle = -1;
  }
#endif
  return handle;
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
