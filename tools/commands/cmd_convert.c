/* convert: re-encode files, in place or to -o OUT, through the rewrite that
 * every command writing files shares (common/rewrite.h: what is refused,
 * what is left alone, how the save stays atomic). This file reads the
 * options and says what they mean. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "common/file_verdict.h"
#include "common/rewrite.h"
#include "quobrix_textfile.h"

static const CliOption convert_options[] = {
    {"to", 't', 1}, {"output", 'o', 1}, {"lossy", 0, 0},   {"from-ansi", 0, 0},
    {"ansi", 0, 1}, {"eol", 0, 1},      {"dry-run", 0, 0},
};
enum {
  CONVERT_TO,
  CONVERT_OUTPUT,
  CONVERT_LOSSY,
  CONVERT_FROM_ANSI,
  CONVERT_ANSI,
  CONVERT_EOL,
  CONVERT_DRY_RUN
};

static int run_convert(const CliArgs* args) {
  const char* name = args->value[CONVERT_TO];
  CliRewrite plan;
  CliBytes raw = {NULL, 0, 0};
  int status = CLI_OK;
  memset(&plan, 0, sizeof plan);
  if (name == NULL) return cli_usage_error(&cli_convert_command, "missing --to ENCODING");
  plan.encoding = cli_encoding_name(name);
  if (plan.encoding == NULL) {
    return cli_usage_error(&cli_convert_command,
                           "invalid encoding '%s' for --to (use utf8, utf8-bom or utf16le)", name);
  }
  if (args->value[CONVERT_EOL] != NULL) {
    plan.eol = cli_eol_name(args->value[CONVERT_EOL]);
    if (plan.eol == NULL) {
      return cli_usage_error(&cli_convert_command,
                             "invalid line ending '%s' for --eol (use lf, crlf or cr)",
                             args->value[CONVERT_EOL]);
    }
  }
  if (args->value[CONVERT_ANSI] != NULL && cli_ansi_page(args->value[CONVERT_ANSI], &plan.page)) {
    return cli_usage_error(&cli_convert_command,
                           "invalid code page '%s' for --ansi (use latin1 or cp1252)",
                           args->value[CONVERT_ANSI]);
  }
  plan.lossy = args->value[CONVERT_LOSSY] != NULL;
  plan.from_ansi = args->value[CONVERT_FROM_ANSI] != NULL;
  plan.dry_run = args->value[CONVERT_DRY_RUN] != NULL;
  plan.output = args->value[CONVERT_OUTPUT];
  if (plan.output != NULL && args->positional_count != 1) {
    return cli_usage_error(&cli_convert_command, "-o takes exactly one FILE");
  }
  if (plan.output == NULL) {
    for (int i = 0; i < args->positional_count; ++i) {
      if (cli_is_stdin(args->positional[i])) {
        return cli_usage_error(&cli_convert_command,
                               "standard input cannot be converted in place (use -o OUT)");
      }
    }
  }
  for (int i = 0; i < args->positional_count && !out_stopped(); ++i) {
    const CliRewritten done = cli_rewrite_file(&plan, args->positional[i], &raw);
    if (done == CLI_REWRITE_REFUSED || done == CLI_REWRITE_FAILED) status = CLI_FILE_FAILED;
  }
  cli_bytes_free(&raw);
  return status;
}

const CliCommand cli_convert_command = {
    "convert",
    "FILE... --to ENC",
    "re-encode as utf8, utf8-bom or utf16le",
    "Usage: " CLI_PROGRAM
    " convert --to ENCODING [--eol lf|crlf|cr] [--ansi latin1|cp1252]\n"
    "                         [-o OUT] [--dry-run] [--lossy] [--from-ansi] FILE...\n"
    "\n"
    "Writes the decoded text of each FILE back in ENCODING: utf8 (no byte-order\n"
    "mark), utf8-bom or utf16le (with its mark); the names may be written in\n"
    "either case and with the usual separators (UTF-8, utf-8-bom, UTF-16LE).\n"
    "The text is written as it is, line endings included, unless --eol names\n"
    "the line ending every break (LF, CR LF, a lone CR) is to have. Each FILE\n"
    "is replaced in place, or, with -o, the one FILE is written to OUT; FILE\n"
    "\"-\" reads standard input, which needs -o. The new content goes to a\n"
    "temporary file beside the target first (\"TARGET.tmp\"), which then\n"
    "replaces the target in one step: the target holds either its old or its\n"
    "complete new content. A replaced file keeps its permission bits. A FILE\n"
    "already in the form asked for (same encoding and byte-order mark, same\n"
    "line endings) is not rewritten: it keeps its inode and its times.\n"
    "--dry-run prints what would be done, one line per FILE, and changes\n"
    "nothing:\n"
    "\n"
    "  notes.txt: ansi (cp1252), crlf -> utf8, lf\n"
    "  done.txt: utf8, lf, unchanged\n"
    "\n"
    "These FILEs are refused and left untouched, with exit status 1:\n"
    "\n"
    "- a binary one (\"FILE: binary file, not converted\"): a 0x00 byte, or\n"
    "  two or more control characters in a row other than tab, LF, CR, VT, FF,\n"
    "  bell, backspace and escape, in a file that does not start with the\n"
    "  UTF-16LE byte-order mark; or UTF-16LE without a byte-order mark, or\n"
    "  UTF-16BE;\n"
    "- one holding bytes that could not be decoded (\"sanitized\" in the info:\n"
    "  the text shows U+FFFD in their place): converting it would replace\n"
    "  those bytes for good (--lossy converts anyway);\n"
    "- an \"ansi\" one (read as one character per byte) that holds a\n"
    "  well-formed UTF-8 sequence of 2 to 4 bytes: that is UTF-8 with a few\n"
    "  bad bytes (a cut download, say), and converting it would encode its\n"
    "  UTF-8 twice (--from-ansi converts anyway). Single-byte text hardly ever\n"
    "  holds such a sequence;\n"
    "- an \"ansi\" one holding bytes 80-9F, until --ansi names its code page:\n"
    "  those bytes are control characters in Latin-1 (ISO-8859-1) and\n"
    "  punctuation in Windows-1252 (the euro sign, curly quotes, dashes...).\n"
    "  Windows-1252 leaves 81, 8D, 8F, 90 and 9D undefined: a FILE holding one\n"
    "  is refused with --ansi cp1252.\n"
    "\n"
    "Options:\n"
    "  -t, --to ENCODING    utf8, utf8-bom or utf16le (required)\n"
    "  --eol lf|crlf|cr     write every line break as LF, CR LF or CR\n"
    "  --ansi latin1|cp1252 the code page of \"ansi\" FILEs\n"
    "  -o, --output OUT     write to OUT instead of replacing FILE\n"
    "  --dry-run            print what would be done, change nothing\n"
    "  --lossy              convert a sanitized FILE anyway, U+FFFD included\n"
    "  --from-ansi          convert an ansi FILE that looks like UTF-8 anyway,\n"
    "                       one character per byte\n",
    convert_options,
    7,
    1,
    -1,
    run_convert};
