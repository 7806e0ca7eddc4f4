/* convert: re-encode files through the library's save, which writes a
 * temporary file beside the target and then replaces the target with it in
 * one step. In place by default, or to -o OUT. A file whose text the
 * library had to sanitize (bytes it could not decode became U+FFFD) is left
 * alone unless --lossy is given: writing it back would replace the original
 * bytes for good. */
#include <stdint.h>
#include <string.h>

#include "cli.h"
#include "quobrix_textfile.h"

static const char* const encodings[] = {"utf8", "utf8-bom", "utf16le"};

static const CliOption convert_options[] = {{"to", 't', 1}, {"output", 'o', 1}, {"lossy", 0, 0}};
enum { CONVERT_TO, CONVERT_OUTPUT, CONVERT_LOSSY };

#define CLI_MSG_SANITIZED                                                                \
  "the text holds replacement characters (U+FFFD) for bytes that could not be decoded; " \
  "converting would lose the original bytes (--lossy converts anyway)"

/* 1 when the open document's text was sanitized, 0 when not, -1 after
 * reporting a failure. */
static int is_sanitized(const char* file, int handle) {
  char* json = tf_info(handle);
  CliJson* info;
  int64_t sanitized = 0;
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    return -1;
  }
  info = cli_json_parse(json);
  tf_free_string(json);
  if (info == NULL || cli_json_int(info, "sanitized", &sanitized) != 0) {
    cli_json_free(info);
    cli_file_error(file, "unexpected result from tf_info");
    return -1;
  }
  cli_json_free(info);
  return sanitized != 0;
}

static int run_convert(const CliArgs* args) {
  const char* encoding = args->value[CONVERT_TO];
  const char* output = args->value[CONVERT_OUTPUT];
  int known = 0;
  int status = CLI_OK;
  if (encoding == NULL) return cli_usage_error(&cli_convert_command, "missing --to ENCODING");
  for (size_t i = 0; i < sizeof encodings / sizeof encodings[0]; ++i) {
    if (strcmp(encoding, encodings[i]) == 0) known = 1;
  }
  if (!known) {
    return cli_usage_error(&cli_convert_command,
                           "invalid encoding '%s' for --to (use utf8, utf8-bom or utf16le)",
                           encoding);
  }
  if (output != NULL && args->positional_count != 1) {
    return cli_usage_error(&cli_convert_command, "-o takes exactly one FILE");
  }
  for (int i = 0; i < args->positional_count; ++i) {
    const char* file = args->positional[i];
    const char* target = output != NULL ? output : file;
    const int handle = cli_open(file);
    if (handle < 0) {
      status = CLI_FILE_FAILED;
      continue;
    }
    if (args->value[CONVERT_LOSSY] == NULL) {
      const int sanitized = is_sanitized(file, handle);
      if (sanitized != 0) {
        if (sanitized > 0) cli_file_error(file, CLI_MSG_SANITIZED);
        status = CLI_FILE_FAILED;
        tf_close(handle);
        continue;
      }
    }
    if (tf_save(handle, target, encoding) < 0) {
      cli_file_error(target, tf_last_error());
      status = CLI_FILE_FAILED;
    }
    tf_close(handle);
  }
  return status;
}

const CliCommand cli_convert_command = {
    "convert",
    "FILE... --to ENC",
    "re-encode as utf8, utf8-bom or utf16le",
    "Usage: " CLI_PROGRAM
    " convert --to ENCODING [-o OUT] [--lossy] FILE...\n"
    "\n"
    "Writes the decoded text of each FILE back in ENCODING: utf8 (no byte-order\n"
    "mark), utf8-bom or utf16le (with its mark). The text is written as it is,\n"
    "line endings included. Each FILE is replaced in place, or, with -o, the\n"
    "one FILE is written to OUT. The new content goes to a temporary file\n"
    "beside the target first (\"TARGET.tmp\"), which then replaces the target in\n"
    "one step: the target holds either its old or its complete new content.\n"
    "A replaced file keeps its permission bits (the library's save sees to it).\n"
    "\n"
    "A FILE holding bytes that could not be decoded (\"sanitized\" in the info:\n"
    "the text shows U+FFFD in their place) is refused and left untouched, with\n"
    "exit status 1: converting it would replace those bytes for good.\n"
    "\n"
    "Options:\n"
    "  -t, --to ENCODING   utf8, utf8-bom or utf16le (required)\n"
    "  -o, --output OUT    write to OUT instead of replacing FILE\n"
    "  --lossy             convert a sanitized FILE anyway, U+FFFD included\n",
    convert_options,
    3,
    1,
    -1,
    run_convert};
