/* info: the library's tf_info result for each file, with the file's name
 * first and the tool's verdict on its bytes last. */
#include "cli.h"
#include "common/file_verdict.h"
#include "quobrix_textfile.h"

static const CliOption info_options[] = {{"pretty", 0, 0}};
enum { INFO_PRETTY };

static int info_one(const char* file, int pretty) {
  CliVerdict verdict = CLI_VERDICT_TEXT;
  char* json = cli_info_with_verdict(file, &verdict);
  int status = CLI_OK;
  if (json == NULL) return CLI_FILE_FAILED;
  if (cli_print_result_with(json, file, 1, pretty, "verdict", cli_verdict_id(verdict)) ==
      CLI_FILE_FAILED) {
    status = CLI_FILE_FAILED;
  }
  tf_free_string(json);
  return status;
}

static int run_info(const CliArgs* args) {
  int status = CLI_OK;
  for (int i = 0; i < args->positional_count && !out_stopped(); ++i) {
    if (info_one(args->positional[i], args->value[INFO_PRETTY] != NULL) != CLI_OK) {
      status = CLI_FILE_FAILED;
    }
  }
  return status;
}

const CliCommand cli_info_command = {
    "info",
    "FILE...",
    "what was detected, as JSON",
    "Usage: " CLI_PROGRAM
    " info [--pretty] FILE...\n"
    "\n"
    "Prints one JSON object per file and per line: \"path\" (the FILE as given),\n"
    "then the library's tf_info result (encoding, had_bom, line_ending, bytes,\n"
    "raw_bytes, lines, sanitized), then \"verdict\", the tool's own judgement\n"
    "of the file's bytes: \"text\"; \"binary\" (a 0x00 byte, or two or more\n"
    "control characters in a row other than tab, LF, CR, VT, FF, bell,\n"
    "backspace and escape, in a file that does not start with the UTF-16LE\n"
    "byte-order mark); or \"utf16le-no-bom\" / \"utf16be\" (0x00 bytes on one side of the\n"
    "byte pairs: UTF-16LE without a byte-order mark, or UTF-16BE, which the\n"
    "library does not read). convert never writes a file that is not \"text\".\n"
    "\n"
    "  " CLI_PROGRAM
    " info *.txt | jq -r 'select(.verdict != \"text\") | .path'\n"
    "\n"
    "Options:\n"
    "  --pretty   indent the JSON\n",
    info_options,
    1,
    1,
    -1,
    run_info};
