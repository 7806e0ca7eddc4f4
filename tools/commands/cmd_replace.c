/* replace: the preview of a replace-all; the file is not changed. */
#include "cli.h"
#include "quobrix_textfile.h"

typedef struct ReplaceArgs {
  const char* find;
  const char* repl;
  int case_insensitive;
} ReplaceArgs;

static char* query_replace(int handle, const void* context) {
  const ReplaceArgs* args = context;
  return tf_replace_preview(handle, args->find, args->repl, args->case_insensitive);
}

static const CliOption replace_options[] = {{"ignore-case", 'i', 0}, {"pretty", 0, 0}};
enum { REPLACE_IGNORE_CASE, REPLACE_PRETTY };

static int run_replace(const CliArgs* args) {
  ReplaceArgs replace;
  replace.find = args->positional[1];
  replace.repl = args->positional[2];
  replace.case_insensitive = args->value[REPLACE_IGNORE_CASE] != NULL;
  return cli_print_query(args->positional[0], query_replace, &replace,
                         args->value[REPLACE_PRETTY] != NULL);
}

const CliCommand cli_replace_command = {
    "replace",
    "FILE FIND REPL",
    "preview of replacing every FIND by REPL, as JSON",
    "Usage: " CLI_PROGRAM
    " replace [-i] [--pretty] FILE FIND REPL\n"
    "\n"
    "Prints the library's tf_replace_preview result: {\"count\":...,\"text\":...},\n"
    "the number of replacements and the text after replacing every occurrence\n"
    "of FIND by REPL, left to right. The file is not changed. A text longer\n"
    "than 1 MiB is cut, and \"truncated\":true is added.\n"
    "\n"
    "Options:\n"
    "  -i, --ignore-case   fold the ASCII letters A-Z when matching\n"
    "  --pretty            indent the JSON\n",
    replace_options,
    2,
    3,
    3,
    run_replace};
