/* One file checked, and with --fix made right, never harmed: links, special
 * files and files over the library's 500 MiB are left alone; binary files are
 * counted and left alone; the library reads the text (its detection, its
 * line endings, its line and column of each finding) and writes it through
 * its atomic save, and only when the rewrite loses nothing, the file has not
 * changed since it was read, and something is actually wrong. */
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "check/check.h"
#include "check/check_text.h"
#include "cli.h"
#include "quobrix_textfile.h"

/* The largest file the library opens, in bytes (500 MiB). */
#define CHECK_MAX_FILE_BYTES 524288000

#if defined(_WIN32)
#define O_NOFOLLOW 0
#define lstat stat
#ifndef O_BINARY
#define O_BINARY 0
#endif
#else
#define O_BINARY 0
#endif

int check_add(CheckFile* file, CheckLevel level, const char* rule, int64_t line, int64_t col,
              const char* format, ...) {
  CheckFinding* finding;
  va_list args;
  int length;
  if (file->count == file->capacity) {
    const size_t capacity = file->capacity == 0 ? 4 : file->capacity * 2;
    CheckFinding* grown = realloc(file->findings, sizeof *grown * capacity);
    if (grown == NULL) return -1;
    file->findings = grown;
    file->capacity = capacity;
  }
  finding = &file->findings[file->count];
  va_start(args, format);
  length = vsnprintf(NULL, 0, format, args);
  va_end(args);
  if (length < 0) return -1;
  finding->message = malloc((size_t)length + 1);
  if (finding->message == NULL) return -1;
  va_start(args, format);
  vsnprintf(finding->message, (size_t)length + 1, format, args);
  va_end(args);
  finding->level = level;
  finding->rule = rule;
  finding->line = line;
  finding->col = col;
  finding->fixed = 0;
  ++file->count;
  return 0;
}

void check_file_free(CheckFile* file) {
  for (size_t i = 0; i < file->count; ++i) free(file->findings[i].message);
  free(file->findings);
  free(file->path);
  file->findings = NULL;
  file->path = NULL;
  file->count = file->capacity = 0;
}

/* ===== Reading ========================================================== */

/* The whole file, read through one descriptor whose status is kept: the fix
 * compares it with the file's status right before writing. */
static int read_raw(CheckFile* file, struct stat* st, unsigned char** raw, size_t* length) {
  const int fd = open(file->path, O_RDONLY | O_BINARY | O_NOFOLLOW);
  size_t got = 0;
  unsigned char* data;
  if (fd < 0) {
    check_add(file, LEVEL_ERROR, "read", 0, 0, "cannot read: %s", strerror(errno));
    return -1;
  }
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    check_add(file, LEVEL_ERROR, "read", 0, 0, "changed while it was being checked");
    return -1;
  }
  data = malloc((size_t)st->st_size + 1);
  if (data == NULL) {
    close(fd);
    check_add(file, LEVEL_ERROR, "read", 0, 0, "out of memory");
    return -1;
  }
  while (got < (size_t)st->st_size) {
    const size_t want = (size_t)st->st_size - got;
    const int chunk = (int)(want > (1u << 30) ? (1u << 30) : want);
    const long n = (long)read(fd, data + got, (unsigned)chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += (size_t)n;
  }
  close(fd);
  if (got != (size_t)st->st_size) {
    free(data);
    check_add(file, LEVEL_ERROR, "read", 0, 0, "changed while it was being checked");
    return -1;
  }
  *raw = data;
  *length = got;
  return 0;
}

/* ===== Writing ========================================================== */

/* Non-zero when the file is no longer the one that was read: another
 * inode, another size or another modification time. */
static int changed_since(const char* path, const struct stat* before) {
  struct stat now;
  if (lstat(path, &now) != 0 || !S_ISREG(now.st_mode)) return 1;
  if (now.st_size != before->st_size || now.st_mtime != before->st_mtime) return 1;
#if !defined(_WIN32)
  /* The C runtime of Windows has no inode, and its fstat and stat fill
   * st_dev differently: there, size and time alone. */
  if (now.st_ino != before->st_ino || now.st_dev != before->st_dev) return 1;
  if (now.st_mtim.tv_nsec != before->st_mtim.tv_nsec) return 1;
#endif
  return 0;
}

static void refuse(CheckFile* file, const char* reason) {
  check_add(file, LEVEL_ERROR, "fix", 0, 0, "not fixed: %s", reason);
}

/* Writes `text` in `encoding` over the file, through the library's save. */
static void write_fixed(CheckFile* file, const struct stat* before, const CheckText* text,
                        const char* encoding) {
  char* path;
  int saved;
  if (text->length > 0x7FFFFFFF) {
    refuse(file, "the new text is too long for one save");
    return;
  }
  if (changed_since(file->path, before)) {
    refuse(file, "the file changed while it was being checked; it was not overwritten");
    return;
  }
#if defined(_WIN32)
  {
    const char* why = NULL;
    path = cli_windows_path(file->path, 1, &why);
    if (path == NULL) {
      refuse(file, why);
      return;
    }
  }
#else
  path = file->path;
#endif
  check_gate_enter();
  saved = tf_save_text(text->data, (int32_t)text->length, path, encoding);
  check_gate_leave();
  if (saved != 1) {
    check_gate_enter_alone();
    saved = tf_save_text(text->data, (int32_t)text->length, path, encoding);
    if (saved != 1) check_add(file, LEVEL_ERROR, "fix", 0, 0, "not fixed: %s", tf_last_error());
    check_gate_leave_alone();
  }
#if defined(_WIN32)
  free(path);
#endif
  if (saved != 1) return;
  for (size_t i = 0; i < file->count; ++i) file->findings[i].fixed = 1;
  file->status = STATUS_FIXED;
}

/* ===== Checking ========================================================= */

static const char* wanted_name(const CheckRule* rule) {
  switch (rule->charset) {
    case CHARSET_UTF8:
      return rule->bom == BOM_REQUIRE ? "utf-8-bom" : "utf-8";
    case CHARSET_LATIN1:
      return "latin1";
    case CHARSET_UTF16LE:
      return "utf-16le";
    default:
      return rule->bom == BOM_REQUIRE  ? "UTF-8 with a BOM or UTF-16LE"
             : rule->bom == BOM_FORBID ? "UTF-8 without a BOM or UTF-16LE"
                                       : "UTF-8 or UTF-16LE";
  }
}

/* The library's name of the encoding the file should have, given the one it
 * has; NULL when the library cannot write it (latin1). */
static const char* target_encoding(const CheckRule* rule, const char* current) {
  const int is_bom = strcmp(current, "utf8-bom") == 0;
  switch (rule->charset) {
    case CHARSET_LATIN1:
      /* ASCII text reads the same in both; the library writes no latin1. */
      return strcmp(current, "utf8") == 0 ? "utf8" : NULL;
    case CHARSET_UNSUPPORTED:
      return strcmp(current, "ansi") == 0 ? NULL : current;
    case CHARSET_UTF16LE:
      return "utf16le";
    case CHARSET_UNICODE:
      if (strcmp(current, "utf16le") == 0) return "utf16le";
      /* fall through */
    default:
      if (rule->bom == BOM_REQUIRE) return "utf8-bom";
      if (rule->bom == BOM_FORBID) return "utf8";
      return is_bom ? "utf8-bom" : "utf8";
  }
}

static const char* eol_label(int kind) {
  return kind == CHECK_BREAK_CRLF ? "CRLF" : kind == CHECK_BREAK_CR ? "CR" : "LF";
}

static int wanted_break(CheckEol eol) {
  return eol == EOL_CRLF ? CHECK_BREAK_CRLF : eol == EOL_CR ? CHECK_BREAK_CR : CHECK_BREAK_LF;
}

typedef struct Plan {
  const char* encoding; /* the library's name to write in */
  int convert_ansi;     /* the text is an "ansi" file's, to read per --ansi */
  int eol;              /* CHECK_BREAK_* to normalise to, or -1 */
  int refused;          /* a finding that --fix cannot mend was reported */
} Plan;

/* Looks at the decoded document; records findings and what a fix would do. */
static void judge(CheckFile* file, const CheckRule* rule, int fixing, int handle,
                  const CheckInfo* info, const unsigned char* raw, size_t raw_length,
                  CheckText* text, Plan* plan) {
  const char* enc = info->encoding;
  const int is_ansi = strcmp(enc, "ansi") == 0;
  const int is_utf16 = strcmp(enc, "utf16le") == 0;
  const int is_bom = strcmp(enc, "utf8-bom") == 0;
  const char* target = target_encoding(rule, enc);
  int64_t line = 0, col = 0;
  plan->encoding = NULL;
  plan->convert_ansi = 0;
  plan->eol = -1;
  plan->refused = 0;

  if (rule->charset == CHARSET_UNSUPPORTED) {
    check_add(file, LEVEL_WARNING, "charset", 0, 0,
              "charset %s is not supported; the encoding was not checked", rule->unsupported);
  } else if (info->sanitized) {
    const int64_t at = check_text_find_replacement(text);
    check_linecol(handle, at < 0 ? 0 : at, &line, &col);
    check_add(file, LEVEL_ERROR, "charset", line, col,
              "ill-formed %s: the library read bytes here as U+FFFD", enc);
    plan->refused = 1;
    if (fixing)
      refuse(file, "the text holds bytes that could not be decoded; rewriting would lose them");
  } else if (rule->charset == CHARSET_LATIN1) {
    if (!is_ansi) {
      int64_t at = 0;
      if (!is_bom && !is_utf16) at = check_text_first_non_ascii(text);
      if (at >= 0) {
        check_linecol(handle, at, &line, &col);
        check_add(file, LEVEL_ERROR, "charset", line, col, "%s (latin1 wanted)",
                  is_utf16 ? "UTF-16LE"
                  : is_bom ? "UTF-8 with a BOM"
                           : "UTF-8 multi-byte character");
        plan->refused = 1;
        if (fixing) refuse(file, "the library writes UTF-8 and UTF-16LE, not latin1");
      }
    }
  } else if (is_ansi) {
    const size_t bad = check_first_invalid_utf8(raw, raw_length);
    check_linecol(handle, check_ansi_offset(raw, bad), &line, &col);
    check_add(file, LEVEL_ERROR, "charset", line, col, "not UTF-8: byte 0x%02X (%s wanted)",
              bad < raw_length ? raw[bad] : 0, wanted_name(rule));
    plan->encoding = target;
    plan->convert_ansi = 1;
  } else if (strcmp(enc, target) != 0) {
    const char* rule_name = "charset";
    const char* what = is_utf16 ? "UTF-16LE" : is_bom ? "UTF-8 with a BOM" : "UTF-8 without a BOM";
    if (!is_utf16 && strcmp(target, "utf16le") != 0) rule_name = "bom";
    check_linecol(handle, 0, &line, &col);
    check_add(file, LEVEL_ERROR, rule_name, line, col, "%s (%s wanted)", what, wanted_name(rule));
    plan->encoding = target;
  }

  /* Line endings, over the decoded text. */
  {
    CheckBreaks breaks;
    int want;
    check_text_breaks(text, &breaks);
    if (rule->eol == EOL_CONSISTENT) {
      want = check_breaks_majority(&breaks);
    } else {
      want = wanted_break(rule->eol);
    }
    if (check_breaks_other(&breaks, want) > 0) {
      const int64_t other = check_breaks_other(&breaks, want);
      const char* plural = other == 1 ? "" : "s";
      const char* verb = other == 1 ? "s" : "";
      const int64_t at = check_text_first_other(text, want);
      const int kind = check_text_break_at(text, at);
      check_linecol(handle, at, &line, &col);
      if (rule->eol == EOL_CONSISTENT) {
        check_add(file, LEVEL_ERROR, "eol", line, col,
                  "%s line ending among %s ones (mixed; %lld break%s differ%s)", eol_label(kind),
                  eol_label(want), (long long)other, plural, verb);
      } else {
        check_add(file, LEVEL_ERROR, "eol", line, col,
                  "%s line ending (%s wanted; %lld break%s differ%s)", eol_label(kind),
                  rule->eol == EOL_LF     ? "lf"
                  : rule->eol == EOL_CRLF ? "crlf"
                                          : "cr",
                  (long long)other, plural, verb);
      }
      if (plan->encoding == NULL && !plan->refused) {
        if (target == NULL || (is_ansi && rule->charset == CHARSET_LATIN1)) {
          plan->refused = 1;
          if (fixing) refuse(file, "the library writes UTF-8 and UTF-16LE, not latin1");
        } else {
          plan->encoding = is_ansi ? target : (target != NULL ? target : enc);
          plan->convert_ansi = is_ansi;
        }
      }
      plan->eol = want;
    }
  }
}

static void fix(const CheckOptions* options, CheckFile* file, const struct stat* before,
                const unsigned char* raw, size_t raw_length, CheckText* text, const Plan* plan) {
  CheckText converted = {NULL, 0, 0};
  const CheckText* out = text;
  const char* why = NULL;
  char reason[256];
  if (plan->convert_ansi) {
    if (check_convert_ansi(raw, raw_length, options->ansi, &converted, reason, &why) != 0) {
      refuse(file, why);
      return;
    }
    out = &converted;
  }
  if (plan->eol >= 0) {
    if (check_text_normalise(out == &converted ? &converted : text, plan->eol) != 0) {
      check_text_free(&converted);
      refuse(file, "out of memory");
      return;
    }
  }
  write_fixed(file, before, out, plan->encoding);
  check_text_free(&converted);
}

void check_one(const CheckOptions* options, CheckFile* file) {
  struct stat st;
  CheckRule rule;
  char config_error[1200];
  unsigned char* raw = NULL;
  size_t raw_length = 0;
  int handle;
  CheckInfo info;
  CheckText text = {NULL, 0, 0};
  Plan plan;
  const char* verdict;

  if (lstat(file->path, &st) != 0) {
    if (file->from_walk && errno == ENOENT) {
      file->status = STATUS_GONE; /* listed by git, deleted in the work tree */
      return;
    }
    check_add(file, LEVEL_ERROR, "read", 0, 0, "cannot read: %s", strerror(errno));
    file->status = STATUS_FINDINGS;
    return;
  }
#if !defined(_WIN32)
  if (S_ISLNK(st.st_mode)) {
    check_add(file, LEVEL_WARNING, "skip", 0, 0, "symbolic link, not followed");
    file->status = STATUS_SKIPPED;
    return;
  }
#endif
  if (S_ISDIR(st.st_mode) && file->from_walk) {
    file->status = STATUS_GONE; /* a submodule: git lists it as one entry */
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    check_add(file, LEVEL_WARNING, "skip", 0, 0, "not a regular file, left alone");
    file->status = STATUS_SKIPPED;
    return;
  }
  if (st.st_size > CHECK_MAX_FILE_BYTES) {
    check_add(file, LEVEL_WARNING, "skip", 0, 0,
              "larger than the library's limit of 500 MiB (%lld bytes), left alone",
              (long long)st.st_size);
    file->status = STATUS_SKIPPED;
    return;
  }
  if (check_rule_for(options, file->path, &rule, config_error, sizeof config_error) != 0) {
    check_add(file, LEVEL_ERROR, "config", 0, 0, "%s", config_error);
    file->config_error = 1;
    file->status = STATUS_FINDINGS;
    return;
  }
  if (read_raw(file, &st, &raw, &raw_length) != 0) {
    file->status = STATUS_FINDINGS;
    return;
  }
  if (raw_length == 0) {
    free(raw);
    file->status = STATUS_OK;
    return;
  }
  verdict = check_binary_verdict(raw, raw_length);
  if (verdict != NULL) {
    free(raw);
    if (strcmp(verdict, CHECK_VERDICT_BINARY) == 0) {
      file->status = STATUS_BINARY;
    } else {
      check_add(file, LEVEL_ERROR, "charset", 0, 0, "%s", verdict);
      if (options->fix) refuse(file, "its encoding would be a guess; rewriting could harm it");
      file->status = STATUS_FINDINGS;
    }
    return;
  }

  handle = check_open(file, &info);
  if (handle < 0 || info.raw_bytes != (int64_t)raw_length ||
      check_text_read(handle, &info, raw, raw_length, &text) != 0) {
    if (handle >= 0) {
      check_add(file, LEVEL_ERROR, "read", 0, 0, "changed while it was being checked");
      tf_close(handle);
    }
    free(raw);
    file->status = STATUS_FINDINGS;
    return;
  }
  file->encoding = info.encoding;
  file->line_ending = info.line_ending;
  judge(file, &rule, options->fix, handle, &info, raw, raw_length, &text, &plan);
  file->status = file->count == 0 ? STATUS_OK : STATUS_FINDINGS;
  {
    int errors = 0;
    for (size_t i = 0; i < file->count; ++i) errors += file->findings[i].level == LEVEL_ERROR;
    if (errors == 0) file->status = STATUS_OK;
  }
  if (options->fix && file->status == STATUS_FINDINGS && !plan.refused && plan.encoding != NULL) {
    fix(options, file, &st, raw, raw_length, &text, &plan);
  }
  tf_close(handle);
  check_text_free(&text);
  free(raw);
}
