/* linecol: the line and column of a byte offset. */
#include <stdint.h>

#include "cli.h"
#include "quobrix_textfile.h"

static char* query_linecol(int handle, const void* context) {
  return tf_linecol(handle, *(const int64_t*)context);
}

static const CliOption linecol_options[] = {{"pretty", 0, 0}};
enum { LINECOL_PRETTY };

static int run_linecol(const CliArgs* args) {
  int64_t offset = 0;
  if (cli_parse_int(&cli_linecol_command, "offset", args->positional[1], INT64_MIN, INT64_MAX,
                    &offset) != 0) {
    return CLI_USAGE;
  }
  return cli_print_query(args->positional[0], query_linecol, &offset,
                         args->value[LINECOL_PRETTY] != NULL);
}

const CliCommand cli_linecol_command = {
    "linecol",
    "FILE OFFSET",
    "line and column of a byte offset, as JSON",
    "Usage: " CLI_PROGRAM
    " linecol [--pretty] FILE OFFSET\n"
    "\n"
    "Prints the library's tf_linecol result: the 1-based line and column of the\n"
    "byte OFFSET in the decoded UTF-8 text, e.g. {\"line\":2,\"col\":5}. Columns\n"
    "count bytes from the start of the line. An OFFSET before the start or past\n"
    "the end is taken as the start or the end.\n"
    "\n"
    "Options:\n"
    "  --pretty   indent the JSON\n",
    linecol_options,
    1,
    2,
    2,
    run_linecol};
