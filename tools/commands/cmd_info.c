/* info: the library's tf_info result for each file. */
#include "cli.h"
#include "quobrix_textfile.h"

static const CliOption info_options[] = {{"pretty", 0, 0}};
enum { INFO_PRETTY };

static int run_info(const CliArgs* args) {
  return cli_print_per_file(args, tf_info, args->value[INFO_PRETTY] != NULL);
}

const CliCommand cli_info_command = {
    "info",
    "FILE...",
    "what was detected, as JSON",
    "Usage: " CLI_PROGRAM
    " info [--pretty] FILE...\n"
    "\n"
    "Prints the library's tf_info result for each file, one JSON object per\n"
    "line: encoding, had_bom, line_ending, bytes, raw_bytes, lines, sanitized.\n"
    "With several files each object starts with a \"path\" member.\n"
    "\n"
    "Options:\n"
    "  --pretty   indent the JSON\n",
    info_options,
    1,
    1,
    -1,
    run_info};
