/* convert: re-encode files through the library's save, which writes a
 * temporary file beside the target and then replaces the target with it in
 * one step. In place by default, or to -o OUT. */
#include <string.h>

#include "cli.h"
#include "quobrix_textfile.h"

static const char* const encodings[] = {"utf8", "utf8-bom", "utf16le"};

static const CliOption convert_options[] = {{"to", 't', 1}, {"output", 'o', 1}};
enum { CONVERT_TO, CONVERT_OUTPUT };

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
    " convert --to ENCODING [-o OUT] FILE...\n"
    "\n"
    "Writes the decoded text of each FILE back in ENCODING: utf8 (no byte-order\n"
    "mark), utf8-bom or utf16le (with its mark). The text is written as it is,\n"
    "line endings included. Each FILE is replaced in place, or, with -o, the\n"
    "one FILE is written to OUT. The new content goes to a temporary file\n"
    "beside the target first (\"TARGET.tmp\"), which then replaces the target in\n"
    "one step: the target holds either its old or its complete new content.\n"
    "A replaced file keeps its permission bits (the library's save sees to it).\n"
    "\n"
    "Options:\n"
    "  -t, --to ENCODING   utf8, utf8-bom or utf16le (required)\n"
    "  -o, --output OUT    write to OUT instead of replacing FILE\n",
    convert_options,
    2,
    1,
    -1,
    run_convert};
