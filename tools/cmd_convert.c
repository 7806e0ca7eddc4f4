/* convert: re-encode files through the library's save, which writes a
 * temporary file beside the target and then replaces the target with it in
 * one step. In place by default, or to -o OUT.
 *
 * The replaced file is a new file, so it would get the default permissions:
 * a private (0600) file converted in place would become readable by others.
 * The save therefore runs under the umask 077 (the new file is private from
 * the moment it exists) and the target then gets the permission bits the
 * file it replaced had, or the usual default for a new file. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "cli.h"
#include "quobrix_textfile.h"

/* tf_save keeping the permission bits of an existing target. */
static int save_keeping_mode(int handle, const char* target, const char* encoding) {
  struct stat before;
  const int existed = stat(target, &before) == 0 && S_ISREG(before.st_mode);
  const mode_t saved_umask = umask(077);
  const int saved = tf_save(handle, target, encoding);
  mode_t mode;
  umask(saved_umask);
  if (saved < 0) {
    cli_file_error(target, tf_last_error());
    return -1;
  }
  mode = existed ? (before.st_mode & 07777) : (0666 & ~saved_umask);
  if (chmod(target, mode) != 0) {
    char message[256];
    snprintf(message, sizeof message, "cannot set the permissions: %s", strerror(errno));
    cli_file_error(target, message);
    return -1;
  }
  return 0;
}

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
    if (save_keeping_mode(handle, target, encoding) != 0) status = CLI_FILE_FAILED;
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
    "A replaced file keeps its permission bits.\n"
    "\n"
    "Options:\n"
    "  -t, --to ENCODING   utf8, utf8-bom or utf16le (required)\n"
    "  -o, --output OUT    write to OUT instead of replacing FILE\n",
    convert_options,
    2,
    1,
    -1,
    run_convert};
