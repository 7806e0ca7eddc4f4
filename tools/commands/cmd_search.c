/* search prints the library's hits as JSON, or, with
 * --lines, one line per hit like `grep -n`: "FILE:LINE:COL: the line's
 * text"; one walk over the text that tf_text pages out gives the lines,
 * the columns and the lines' text (the same numbers tf_linecol gives, at a
 * cost linear in the text rather than per hit): the tool decodes nothing
 * itself. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "quobrix_textfile.h"

/* Bytes asked for at a time while walking the text. */
#define CLI_WALK_PAGE 65536

typedef struct SearchArgs {
  const char* query;
  int case_insensitive;
  int max_hits;
} SearchArgs;

static char* query_search(int handle, const void* context) {
  const SearchArgs* args = context;
  return tf_search(handle, args->query, args->case_insensitive, args->max_hits);
}

/* One walk over the decoded text, front to back, page by page, for hits in
 * ascending order. It keeps the bytes from the start of the current line
 * on, which is enough to count the line breaks before each hit the way the
 * library counts them (LF, a lone CR, CR LF once; the offset between a CR
 * and its LF already starts the next line) and to print the hit's line. */
typedef struct LineWalker {
  int handle;
  CliBytes kept; /* text bytes [kept_at, kept_at + kept.length) */
  int64_t kept_at;
  int at_end;         /* the last page has been read */
  int64_t pos;        /* the breaks before pos are counted */
  int64_t line;       /* 1-based line of pos */
  int64_t line_start; /* where that line starts */
  int64_t line_end;   /* its first LF or CR (or the text's end); -1 until found */
  unsigned char prev; /* the byte before pos */
} LineWalker;

static int64_t walker_end(const LineWalker* w) { return w->kept_at + (int64_t)w->kept.length; }

/* Appends the next page; 1 when bytes came, 0 at the end of the text, -1 on
 * failure. Bytes before the current line are dropped once they are the
 * larger part, so a long line is moved only a few times. */
static int walker_read(LineWalker* w, const char** why) {
  const size_t dead = (size_t)(w->line_start - w->kept_at);
  int64_t consumed;
  if (w->at_end) return 0;
  if (dead > 0 && dead >= w->kept.length - dead) {
    memmove(w->kept.data, w->kept.data + dead, w->kept.length - dead);
    w->kept.length -= dead;
    w->kept_at = w->line_start;
  }
  consumed = cli_read_page(w->handle, walker_end(w), CLI_WALK_PAGE, &w->kept, why);
  if (consumed < 0) return -1;
  if (consumed == 0) w->at_end = 1;
  return consumed > 0;
}

/* Counts the breaks up to `target`. */
static int walker_advance(LineWalker* w, int64_t target, const char** why) {
  while (w->pos < target) {
    const int64_t stop = target < walker_end(w) ? target : walker_end(w);
    for (; w->pos < stop; ++w->pos) {
      const unsigned char b = (unsigned char)w->kept.data[w->pos - w->kept_at];
      if (b == '\r' || b == '\n') {
        if (b == '\r' || w->prev != '\r') ++w->line;
        w->line_start = w->pos + 1;
        w->line_end = -1;
      }
      w->prev = b;
    }
    if (w->pos < target) {
      const int got = walker_read(w, why);
      if (got < 0) return -1;
      if (got == 0) break;
    }
  }
  return 0;
}

/* Finds the end of the current line's text: its first LF or CR. */
static int walker_find_line_end(LineWalker* w, const char** why) {
  int64_t i = w->pos;
  if (w->line_end >= 0) return 0;
  for (;;) {
    for (; i < walker_end(w); ++i) {
      const char b = w->kept.data[i - w->kept_at];
      if (b == '\n' || b == '\r') {
        w->line_end = i;
        return 0;
      }
    }
    const int got = walker_read(w, why);
    if (got < 0) return -1;
    if (got == 0) {
      w->line_end = walker_end(w);
      return 0;
    }
  }
}

/* Prints one line for each of the first `most` hits; returns CLI_OK or
 * CLI_FILE_FAILED. */
static int print_hit_lines(const char* file, int handle, const CliJson* result, size_t most) {
  int64_t* offsets = NULL;
  size_t count = 0;
  LineWalker walker = {handle, {NULL, 0, 0}, 0, 0, 0, 1, 0, -1, 0};
  int status = CLI_OK;
  if (cli_json_array_ints(result, "hits", "offset", &offsets, &count) != 0) {
    cli_file_error(file, "unexpected result from tf_search");
    return CLI_FILE_FAILED;
  }
  if (count > most) count = most;
  for (size_t i = 0; i < count && !out_stopped(); ++i) {
    const char* why = NULL;
    if (offsets[i] < walker.pos || walker_advance(&walker, offsets[i], &why) != 0 ||
        walker.pos != offsets[i] || walker_find_line_end(&walker, &why) != 0) {
      cli_file_error(file, why != NULL ? why : "unexpected result from tf_search");
      status = CLI_FILE_FAILED;
      break;
    }
    /* The column counts bytes from the start of the line. */
    if (out_printf("%s:%lld:%lld: ", file, (long long)walker.line,
                   (long long)(walker.pos - walker.line_start + 1)) != 0 ||
        out_write(walker.kept.data + (walker.line_start - walker.kept_at),
                  (size_t)(walker.line_end - walker.line_start)) != 0 ||
        out_write("\n", 1) != 0) {
      break;
    }
  }
  cli_bytes_free(&walker.kept);
  free(offsets);
  return status;
}

static const CliOption search_options[] = {
    {"ignore-case", 'i', 0}, {"max-hits", 0, 1}, {"lines", 0, 0}, {"pretty", 0, 0}};
enum { SEARCH_IGNORE_CASE, SEARCH_MAX_HITS, SEARCH_LINES, SEARCH_PRETTY };

/* The library's hit limits. */
#define CLI_DEFAULT_HITS 100
#define CLI_MOST_HITS 100000

/* The limit that max_hits gives, as the library applies it. */
static int hit_limit(int64_t max_hits) {
  if (max_hits <= 0) return CLI_DEFAULT_HITS;
  return max_hits > CLI_MOST_HITS ? CLI_MOST_HITS : (int)max_hits;
}

static char fold(char c, int case_insensitive) {
  return case_insensitive && c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

/* Non-zero when two hits of `query` can overlap: a proper prefix of it is
 * also a suffix ("aa", "abca"). */
static int overlaps_itself(const char* query, int case_insensitive) {
  const size_t length = strlen(query);
  for (size_t shift = 1; shift < length; ++shift) {
    size_t i = 0;
    while (i + shift < length &&
           fold(query[i], case_insensitive) == fold(query[i + shift], case_insensitive)) {
      ++i;
    }
    if (i + shift == length) return 1;
  }
  return 0;
}

/* Past the library's most hits, the count of a replace-all (which counts
 * every match, left to right, none overlapping) tells whether there are
 * more: exactly when hits cannot overlap, else only when it is larger. */
static void say_cut_at_the_most(const char* file, int handle, const SearchArgs* search) {
  char* json = tf_replace_preview(handle, search->query, "", search->case_insensitive);
  CliJson* result = json != NULL ? cli_json_parse(json) : NULL;
  const int overlapping = overlaps_itself(search->query, search->case_insensitive);
  int64_t all = -1;
  char message[200];
  if (result == NULL || cli_json_int(result, "count", &all) != 0) all = -1;
  cli_json_free(result);
  if (json != NULL) tf_free_string(json);
  if (all > CLI_MOST_HITS) {
    snprintf(message, sizeof message,
             "stopped after %d hits, the most the library reports; there are %s%lld", CLI_MOST_HITS,
             overlapping ? "at least " : "", (long long)all);
  } else if (all < 0 || overlapping) {
    snprintf(message, sizeof message,
             "stopped after %d hits, the most the library reports; there may be more",
             CLI_MOST_HITS);
  } else {
    return; /* all of them were shown */
  }
  cli_file_error(file, message);
}

/* search --lines: one hit more than the limit is asked for, so that a cut is
 * known and said, never silent; at the library's maximum, where none more can
 * be had, a replace-all's count tells. */
static int search_lines(const char* file, SearchArgs search_args) {
  SearchArgs* search = &search_args;
  const int limit = search->max_hits;
  const int handle = cli_open(file);
  CliJson* result;
  int64_t count = 0;
  char* json;
  int status;
  if (handle < 0) return CLI_FILE_FAILED;
  search->max_hits = limit < CLI_MOST_HITS ? limit + 1 : limit;
  json = query_search(handle, search);
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    tf_close(handle);
    return CLI_FILE_FAILED;
  }
  result = cli_json_parse(json);
  if (result == NULL || cli_json_int(result, "count", &count) != 0) {
    cli_file_error(file, "unexpected result from tf_search");
    status = CLI_FILE_FAILED;
  } else {
    status = print_hit_lines(file, handle, result, (size_t)(count > limit ? limit : count));
  }
  cli_json_free(result);
  tf_free_string(json);
  if (status == CLI_OK && !out_stopped() && count > limit) {
    char message[200];
    snprintf(message, sizeof message,
             "stopped after %d hit%s; there are more (--max-hits N shows up to N, at most %d)",
             limit, limit == 1 ? "" : "s", CLI_MOST_HITS);
    cli_file_error(file, message);
  } else if (status == CLI_OK && !out_stopped() && limit == CLI_MOST_HITS && count == limit) {
    say_cut_at_the_most(file, handle, search);
  }
  tf_close(handle);
  return status;
}

static int run_search(const CliArgs* args) {
  const int files = args->positional_count - 1;
  SearchArgs search;
  int64_t max_hits = 0;
  int status = CLI_OK;
  const int lines = args->value[SEARCH_LINES] != NULL;
  if (args->value[SEARCH_MAX_HITS] != NULL &&
      cli_parse_int(&cli_search_command, "max-hits", args->value[SEARCH_MAX_HITS], INT32_MIN,
                    INT32_MAX, &max_hits) != 0) {
    return CLI_USAGE;
  }
  search.query = args->positional[files];
  search.case_insensitive = args->value[SEARCH_IGNORE_CASE] != NULL;
  search.max_hits = (int)max_hits;
  /* Lines are for reading through: all of them, up to the library's most. */
  if (lines) {
    search.max_hits = args->value[SEARCH_MAX_HITS] != NULL ? hit_limit(max_hits) : CLI_MOST_HITS;
  }
  for (int i = 0; i < files && !out_stopped(); ++i) {
    const char* file = args->positional[i];
    const int done = lines ? search_lines(file, search)
                           : cli_print_query_for(file, query_search, &search, files > 1,
                                                 args->value[SEARCH_PRETTY] != NULL);
    if (done != CLI_OK) status = CLI_FILE_FAILED;
  }
  return status;
}

const CliCommand cli_search_command = {
    "search",
    "FILE... QUERY",
    "byte offsets of QUERY as JSON, or grep-like lines",
    "Usage: " CLI_PROGRAM
    " search [-i] [--max-hits N] [--lines | --pretty] FILE... QUERY\n"
    "\n"
    "Prints the library's tf_search result for each FILE: {\"count\":...,\n"
    "\"query_len\":...,\"hits\":[{\"offset\":...,\"length\":...},...]}, the byte\n"
    "offsets of QUERY in the decoded UTF-8 text, overlapping occurrences\n"
    "included; with several FILEs each object starts with a \"path\" member.\n"
    "QUERY is the last operand. With --lines, prints one line per hit instead,\n"
    "like grep -n:\n"
    "\n"
    "  FILE:LINE:COL: the line's text\n"
    "\n"
    "where COL counts bytes from the start of the line. --lines shows every hit\n"
    "up to the library's most, 100000, unless --max-hits is given; when the\n"
    "limit cut the hits short, stderr says so (exit status 0). --max-hits\n"
    "counts per FILE. FILE \"-\" reads standard input.\n"
    "\n"
    "Options:\n"
    "  -i, --ignore-case   fold the ASCII letters A-Z when matching\n"
    "  --max-hits N        report at most N hits (0: the library's 100; at\n"
    "                      most 100000; --lines: 100000 when not given)\n"
    "  --lines             one line per hit instead of JSON\n"
    "  --pretty            indent the JSON\n",
    search_options,
    4,
    2,
    -1,
    run_search};
