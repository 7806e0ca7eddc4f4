/* Rewriting one file in another encoding or with other line breaks, for
 * every command that writes files (convert, check --fix), with the rules
 * that keep a file from harm:
 *
 * - the file is refused, untouched, when it is binary (file_verdict.h),
 *   when the library sanitized its text (unless `lossy`), or when it is an
 *   "ansi" file that cli_ansi_refusal refuses under `page` and `from_ansi`;
 *   the reason goes to stderr as "FILE: MESSAGE" ("FILE: binary file, not
 *   converted");
 * - a file already in the form asked for (same encoding and byte-order
 *   mark, same line endings) is not rewritten: it keeps its inode and times;
 * - otherwise the new content replaces the file in one step through the
 *   library's save (a temporary file beside it, then a rename), which keeps
 *   its permission bits. The library's own decoding is saved as it is
 *   (tf_save); when the text must change first (Windows-1252 bytes, other
 *   line breaks) the tool makes it and saves it with tf_save_text.
 *
 * With `dry_run` nothing is written and one line per file tells what would
 * be done, on stdout:
 *
 *   notes.txt: ansi (cp1252), crlf -> utf8, lf
 *   done.txt: utf8, lf, unchanged
 */
#ifndef QUOBRIX_TEXTFILE_REWRITE_H
#define QUOBRIX_TEXTFILE_REWRITE_H

#include "cli.h"
#include "common/file_verdict.h"

typedef struct CliRewrite {
  /* The library's name ("utf8", "utf8-bom", "utf16le"), or NULL to keep
   * the file's own ("ansi" files become "utf8"). */
  const char* encoding;
  /* "lf", "crlf" or "cr" (cli_eol_name), or NULL to keep the breaks. */
  const char* eol;
  CliAnsiPage page;   /* the code page of "ansi" files, as named by --ansi */
  int lossy;          /* write sanitized text, U+FFFD included */
  int from_ansi;      /* waive the near-UTF-8 rule */
  int dry_run;        /* say what would be done, write nothing */
  const char* output; /* write there instead of in place, or NULL */
} CliRewrite;

typedef enum CliRewritten {
  CLI_REWRITE_WRITTEN = 0,
  CLI_REWRITE_UNCHANGED = 1, /* in the form asked for already: not written */
  CLI_REWRITE_PLANNED = 2,   /* dry run: would be written */
  CLI_REWRITE_REFUSED = 3,   /* left untouched (reported) */
  CLI_REWRITE_FAILED = 4     /* could not be read or written (reported) */
} CliRewritten;

/* Rewrites the operand `file` ("-" is standard input, which needs
 * `output`). `raw` is a buffer that the caller may reuse from file to file
 * and releases with cli_bytes_free. */
CliRewritten cli_rewrite_file(const CliRewrite* plan, const char* file, CliBytes* raw);

/* "lf", "crlf" or "cr" for those names in either case, else NULL. */
const char* cli_eol_name(const char* name);

#endif /* QUOBRIX_TEXTFILE_REWRITE_H */
