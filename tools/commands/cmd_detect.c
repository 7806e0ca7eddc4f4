/* detect: what a file is, one line per file. */
#include <stdio.h>
#include <string.h>

#include "cli.h"
#include "common/file_verdict.h"
#include "quobrix_textfile.h"

static const char* plural(int64_t n) { return n == 1 ? "" : "s"; }

/* "notes.txt: utf16le with BOM, crlf, 120 lines, 3456 bytes (raw 6914)" */
static int detect_one(const char* file) {
  CliVerdict verdict = CLI_VERDICT_TEXT;
  char* json = cli_info_with_verdict(file, &verdict);
  CliJson* info;
  const char* encoding;
  const char* line_ending;
  int64_t had_bom = 0, bytes = 0, raw_bytes = 0, lines = 0, sanitized = 0;
  int status = CLI_OK;
  if (json == NULL) return CLI_FILE_FAILED;
  info = cli_json_parse(json);
  tf_free_string(json);
  encoding = info != NULL ? cli_json_string(info, "encoding", NULL) : NULL;
  line_ending = info != NULL ? cli_json_string(info, "line_ending", NULL) : NULL;
  if (encoding == NULL || line_ending == NULL || cli_json_int(info, "had_bom", &had_bom) != 0 ||
      cli_json_int(info, "bytes", &bytes) != 0 ||
      cli_json_int(info, "raw_bytes", &raw_bytes) != 0 ||
      cli_json_int(info, "lines", &lines) != 0 ||
      cli_json_int(info, "sanitized", &sanitized) != 0) {
    cli_file_error(file, "unexpected result from tf_info");
    status = CLI_FILE_FAILED;
  } else {
    /* "utf8-bom" says so already; the mark is named for the others. */
    const int name_bom = had_bom != 0 && strcmp(encoding, "utf8-bom") != 0;
    out_printf("%s: %s%s, %s, %lld line%s, %lld byte%s (raw %lld)%s%s%s\n", file, encoding,
               name_bom ? " with BOM" : "", line_ending, (long long)lines, plural(lines),
               (long long)bytes, plural(bytes), (long long)raw_bytes,
               sanitized != 0 ? ", sanitized" : "", verdict != CLI_VERDICT_TEXT ? ", " : "",
               verdict != CLI_VERDICT_TEXT ? cli_verdict_name(verdict) : "");
  }
  cli_json_free(info);
  return status;
}

static int run_detect(const CliArgs* args) {
  int status = CLI_OK;
  for (int i = 0; i < args->positional_count && !out_stopped(); ++i) {
    if (detect_one(args->positional[i]) != CLI_OK) status = CLI_FILE_FAILED;
  }
  return status;
}

const CliCommand cli_detect_command = {
    "detect",
    "FILE...",
    "one line per file: encoding, line endings, sizes",
    "Usage: " CLI_PROGRAM
    " detect FILE...\n"
    "\n"
    "Prints one line per file with what was detected when it was read:\n"
    "\n"
    "  notes.txt: utf16le with BOM, crlf, 120 lines, 3456 bytes (raw 6914)\n"
    "\n"
    "the encoding (utf8, utf8-bom, utf16le or ansi), the line endings (lf, crlf,\n"
    "cr or mixed), the number of lines, the length of the text in UTF-8 and the\n"
    "length of the file on disk, \", sanitized\" when ill-formed input was\n"
    "replaced with U+FFFD, and the tool's verdict when the bytes are not text:\n"
    "\", binary\" (a 0x00 byte, or two or more control characters in a row\n"
    "other than tab, LF, CR, VT, FF, bell, backspace and escape, in a file that\n"
    "does not start with the UTF-16LE byte-order mark), \", UTF-16LE without a\n"
    "BOM?\" or \", UTF-16BE?\" (0x00 bytes on one side of the byte pairs: UTF-16\n"
    "that the library does not read). convert never writes such a file. A file\n"
    "that cannot be read is reported on stderr and the others are still\n"
    "processed; the exit status is 0 whatever the files hold.\n",
    NULL,
    0,
    1,
    -1,
    run_detect};
