/* stats: the library's tf_stats result for each file. */
#include "cli.h"
#include "quobrix_textfile.h"

static const CliOption stats_options[] = {{"pretty", 0, 0}};
enum { STATS_PRETTY };

static int run_stats(const CliArgs* args) {
  return cli_print_per_file(args, tf_stats, args->value[STATS_PRETTY] != NULL);
}

const CliCommand cli_stats_command = {
    "stats",
    "FILE...",
    "lines, words, characters and bytes, as JSON",
    "Usage: " CLI_PROGRAM
    " stats [--pretty] FILE...\n"
    "\n"
    "Prints the library's tf_stats result for each file, one JSON object per\n"
    "line: lines, words, chars (code points) and bytes of the decoded UTF-8\n"
    "text. With several files each object starts with a \"path\" member.\n"
    "\n"
    "Options:\n"
    "  --pretty   indent the JSON\n",
    stats_options,
    1,
    1,
    -1,
    run_stats};
