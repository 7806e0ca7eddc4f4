/* convert: re-encode files through the library's save, which writes a
 * temporary file beside the target and then replaces the target with it in
 * one step. In place by default, or to -o OUT. Two kinds of file are left
 * alone unless asked: one whose text the library had to sanitize (bytes it
 * could not decode became U+FFFD; --lossy), since writing it back would
 * replace the original bytes for good; and an "ansi" one that looks like
 * UTF-8 with a few bad bytes (--from-ansi), since converting it would encode
 * its UTF-8 a second time. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "quobrix_textfile.h"

static const CliOption convert_options[] = {
    {"to", 't', 1}, {"output", 'o', 1}, {"lossy", 0, 0}, {"from-ansi", 0, 0}};
enum { CONVERT_TO, CONVERT_OUTPUT, CONVERT_LOSSY, CONVERT_FROM_ANSI };

#define CLI_MSG_SANITIZED                                                                \
  "the text holds replacement characters (U+FFFD) for bytes that could not be decoded; " \
  "converting would lose the original bytes (--lossy converts anyway)"

/* What convert needs to know of an open document. */
typedef struct Source {
  int sanitized;
  int ansi;
  int64_t bytes;
} Source;

static int read_source(const char* file, int handle, Source* source) {
  char* json = tf_info(handle);
  CliJson* info;
  const char* encoding;
  int64_t sanitized = 0;
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    return -1;
  }
  info = cli_json_parse(json);
  tf_free_string(json);
  encoding = info != NULL ? cli_json_string(info, "encoding", NULL) : NULL;
  if (encoding == NULL || cli_json_int(info, "sanitized", &sanitized) != 0 ||
      cli_json_int(info, "bytes", &source->bytes) != 0) {
    cli_json_free(info);
    cli_file_error(file, "unexpected result from tf_info");
    return -1;
  }
  source->sanitized = sanitized != 0;
  source->ansi = strcmp(encoding, "ansi") == 0;
  cli_json_free(info);
  return 0;
}

/* 1 when an "ansi" document holds at least as many well-formed UTF-8
 * multi-byte sequences as places with bytes that begin none (reported), 0
 * when not, -1 after reporting a failure. A character cut short (E2 82 of
 * "€") is one place: it is UTF-8 too, only broken. */
static int looks_like_utf8(const char* file, int handle, const Source* source) {
  CliUtf8Evidence evidence;
  const char* why = NULL;
  char message[160];
  if (cli_utf8_evidence(handle, source->bytes, &evidence, &why) != 0) {
    cli_file_error(file, why);
    return -1;
  }
  if (evidence.sequences == 0 || evidence.sequences < evidence.places) return 0;
  snprintf(message, sizeof message,
           "looks like UTF-8 with %lld byte%s that %s not; converting would encode it twice "
           "(--from-ansi converts anyway)",
           (long long)evidence.strays, evidence.strays == 1 ? "" : "s",
           evidence.strays == 1 ? "is" : "are");
  cli_file_error(file, message);
  return 1;
}

/* 0 when the document may be converted, else non-zero (reported). */
static int refused(const CliArgs* args, const char* file, int handle) {
  Source source;
  if (read_source(file, handle, &source) != 0) return 1;
  if (source.sanitized && args->value[CONVERT_LOSSY] == NULL) {
    cli_file_error(file, CLI_MSG_SANITIZED);
    return 1;
  }
  if (source.ansi && args->value[CONVERT_FROM_ANSI] == NULL) {
    return looks_like_utf8(file, handle, &source) != 0;
  }
  return 0;
}

static int run_convert(const CliArgs* args) {
  const char* name = args->value[CONVERT_TO];
  const char* output = args->value[CONVERT_OUTPUT];
  const char* encoding;
  int status = CLI_OK;
  if (name == NULL) return cli_usage_error(&cli_convert_command, "missing --to ENCODING");
  encoding = cli_encoding_name(name);
  if (encoding == NULL) {
    return cli_usage_error(&cli_convert_command,
                           "invalid encoding '%s' for --to (use utf8, utf8-bom or utf16le)", name);
  }
  if (output != NULL && args->positional_count != 1) {
    return cli_usage_error(&cli_convert_command, "-o takes exactly one FILE");
  }
  if (output == NULL) {
    for (int i = 0; i < args->positional_count; ++i) {
      if (cli_is_stdin(args->positional[i])) {
        return cli_usage_error(&cli_convert_command,
                               "standard input cannot be converted in place (use -o OUT)");
      }
    }
  }
  for (int i = 0; i < args->positional_count; ++i) {
    const char* file = args->positional[i];
    const char* target = output != NULL ? output : file;
    const int handle = cli_open(file);
    char* path;
    if (handle < 0) {
      status = CLI_FILE_FAILED;
      continue;
    }
    path = refused(args, file, handle) ? NULL : cli_save_path(target);
    if (path == NULL) {
      status = CLI_FILE_FAILED;
    } else if (tf_save(handle, path, encoding) < 0) {
      cli_library_error(target, path);
      status = CLI_FILE_FAILED;
    }
    free(path);
    tf_close(handle);
  }
  return status;
}

const CliCommand cli_convert_command = {
    "convert",
    "FILE... --to ENC",
    "re-encode as utf8, utf8-bom or utf16le",
    "Usage: " CLI_PROGRAM
    " convert --to ENCODING [-o OUT] [--lossy] [--from-ansi] FILE...\n"
    "\n"
    "Writes the decoded text of each FILE back in ENCODING: utf8 (no byte-order\n"
    "mark), utf8-bom or utf16le (with its mark); the names may be written in\n"
    "either case and with the usual separators (UTF-8, utf-8-bom, UTF-16LE).\n"
    "The text is written as it is, line endings included. Each FILE is replaced\n"
    "in place, or, with -o, the one FILE is written to OUT; FILE \"-\" reads\n"
    "standard input, which needs -o. The new content goes to a temporary file\n"
    "beside the target first (\"TARGET.tmp\"), which then replaces the target in\n"
    "one step: the target holds either its old or its complete new content.\n"
    "A replaced file keeps its permission bits (the library's save sees to it).\n"
    "\n"
    "A FILE holding bytes that could not be decoded (\"sanitized\" in the info:\n"
    "the text shows U+FFFD in their place) is refused and left untouched, with\n"
    "exit status 1: converting it would replace those bytes for good.\n"
    "\n"
    "So is an \"ansi\" FILE (read as one character per byte, U+0000-U+00FF)\n"
    "that holds at least as many well-formed UTF-8 sequences of 2 to 4 bytes as\n"
    "places with bytes 80-FF outside them (a character cut short is one place):\n"
    "that is UTF-8 with a few bad bytes (a cut download, say), and converting\n"
    "it would encode its UTF-8 twice. Text in Latin-1 or Windows-1252 has its\n"
    "accented letters between ASCII ones, outside any such sequence, and\n"
    "converts.\n"
    "\n"
    "Options:\n"
    "  -t, --to ENCODING   utf8, utf8-bom or utf16le (required)\n"
    "  -o, --output OUT    write to OUT instead of replacing FILE\n"
    "  --lossy             convert a sanitized FILE anyway, U+FFFD included\n"
    "  --from-ansi         convert an ansi FILE that looks like UTF-8 anyway,\n"
    "                      one character per byte\n",
    convert_options,
    4,
    1,
    -1,
    run_convert};
