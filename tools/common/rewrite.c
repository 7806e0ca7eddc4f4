/* Rewriting one file in another encoding or with other line breaks, for
 * every command that writes files (rewrite.h). */
#include "common/rewrite.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/file_verdict.h"
#include "quobrix_textfile.h"

#define CLI_MSG_SANITIZED                                                                \
  "the text holds replacement characters (U+FFFD) for bytes that could not be decoded; " \
  "converting would lose the original bytes (--lossy converts anyway)"

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
static int refused(const CliRewrite* plan, const char* file, const Source* source,
                   const CliBytes* raw) {
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

/* The encoding to write: the one asked for, else the file's own (UTF-8 for
 * an "ansi" file, which the library cannot write). */
static const char* target_encoding(const CliRewrite* plan, const Source* source) {
  if (plan->encoding != NULL) return plan->encoding;
  return source->ansi ? "utf8" : source->encoding;
}

/* The file is in the form asked for already: rewriting it would change
 * nothing but its inode and times. */
static int already_there(const CliRewrite* plan, const Source* source, const char* encoding) {
  return !source->ansi && !source->sanitized && strcmp(source->encoding, encoding) == 0 &&
         (plan->eol == NULL || strcmp(source->line_ending, plan->eol) == 0);
}

/* Must the tool make the text itself, rather than save the library's? */
static int needs_own_text(const CliRewrite* plan, const Source* source) {
  return (source->ansi && plan->page == CLI_ANSI_CP1252) ||
         (plan->eol != NULL && strcmp(source->line_ending, plan->eol) != 0);
}

/* The decoded text, whole: from the raw bytes where they are the text, else
 * from the library. 0, or -1 after reporting. */
static int decoded_text(const CliRewrite* plan, const char* file, int handle, const Source* source,
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
static int save_own_text(const CliRewrite* plan, const char* file, int handle, const Source* source,
                         const CliBytes* raw, const char* target, const char* path,
                         const char* encoding) {
  CliBytes text = {NULL, 0, 0};
  CliBytes broken = {NULL, 0, 0};
  const CliBytes* out = &text;
  int status = -1;
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
  } else if (tf_save_text(out->length > 0 ? out->data : "", (int32_t)out->length, path, encoding) <
             0) {
    cli_library_error(target, path);
  } else {
    status = 0;
  }
done:
  cli_bytes_free(&text);
  cli_bytes_free(&broken);
  return status;
}

/* "notes.txt: ansi (cp1252), crlf -> utf8, lf" */
static void say_plan(const CliRewrite* plan, const char* file, const Source* source,
                     const char* encoding, int unchanged) {
  const char* page = !source->ansi ? "" : plan->page == CLI_ANSI_CP1252 ? " (cp1252)" : " (latin1)";
  if (unchanged) {
    out_printf("%s: %s, %s, unchanged\n", file, source->encoding, source->line_ending);
    return;
  }
  out_printf("%s: %s%s, %s -> %s, %s%s%s\n", file, source->encoding, page, source->line_ending,
             encoding, plan->eol != NULL ? plan->eol : source->line_ending,
             plan->output != NULL ? " into " : "", plan->output != NULL ? plan->output : "");
}

CliRewritten cli_rewrite_file(const CliRewrite* plan, const char* file, CliBytes* raw) {
  const char* target = plan->output != NULL ? plan->output : file;
  Source source;
  char* path;
  const char* encoding;
  CliRewritten done = CLI_REWRITE_WRITTEN;
  const int handle = cli_open_raw(file, raw);
  if (handle < 0) return CLI_REWRITE_FAILED;
  if (read_source(file, handle, &source) != 0) {
    tf_close(handle);
    return CLI_REWRITE_FAILED;
  }
  if (refused(plan, file, &source, raw)) {
    tf_close(handle);
    return CLI_REWRITE_REFUSED;
  }
  encoding = target_encoding(plan, &source);
  if (plan->output == NULL && already_there(plan, &source, encoding)) {
    if (plan->dry_run) say_plan(plan, file, &source, encoding, 1);
    tf_close(handle);
    return CLI_REWRITE_UNCHANGED;
  }
  if (plan->dry_run) {
    say_plan(plan, file, &source, encoding, 0);
    tf_close(handle);
    return CLI_REWRITE_PLANNED;
  }
  path = cli_save_path(target);
  if (path == NULL) {
    done = CLI_REWRITE_FAILED;
  } else if (needs_own_text(plan, &source)) {
    if (save_own_text(plan, file, handle, &source, raw, target, path, encoding) != 0) {
      done = CLI_REWRITE_FAILED;
    }
  } else if (tf_save(handle, path, encoding) < 0) {
    cli_library_error(target, path);
    done = CLI_REWRITE_FAILED;
  }
  free(path);
  tf_close(handle);
  return done;
}

const char* cli_eol_name(const char* name) {
  static const char* const names[] = {"lf", "crlf", "cr"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    size_t k = 0;
    while (names[i][k] != '\0' && (name[k] | 0x20) == names[i][k]) ++k;
    if (names[i][k] == '\0' && name[k] == '\0') return names[i];
  }
  return NULL;
}
