/* text: one page of the decoded text. */
#include <stdint.h>

#include "cli.h"
#include "quobrix_textfile.h"

/* Default page of `text`, in bytes. */
#define CLI_TEXT_DEFAULT_MAX_BYTES 65536

typedef struct TextArgs {
  int64_t offset;
  int64_t max_bytes;
} TextArgs;

static char* query_text(int handle, const void* context) {
  const TextArgs* args = context;
  return tf_text(handle, args->offset, (int32_t)args->max_bytes);
}

static const CliOption text_options[] = {{"offset", 0, 1}, {"max-bytes", 0, 1}, {"pretty", 0, 0}};
enum { TEXT_OFFSET, TEXT_MAX_BYTES, TEXT_PRETTY };

static int run_text(const CliArgs* args) {
  TextArgs text = {0, CLI_TEXT_DEFAULT_MAX_BYTES};
  if (args->value[TEXT_OFFSET] != NULL &&
      cli_parse_int(&cli_text_command, "offset", args->value[TEXT_OFFSET], INT64_MIN, INT64_MAX,
                    &text.offset) != 0) {
    return CLI_USAGE;
  }
  if (args->value[TEXT_MAX_BYTES] != NULL &&
      cli_parse_int(&cli_text_command, "max-bytes", args->value[TEXT_MAX_BYTES], INT32_MIN,
                    INT32_MAX, &text.max_bytes) != 0) {
    return CLI_USAGE;
  }
  return cli_print_query(args->positional[0], query_text, &text, args->value[TEXT_PRETTY] != NULL);
}

const CliCommand cli_text_command = {
    "text",
    "FILE",
    "one page of the decoded text, as JSON",
    "Usage: " CLI_PROGRAM
    " text [--offset N] [--max-bytes N] [--pretty] FILE\n"
    "\n"
    "Prints the library's tf_text result: {\"text\":...,\"next_offset\":...}, the\n"
    "page of at most N bytes of the decoded UTF-8 text that starts at byte\n"
    "--offset (default 0), and the offset just past it. --max-bytes defaults to\n"
    "65536. The page is cut at exactly those bytes; one that would start or end\n"
    "inside a character fails with \"failed to serialize JSON\". \"text\" ends at\n"
    "a 0x00 byte of the page. Use `cat` for the whole text.\n"
    "\n"
    "Options:\n"
    "  --offset N      first byte of the page (default 0)\n"
    "  --max-bytes N   most bytes in the page (default 65536)\n"
    "  --pretty        indent the JSON\n",
    text_options,
    3,
    1,
    1,
    run_text};
