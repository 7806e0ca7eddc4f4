/* The quobrix-textfile command-line tool: a thin program over the public C
 * API. This header is shared by its source files: the subcommands
 * (commands/cmd_*.c, one file per command), the helpers they share
 * (common/: argument parsing, output and error reporting, operands, JSON
 * results, byte buffers, paging through a document's text, encodings) and
 * the platform's own pieces (platform/). */
#ifndef QUOBRIX_TEXTFILE_CLI_H
#define QUOBRIX_TEXTFILE_CLI_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#define CLI_PROGRAM "quobrix-textfile"

/* Exit statuses. */
#define CLI_OK 0
#define CLI_FILE_FAILED 1
#define CLI_USAGE 2

/* The library's message for a result it could not write as JSON: for tf_text
 * this means the page would end inside a character. */
#define CLI_MSG_SERIALIZE_FAILED "failed to serialize JSON"

/* ===== Subcommands and their arguments ================================== */

#define CLI_MAX_OPTIONS 12

typedef struct CliOption {
  const char* name; /* long name, without "--" */
  char short_name;  /* single-letter name, 0 when there is none */
  int takes_value;  /* 1: "--name VALUE" or "--name=VALUE" */
} CliOption;

typedef struct CliArgs {
  const char* const* positional;
  int positional_count;
  /* value[i] belongs to option i of the command: NULL when absent, "" for a
   * flag that was given, else the option's value (the last one given). */
  const char* value[CLI_MAX_OPTIONS];
} CliArgs;

typedef struct CliCommand {
  const char* name;
  const char* synopsis; /* arguments, for the tool's --help */
  const char* summary;  /* one line, for the tool's --help */
  const char* help;     /* the whole text of "COMMAND --help" */
  const CliOption* options;
  int option_count;
  int min_positional;
  int max_positional; /* -1: no upper bound */
  int (*run)(const CliArgs* args);
} CliCommand;

extern const CliCommand cli_detect_command;
extern const CliCommand cli_info_command;
extern const CliCommand cli_stats_command;
extern const CliCommand cli_linecol_command;
extern const CliCommand cli_text_command;
extern const CliCommand cli_search_command;
extern const CliCommand cli_replace_command;
extern const CliCommand cli_cat_command;
extern const CliCommand cli_convert_command;
extern const CliCommand cli_check_command;

/* Parses the arguments that follow the command name. Returns 0, 1 when help
 * was asked for, or CLI_USAGE after reporting the problem. `positional` must
 * have room for argc pointers. */
int cli_parse_args(const CliCommand* command, int argc, char** argv, const char** positional,
                   CliArgs* out);

/* Parses a decimal integer in [min, max]; on anything else reports a usage
 * error naming `what` and returns CLI_USAGE, else 0. */
int cli_parse_int(const CliCommand* command, const char* what, const char* text, int64_t min,
                  int64_t max, int64_t* out);

/* ===== Output and errors ================================================ */

/* Writes to stdout. Once writing has failed, every later call returns -1 at
 * once: a reader that went away (EPIPE) ends the output quietly, any other
 * error is reported once on stderr. */
int out_write(const void* data, size_t length);
int out_text(const char* text);
int out_printf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
/* Non-zero once the output cannot take more: stop working. */
int out_stopped(void);
/* Flushes stdout and folds a write error into the exit status. */
int out_finish(int status);

/* "quobrix-textfile: FILE: MESSAGE" on stderr. */
void cli_file_error(const char* file, const char* message);
/* "quobrix-textfile: [COMMAND: ]MESSAGE" and a hint at --help on stderr;
 * returns CLI_USAGE. `command` may be NULL. */
int cli_usage_error(const CliCommand* command, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* ===== Byte buffers (common/bytes.c) ==================================== */

typedef struct CliBytes {
  char* data;
  size_t length;
  size_t capacity;
} CliBytes;

/* Room for `more` bytes (and the 0x00 after them) past `length`; 0, or -1
 * when memory runs out. */
int cli_bytes_reserve(CliBytes* bytes, size_t more);
int cli_bytes_append(CliBytes* bytes, const void* data, size_t length);
void cli_bytes_free(CliBytes* bytes);

/* ===== Operands naming files =========================================== */

/* Non-zero for the operands that name standard input: "-" and "/dev/stdin". */
int cli_is_stdin(const char* file);

/* Opens the operand `file` for reading; on failure reports it and returns
 * -1. Standard input is first spooled to a temporary file, removed again as
 * soon as the library has read it (on Linux it has no name at all); it can be
 * read once per run, up to the library's 500 MiB limit. On Windows the
 * operand (UTF-8) is handed to the library in the ANSI code page, or as its
 * short name when the code page cannot express it. */
int cli_open(const char* file);

/* The raw bytes of a file the tool opened, read by the tool itself. */
typedef struct CliRaw {
  FILE* in;
  int spool; /* standard input's spool, released on closing */
} CliRaw;
struct CliRawScan;

/* cli_open, and `raw` opened on the same bytes right after the library has
 * read them; read them with cli_raw_read, then cli_raw_close. */
int cli_open_raw_stream(const char* file, CliRaw* raw);

/* Streams the bytes of `raw` through `scan` (file_verdict.h; may be NULL)
 * one small buffer at a time; when `keep` is not NULL they are kept in it as well
 * (emptied first), for a caller that needs them whole. 0, or -1 after
 * reporting why not. */
int cli_raw_read(const char* file, CliRaw* raw, struct CliRawScan* scan, CliBytes* keep);
void cli_raw_close(CliRaw* raw);

/* The path the library is to write for the operand `file`, in a block to
 * release with free(); NULL after reporting why there is none. */
char* cli_save_path(const char* file);

/* Reports the library's last error for the operand `file`, which it knew as
 * `native`: the operand's own spelling replaces that path in the message. */
void cli_library_error(const char* file, const char* native);

/* Standard input in a temporary file (common/stdin.c): the path to hand to the
 * library, or NULL with the reason in *why; more than `limit` bytes are
 * refused as the library refuses such a file, without reading further. */
const char* cli_stdin_spool(int64_t limit, const char** why);
/* Removes the spool's name, if it still has one. */
void cli_stdin_release(void);
/* Called first thing: a standard stream that is closed is opened on the
 * null device (POSIX), and a closed standard input is remembered, so that
 * reading "-" fails with "standard input is closed" instead of reading an
 * empty document. */
void cli_guard_standard_streams(void);

/* ===== Windows: arguments in UTF-8, paths in the ANSI code page ========= */

#if defined(_WIN32)
/* Replaces *argv by the wide command line converted to UTF-8; 0, or -1 when
 * memory runs out (the narrow arguments are kept). */
int cli_windows_utf8_argv(int* argc, char*** argv);
/* The UTF-8 operand `file` as a path in the ANSI code page, in a block to
 * free(): unchanged when the code page expresses it, else through the short
 * name of the file (for reading) or of its directory (for writing, since a
 * save through the short name would rename the file). NULL with the reason
 * in *why. */
char* cli_windows_path(const char* file, int for_writing, const char** why);
#endif

/* ===== Encodings ======================================================== */

/* The library's name ("utf8", "utf8-bom" or "utf16le") for an encoding name
 * as people write it ("UTF-8", "utf-8-bom", "UTF-16LE"...), NULL for any
 * other. */
const char* cli_encoding_name(const char* name);

/* `name` in lower case with "-", "_" and spaces removed, into `folded` of
 * `size` bytes (terminated); -1 when it does not fit. */
int cli_fold_name(const char* name, char* folded, size_t size);

/* ===== JSON results ===================================================== */

/* Prints one query result of `file` on its own line: unchanged, or indented
 * when `pretty`; with `with_path`, as an object whose first member is "path"
 * (the file's name). Returns 0, CLI_FILE_FAILED when the result could not be
 * re-written (reported), or -1 when the output has stopped. */
int cli_print_result(const char* json, const char* file, int with_path, int pretty);
/* The same, with the string member `extra_key` (unless NULL) added last. */
int cli_print_result_with(const char* json, const char* file, int with_path, int pretty,
                          const char* extra_key, const char* extra_value);

/* Opens `file`, runs `query` on it and prints the result as
 * cli_print_result does (without "path"); reports every failure. Returns
 * CLI_OK or CLI_FILE_FAILED. */
typedef char* (*CliQuery)(int handle, const void* context);
int cli_print_query(const char* file, CliQuery query, const void* context, int pretty);
/* The same, the object leading with "path" when `with_path`. */
int cli_print_query_for(const char* file, CliQuery query, const void* context, int with_path,
                        int pretty);

/* For each operand of `args`: opens it, runs `query` and prints the result as
 * cli_print_result does, with "path" when there are several operands; the
 * failures are reported and the others still processed. CLI_OK or
 * CLI_FILE_FAILED. */
int cli_print_per_file(const CliArgs* args, char* (*query)(int), int pretty);

typedef struct CliJson CliJson;
/* A parsed result; NULL when `json` is not a JSON object. */
CliJson* cli_json_parse(const char* json);
void cli_json_free(CliJson* doc);
/* Integer member `key` of the root object; 0 when found, else -1. */
int cli_json_int(const CliJson* doc, const char* key, int64_t* out);
/* String member `key` of the root object, NULL when absent. */
const char* cli_json_string(const CliJson* doc, const char* key, size_t* length);
/* The integer `member` of every object in the array member `key`, in a
 * malloc'ed array (free); 0, or -1 when the shape differs or memory runs
 * out. */
int cli_json_array_ints(const CliJson* doc, const char* key, const char* member, int64_t** values,
                        size_t* count);

/* ===== Paging through the decoded text ================================== */

/* Appends the decoded text that starts at `offset` to `out`: up to `want`
 * bytes, fewer when the text ends or a 0x00 byte ends the page, more only when
 * a single character is longer than `want`. 0x00 bytes are kept, and the page
 * never ends inside a character, provided that `offset` is a character
 * boundary. Returns the number of bytes consumed (0 at the end of the text),
 * or -1 with the reason in *why. */
int64_t cli_read_page(int handle, int64_t offset, int32_t want, CliBytes* out, const char** why);

#endif /* QUOBRIX_TEXTFILE_CLI_H */
