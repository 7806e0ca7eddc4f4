/* convert: re-encode files through the library's save, which writes a
 * temporary file beside the target and then replaces the target with it in
 * one step. In place by default, or to -o OUT. Nothing that would harm a
 * file is ever written: a binary file (file_verdict.h) is never converted;
 * one whose text the library had to sanitize (bytes it could not decode
 * became U+FFFD) only with --lossy, since writing it back would replace the
 * original bytes for good; an "ansi" one that holds UTF-8 sequences only
 * with --from-ansi, since converting it would encode its UTF-8 a second
 * time; and one with bytes 80-9F only once --ansi names its code page. A
 * file already in the form asked for is not rewritten at all.
 *
 * The text goes to the library's save as the library decoded it (tf_save),
 * unless the tool must change it first: Windows-1252 bytes (--ansi cp1252)
 * are decoded by the tool from the file's raw bytes, and --eol rewrites the
 * line breaks; that text is then saved with tf_save_text, the same atomic
 * save. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "common/file_verdict.h"
#include "quobrix_textfile.h"

static const CliOption convert_options[] = {
    {"to", 't', 1}, {"output", 'o', 1}, {"lossy", 0, 0},   {"from-ansi", 0, 0},
    {"ansi", 0, 1}, {"eol", 0, 1},      {"dry-run", 0, 0},
};
enum {
  CONVERT_TO,
  CONVERT_OUTPUT,
  CONVERT_LOSSY,
  CONVERT_FROM_ANSI,
  CONVERT_ANSI,
  CONVERT_EOL,
  CONVERT_DRY_RUN
};

#define CLI_MSG_SANITIZED                                                                \
  "the text holds replacement characters (U+FFFD) for bytes that could not be decoded; " \
  "converting would lose the original bytes (--lossy converts anyway)"

/* What to do, the same for every FILE. */
typedef struct Plan {
  const char* encoding; /* the library's name */
  const char* eol;      /* "lf", "crlf", "cr", or NULL to keep the breaks */
  CliAnsiPage page;
  int lossy;
  int from_ansi;
  int dry_run;
  const char* output; /* -o OUT, or NULL */
} Plan;

/* What convert needs to know of an open document. */
typedef struct Source {
  char encoding[16];
  char line_ending[8];
  int sanitized;
  int ansi;
  int64_t bytes;
  int64_t raw_bytes;
} Source;

static int copy_member(const CliJson* info, const char* key, char* out, size_t size) {
  size_t length = 0;
  const char* value = cli_json_string(info, key, &length);
  if (value == NULL || length >= size) return -1;
  memcpy(out, value, length + 1);
  return 0;
}

static int read_source(const char* file, int handle, Source* source) {
  char* json = tf_info(handle);
  CliJson* info;
  int64_t sanitized = 0;
  int bad;
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    return -1;
  }
  info = cli_json_parse(json);
  tf_free_string(json);
  bad = info == NULL ||
        copy_member(info, "encoding", source->encoding, sizeof source->encoding) != 0 ||
        copy_member(info, "line_ending", source->line_ending, sizeof source->line_ending) != 0 ||
        cli_json_int(info, "sanitized", &sanitized) != 0 ||
        cli_json_int(info, "bytes", &source->bytes) != 0 ||
        cli_json_int(info, "raw_bytes", &source->raw_bytes) != 0;
  cli_json_free(info);
  if (bad) {
    cli_file_error(file, "unexpected result from tf_info");
    return -1;
  }
  source->sanitized = sanitized != 0;
  source->ansi = strcmp(source->encoding, "ansi") == 0;
  return 0;
}

/* 0 when the document may be converted, else non-zero (reported). */
static int refused(const Plan* plan, const char* file, const Source* source, const CliBytes* raw) {
  const CliVerdict verdict = cli_file_verdict(raw->data, raw->length);
  char message[256];
  const char* why = NULL;
  if ((int64_t)raw->length != source->raw_bytes) {
    why = "changed while it was read, not converted";
  } else if (verdict == CLI_VERDICT_BINARY) {
    why = "binary file, not converted";
  } else if (verdict != CLI_VERDICT_TEXT) {
    snprintf(message, sizeof message, "binary file (%s), not converted", cli_verdict_name(verdict));
    why = message;
  } else if (source->sanitized && !plan->lossy) {
    why = CLI_MSG_SANITIZED;
  } else if (source->ansi) {
    why = cli_ansi_refusal(raw->data, raw->length, plan->page, plan->from_ansi, message,
                           sizeof message);
  }
  if (why == NULL) return 0;
  cli_file_error(file, why);
  return 1;
}

/* The file is in the form asked for already: rewriting it would change
 * nothing but its inode and times. */
static int already_there(const Plan* plan, const Source* source) {
  return !source->ansi && !source->sanitized && strcmp(source->encoding, plan->encoding) == 0 &&
         (plan->eol == NULL || strcmp(source->line_ending, plan->eol) == 0);
}

/* Must the tool make the text itself, rather than save the library's? */
static int needs_own_text(const Plan* plan, const Source* source) {
  return (source->ansi && plan->page == CLI_ANSI_CP1252) ||
         (plan->eol != NULL && strcmp(source->line_ending, plan->eol) != 0);
}

/* The decoded text, whole: from the raw bytes where they are the text, else
 * from the library. 0, or -1 after reporting. */
static int decoded_text(const Plan* plan, const char* file, int handle, const Source* source,
                        const CliBytes* raw, CliBytes* text) {
  const char* why = NULL;
  if (source->ansi) {
    why = cli_ansi_decode(raw->data, raw->length, plan->page, text) == 0 ? NULL : "out of memory";
  } else if (!source->sanitized && strcmp(source->encoding, "utf8") == 0) {
    why = cli_bytes_append(text, raw->data, raw->length) == 0 ? NULL : "out of memory";
  } else if (!source->sanitized && strcmp(source->encoding, "utf8-bom") == 0 && raw->length >= 3) {
    why = cli_bytes_append(text, raw->data + 3, raw->length - 3) == 0 ? NULL : "out of memory";
  } else {
    char* whole = tf_full(handle);
    if (whole != NULL) {
      why = cli_bytes_append(text, whole, (size_t)source->bytes) == 0 ? NULL : "out of memory";
      tf_free_string(whole);
    } else {
      int64_t offset = 0;
      for (;;) {
        const int64_t consumed = cli_read_page(handle, offset, 1 << 20, text, &why);
        if (consumed <= 0) break;
        offset += consumed;
      }
    }
  }
  if (why != NULL) cli_file_error(file, why);
  return why == NULL ? 0 : -1;
}

/* Every line break of `text` (LF, CR LF, a lone CR) written as `eol`. */
static int normalise_breaks(const CliBytes* text, const char* eol, CliBytes* out) {
  const char* mark = strcmp(eol, "crlf") == 0 ? "\r\n" : strcmp(eol, "cr") == 0 ? "\r" : "\n";
  const size_t mark_length = strlen(mark);
  size_t start = 0;
  if (cli_bytes_reserve(out, text->length + text->length / 8) != 0) return -1;
  for (size_t i = 0; i < text->length; ++i) {
    const char c = text->data[i];
    if (c != '\n' && c != '\r') continue;
    if (cli_bytes_append(out, text->data + start, i - start) != 0 ||
        cli_bytes_append(out, mark, mark_length) != 0) {
      return -1;
    }
    if (c == '\r' && i + 1 < text->length && text->data[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return cli_bytes_append(out, text->data + start, text->length - start);
}

/* Saves the tool's own text of the document. */
static int save_own_text(const Plan* plan, const char* file, int handle, const Source* source,
                         const CliBytes* raw, const char* target, const char* path) {
  CliBytes text = {NULL, 0, 0};
  CliBytes broken = {NULL, 0, 0};
  const CliBytes* out = &text;
  int status = CLI_FILE_FAILED;
  if (decoded_text(plan, file, handle, source, raw, &text) != 0) goto done;
  if (plan->eol != NULL && strcmp(source->line_ending, plan->eol) != 0) {
    if (normalise_breaks(&text, plan->eol, &broken) != 0) {
      cli_file_error(file, "out of memory");
      goto done;
    }
    out = &broken;
  }
  if (out->length > INT32_MAX) {
    cli_file_error(file, "text too large to save from the tool (more than 2 GiB)");
  } else if (tf_save_text(out->length > 0 ? out->data : "", (int32_t)out->length, path,
                          plan->encoding) < 0) {
    cli_library_error(target, path);
  } else {
    status = CLI_OK;
  }
done:
  cli_bytes_free(&text);
  cli_bytes_free(&broken);
  return status;
}

/* "notes.txt: ansi (cp1252), crlf -> utf8, lf" */
static void say_plan(const Plan* plan, const char* file, const Source* source, int unchanged) {
  const char* page = !source->ansi ? "" : plan->page == CLI_ANSI_CP1252 ? " (cp1252)" : " (latin1)";
  if (unchanged) {
    out_printf("%s: %s, %s, unchanged\n", file, source->encoding, source->line_ending);
    return;
  }
  out_printf("%s: %s%s, %s -> %s, %s%s%s\n", file, source->encoding, page, source->line_ending,
             plan->encoding, plan->eol != NULL ? plan->eol : source->line_ending,
             plan->output != NULL ? " into " : "", plan->output != NULL ? plan->output : "");
}

static int convert_one(const Plan* plan, const char* file, CliBytes* raw) {
  const char* target = plan->output != NULL ? plan->output : file;
  Source source;
  char* path;
  int status = CLI_OK;
  const int handle = cli_open_raw(file, raw);
  if (handle < 0) return CLI_FILE_FAILED;
  if (read_source(file, handle, &source) != 0 || refused(plan, file, &source, raw)) {
    tf_close(handle);
    return CLI_FILE_FAILED;
  }
  if (plan->output == NULL && already_there(plan, &source)) {
    if (plan->dry_run) say_plan(plan, file, &source, 1);
    tf_close(handle);
    return CLI_OK;
  }
  if (plan->dry_run) {
    say_plan(plan, file, &source, 0);
    tf_close(handle);
    return CLI_OK;
  }
  path = cli_save_path(target);
  if (path == NULL) {
    status = CLI_FILE_FAILED;
  } else if (needs_own_text(plan, &source)) {
    status = save_own_text(plan, file, handle, &source, raw, target, path);
  } else if (tf_save(handle, path, plan->encoding) < 0) {
    cli_library_error(target, path);
    status = CLI_FILE_FAILED;
  }
  free(path);
  tf_close(handle);
  return status;
}

static const char* eol_name(const char* name) {
  static const char* const names[] = {"lf", "crlf", "cr"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    size_t k = 0;
    while (names[i][k] != '\0' && (name[k] | 0x20) == names[i][k]) ++k;
    if (names[i][k] == '\0' && name[k] == '\0') return names[i];
  }
  return NULL;
}

static int run_convert(const CliArgs* args) {
  const char* name = args->value[CONVERT_TO];
  Plan plan;
  CliBytes raw = {NULL, 0, 0};
  int status = CLI_OK;
  memset(&plan, 0, sizeof plan);
  if (name == NULL) return cli_usage_error(&cli_convert_command, "missing --to ENCODING");
  plan.encoding = cli_encoding_name(name);
  if (plan.encoding == NULL) {
    return cli_usage_error(&cli_convert_command,
                           "invalid encoding '%s' for --to (use utf8, utf8-bom or utf16le)", name);
  }
  if (args->value[CONVERT_EOL] != NULL) {
    plan.eol = eol_name(args->value[CONVERT_EOL]);
    if (plan.eol == NULL) {
      return cli_usage_error(&cli_convert_command,
                             "invalid line ending '%s' for --eol (use lf, crlf or cr)",
                             args->value[CONVERT_EOL]);
    }
  }
  if (args->value[CONVERT_ANSI] != NULL && cli_ansi_page(args->value[CONVERT_ANSI], &plan.page)) {
    return cli_usage_error(&cli_convert_command,
                           "invalid code page '%s' for --ansi (use latin1 or cp1252)",
                           args->value[CONVERT_ANSI]);
  }
  plan.lossy = args->value[CONVERT_LOSSY] != NULL;
  plan.from_ansi = args->value[CONVERT_FROM_ANSI] != NULL;
  plan.dry_run = args->value[CONVERT_DRY_RUN] != NULL;
  plan.output = args->value[CONVERT_OUTPUT];
  if (plan.output != NULL && args->positional_count != 1) {
    return cli_usage_error(&cli_convert_command, "-o takes exactly one FILE");
  }
  if (plan.output == NULL) {
    for (int i = 0; i < args->positional_count; ++i) {
      if (cli_is_stdin(args->positional[i])) {
        return cli_usage_error(&cli_convert_command,
                               "standard input cannot be converted in place (use -o OUT)");
      }
    }
  }
  for (int i = 0; i < args->positional_count && !out_stopped(); ++i) {
    if (convert_one(&plan, args->positional[i], &raw) != CLI_OK) status = CLI_FILE_FAILED;
  }
  cli_bytes_free(&raw);
  return status;
}

const CliCommand cli_convert_command = {
    "convert",
    "FILE... --to ENC",
    "re-encode as utf8, utf8-bom or utf16le",
    "Usage: " CLI_PROGRAM
    " convert --to ENCODING [--eol lf|crlf|cr] [--ansi latin1|cp1252]\n"
    "                         [-o OUT] [--dry-run] [--lossy] [--from-ansi] FILE...\n"
    "\n"
    "Writes the decoded text of each FILE back in ENCODING: utf8 (no byte-order\n"
    "mark), utf8-bom or utf16le (with its mark); the names may be written in\n"
    "either case and with the usual separators (UTF-8, utf-8-bom, UTF-16LE).\n"
    "The text is written as it is, line endings included, unless --eol names\n"
    "the line ending every break (LF, CR LF, a lone CR) is to have. Each FILE\n"
    "is replaced in place, or, with -o, the one FILE is written to OUT; FILE\n"
    "\"-\" reads standard input, which needs -o. The new content goes to a\n"
    "temporary file beside the target first (\"TARGET.tmp\"), which then\n"
    "replaces the target in one step: the target holds either its old or its\n"
    "complete new content. A replaced file keeps its permission bits. A FILE\n"
    "already in the form asked for (same encoding and byte-order mark, same\n"
    "line endings) is not rewritten: it keeps its inode and its times.\n"
    "--dry-run prints what would be done, one line per FILE, and changes\n"
    "nothing:\n"
    "\n"
    "  notes.txt: ansi (cp1252), crlf -> utf8, lf\n"
    "  done.txt: utf8, lf, unchanged\n"
    "\n"
    "These FILEs are refused and left untouched, with exit status 1:\n"
    "\n"
    "- a binary one (\"FILE: binary file, not converted\"): a 0x00 byte, or\n"
    "  two or more control characters in a row other than tab, LF, CR, form\n"
    "  feed, escape and backspace, in a file that does not start with the\n"
    "  UTF-16LE byte-order mark; or UTF-16 without a byte-order mark;\n"
    "- one holding bytes that could not be decoded (\"sanitized\" in the info:\n"
    "  the text shows U+FFFD in their place): converting it would replace\n"
    "  those bytes for good (--lossy converts anyway);\n"
    "- an \"ansi\" one (read as one character per byte) that holds a\n"
    "  well-formed UTF-8 sequence of 2 to 4 bytes: that is UTF-8 with a few\n"
    "  bad bytes (a cut download, say), and converting it would encode its\n"
    "  UTF-8 twice (--from-ansi converts anyway). Single-byte text hardly ever\n"
    "  holds such a sequence;\n"
    "- an \"ansi\" one holding bytes 80-9F, until --ansi names its code page:\n"
    "  those bytes are control characters in Latin-1 (ISO-8859-1) and\n"
    "  punctuation in Windows-1252 (the euro sign, curly quotes, dashes...).\n"
    "  Windows-1252 leaves 81, 8D, 8F, 90 and 9D undefined: a FILE holding one\n"
    "  is refused with --ansi cp1252.\n"
    "\n"
    "Options:\n"
    "  -t, --to ENCODING    utf8, utf8-bom or utf16le (required)\n"
    "  --eol lf|crlf|cr     write every line break as LF, CR LF or CR\n"
    "  --ansi latin1|cp1252 the code page of \"ansi\" FILEs\n"
    "  -o, --output OUT     write to OUT instead of replacing FILE\n"
    "  --dry-run            print what would be done, change nothing\n"
    "  --lossy              convert a sanitized FILE anyway, U+FFFD included\n"
    "  --from-ansi          convert an ansi FILE that looks like UTF-8 anyway,\n"
    "                       one character per byte\n",
    convert_options,
    7,
    1,
    -1,
    run_convert};
