/* search and replace. search prints the library's hits as JSON, or, with
 * --lines, one line per hit like `grep -n`: "FILE:LINE:COL: the line's
 * text"; lines and columns come from tf_linecol and the line's text from
 * tf_text: the tool decodes nothing itself. replace prints the preview of a
 * replace-all. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "quobrix_textfile.h"

/* Bytes asked for at a time while reading a line. */
#define CLI_LINE_CHUNK 4096

typedef struct SearchArgs {
  const char* query;
  int case_insensitive;
  int max_hits;
} SearchArgs;

typedef struct ReplaceArgs {
  const char* find;
  const char* repl;
  int case_insensitive;
} ReplaceArgs;

static char* query_search(int handle, const void* context) {
  const SearchArgs* args = context;
  return tf_search(handle, args->query, args->case_insensitive, args->max_hits);
}

static char* query_replace(int handle, const void* context) {
  const ReplaceArgs* args = context;
  return tf_replace_preview(handle, args->find, args->repl, args->case_insensitive);
}

/* The first line break (LF or CR) in bytes [from, length), or length. */
static size_t find_break(const CliBytes* bytes, size_t from) {
  for (size_t i = from; i < bytes->length; ++i) {
    if (bytes->data[i] == '\n' || bytes->data[i] == '\r') return i;
  }
  return bytes->length;
}

/* Reads the line that starts at `start` into `line`, without its break. */
static int read_line(int handle, int64_t start, CliBytes* line, const char** why) {
  int64_t offset = start;
  line->length = 0;
  for (;;) {
    const size_t from = line->length;
    const int64_t consumed = cli_read_page(handle, offset, CLI_LINE_CHUNK, line, why);
    size_t end;
    if (consumed < 0) return -1;
    end = find_break(line, from);
    if (consumed == 0 || end < line->length) {
      line->length = end;
      return 0;
    }
    offset += consumed;
  }
}

/* Prints one line per hit; returns CLI_OK or CLI_FILE_FAILED. */
static int print_hit_lines(const char* file, int handle, const char* json) {
  CliJson* result = cli_json_parse(json);
  int64_t* offsets = NULL;
  size_t count = 0;
  CliBytes line = {NULL, 0, 0};
  int64_t line_start = -1;
  int status = CLI_OK;
  if (result == NULL || cli_json_array_ints(result, "hits", "offset", &offsets, &count) != 0) {
    cli_file_error(file, "unexpected result from tf_search");
    cli_json_free(result);
    return CLI_FILE_FAILED;
  }
  for (size_t i = 0; i < count && !out_stopped(); ++i) {
    char* json_position = tf_linecol(handle, offsets[i]);
    CliJson* position;
    int64_t number = 0, column = 0;
    const char* why = NULL;
    if (json_position == NULL) {
      cli_file_error(file, tf_last_error());
      status = CLI_FILE_FAILED;
      break;
    }
    position = cli_json_parse(json_position);
    tf_free_string(json_position);
    if (position == NULL || cli_json_int(position, "line", &number) != 0 ||
        cli_json_int(position, "col", &column) != 0 || column < 1 || column - 1 > offsets[i]) {
      cli_json_free(position);
      cli_file_error(file, "unexpected result from tf_linecol");
      status = CLI_FILE_FAILED;
      break;
    }
    cli_json_free(position);
    /* The column counts bytes from the start of the line. */
    if (offsets[i] - (column - 1) != line_start) {
      line_start = offsets[i] - (column - 1);
      if (read_line(handle, line_start, &line, &why) != 0) {
        cli_file_error(file, why);
        status = CLI_FILE_FAILED;
        break;
      }
    }
    if (out_printf("%s:%lld:%lld: ", file, (long long)number, (long long)column) != 0 ||
        out_write(line.data, line.length) != 0 || out_write("\n", 1) != 0) {
      break;
    }
  }
  cli_bytes_free(&line);
  free(offsets);
  cli_json_free(result);
  return status;
}

static const CliOption search_options[] = {
    {"ignore-case", 'i', 0}, {"max-hits", 0, 1}, {"lines", 0, 0}, {"pretty", 0, 0}};
enum { SEARCH_IGNORE_CASE, SEARCH_MAX_HITS, SEARCH_LINES, SEARCH_PRETTY };

static int run_search(const CliArgs* args) {
  const char* file = args->positional[0];
  SearchArgs search;
  int64_t max_hits = 0;
  int handle;
  char* json;
  int status;
  if (args->value[SEARCH_MAX_HITS] != NULL &&
      cli_parse_int(&cli_search_command, "max-hits", args->value[SEARCH_MAX_HITS], INT32_MIN,
                    INT32_MAX, &max_hits) != 0) {
    return CLI_USAGE;
  }
  search.query = args->positional[1];
  search.case_insensitive = args->value[SEARCH_IGNORE_CASE] != NULL;
  search.max_hits = (int)max_hits;
  if (args->value[SEARCH_LINES] == NULL) {
    return cli_print_query(file, query_search, &search, args->value[SEARCH_PRETTY] != NULL);
  }
  handle = cli_open(file);
  if (handle < 0) return CLI_FILE_FAILED;
  json = query_search(handle, &search);
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    status = CLI_FILE_FAILED;
  } else {
    status = print_hit_lines(file, handle, json);
    tf_free_string(json);
  }
  tf_close(handle);
  return status;
}

const CliCommand cli_search_command = {
    "search",
    "FILE QUERY",
    "byte offsets of QUERY as JSON, or grep-like lines",
    "Usage: " CLI_PROGRAM
    " search [-i] [--max-hits N] [--lines | --pretty] FILE QUERY\n"
    "\n"
    "Prints the library's tf_search result: {\"count\":...,\"query_len\":...,\n"
    "\"hits\":[{\"offset\":...,\"length\":...},...]}, the byte offsets of QUERY in\n"
    "the decoded UTF-8 text, overlapping occurrences included. With --lines,\n"
    "prints one line per hit instead, like grep -n:\n"
    "\n"
    "  FILE:LINE:COL: the line's text\n"
    "\n"
    "where COL counts bytes from the start of the line.\n"
    "\n"
    "Options:\n"
    "  -i, --ignore-case   fold the ASCII letters A-Z when matching\n"
    "  --max-hits N        report at most N hits (0: the library's 100; at\n"
    "                      most 100000)\n"
    "  --lines             one line per hit instead of JSON\n"
    "  --pretty            indent the JSON\n",
    search_options,
    4,
    2,
    2,
    run_search};

/* ---- replace ------------------------------------------------------------ */

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
