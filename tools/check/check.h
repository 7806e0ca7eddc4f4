/* check: the encodings, line endings and byte-order marks of a whole tree,
 * checked against .editorconfig (through libeditorconfig) and the command
 * line, and fixed through the library's atomic save without ever harming a
 * file. This header is shared by the files of tools/check/ and by
 * commands/cmd_check.c. */
#ifndef QUOBRIX_TEXTFILE_CHECK_H
#define QUOBRIX_TEXTFILE_CHECK_H

#include <stddef.h>
#include <stdint.h>

/* ===== Rules ============================================================ */

typedef enum CheckCharset {
  CHARSET_UNICODE, /* the default: UTF-8, or UTF-16LE with its BOM */
  CHARSET_UTF8,
  CHARSET_LATIN1,
  CHARSET_UTF16LE,
  CHARSET_UNSUPPORTED /* utf-16be and names nobody knows: reported, not checked */
} CheckCharset;

typedef enum CheckBom { BOM_ANY, BOM_FORBID, BOM_REQUIRE } CheckBom;

typedef enum CheckEol { EOL_CONSISTENT, EOL_LF, EOL_CRLF, EOL_CR } CheckEol;

typedef struct CheckRule {
  CheckCharset charset;
  CheckBom bom; /* of UTF-8 files; UTF-16LE always has its BOM */
  CheckEol eol;
  char unsupported[32]; /* the charset's name when it is CHARSET_UNSUPPORTED */
} CheckRule;

/* The second choice of --ansi: how bytes 80-FF of an "ansi" file are read. */
typedef enum CheckAnsi { ANSI_NONE, ANSI_LATIN1, ANSI_CP1252 } CheckAnsi;

typedef enum CheckFormat { FORMAT_HUMAN, FORMAT_GCC, FORMAT_GITHUB, FORMAT_JSON } CheckFormat;

typedef struct CheckOptions {
  int fix;
  int jobs;
  CheckFormat format;
  CheckAnsi ansi;
  int editorconfig; /* 0 with --no-editorconfig */
  /* From the command line, over .editorconfig: 0 when not given. */
  int have_charset;
  CheckCharset charset;
  CheckBom charset_bom; /* utf-8 forbids the BOM, utf-8-bom requires it */
  int have_eol;
  CheckEol eol;
  int have_bom;
  CheckBom bom;
} CheckOptions;

/* The rule for `path`: .editorconfig's charset and end_of_line (nearest file
 * first, up to one with root = true), then the command line's flags over
 * them. 0, or -1 with a configuration error in `error` (a file and line of a
 * .editorconfig that cannot be parsed). */
int check_rule_for(const CheckOptions* options, const char* path, CheckRule* rule, char* error,
                   size_t error_size);

/* ===== Files and their findings ========================================= */

typedef enum CheckStatus {
  STATUS_OK,       /* everything holds */
  STATUS_BINARY,   /* a binary file: counted, not checked */
  STATUS_SKIPPED,  /* a link, a special file, too large: reported, left alone */
  STATUS_FINDINGS, /* something is wrong (and was not fixed) */
  STATUS_FIXED,    /* --fix rewrote it */
  STATUS_GONE      /* listed by git or the walk but no longer there: not shown */
} CheckStatus;

typedef enum CheckLevel { LEVEL_ERROR, LEVEL_WARNING } CheckLevel;

typedef struct CheckFinding {
  CheckLevel level;
  const char* rule; /* "charset", "bom", "eol", "fix", "read", "skip", "config" */
  int64_t line;     /* 1-based; 0 when the finding is about the whole file */
  int64_t col;
  char* message;
  int fixed;
} CheckFinding;

typedef struct CheckFile {
  char* path;
  int from_walk; /* found by walking a directory, not named on the command line */
  CheckStatus status;
  const char* encoding;    /* the library's name, NULL when not read */
  const char* line_ending; /* the library's name, NULL when not read */
  CheckFinding* findings;
  size_t count;
  size_t capacity;
  int config_error; /* a .editorconfig that cannot be parsed */
} CheckFile;

/* Appends a finding (the message printf-style); 0, or -1 when memory ran out. */
int check_add(CheckFile* file, CheckLevel level, const char* rule, int64_t line, int64_t col,
              const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 6, 7)))
#endif
    ;
void check_file_free(CheckFile* file);

/* Checks one file (and fixes it with options->fix), filling in status and
 * findings. Safe to run on several files at once. */
void check_one(const CheckOptions* options, CheckFile* file);

/* ===== The files to check =============================================== */

typedef struct CheckList {
  CheckFile* files;
  size_t count;
  size_t capacity;
} CheckList;

/* Adds the operand `path`: a directory is walked (inside a git work tree
 * only what git shows), anything else is taken as it is. 0, or -1 after
 * reporting on stderr. */
int check_list_add(CheckList* list, const char* path);
void check_list_free(CheckList* list);

/* ===== Threads ========================================================== */

/* Runs check_one on every file with `jobs` threads, calling `report` on each
 * file in list order as soon as it and all before it are done. */
void check_run_pool(const CheckOptions* options, CheckList* list, int jobs,
                    void (*report)(const CheckFile* file, void* context), void* context);

/* The gate of the calls whose failure message is printed (check_gate.c):
 * enter and leave around each call; after a failure, leave, enter alone,
 * repeat the call, read tf_last_error, and leave alone. */
void check_gate_enter(void);
void check_gate_leave(void);
void check_gate_enter_alone(void);
void check_gate_leave_alone(void);

/* The number of processors that the process may use (at least 1). */
int check_cpu_count(void);

/* ===== Output =========================================================== */

typedef struct CheckTotals {
  int64_t files;    /* checked: every file but the gone ones */
  int64_t binary;   /* binary files skipped */
  int64_t skipped;  /* links, special and too large files left alone */
  int64_t findings; /* errors, fixed ones included */
  int64_t warnings;
  int64_t fixed_files;
  int64_t bad_files;    /* files with an error that is not fixed */
  int64_t shown_errors; /* github: annotations written so far */
  int64_t shown_warnings;
  int config_error;
} CheckTotals;

void check_report_file(CheckFormat format, const CheckFile* file, CheckTotals* totals);
void check_report_summary(CheckFormat format, int fix, const CheckTotals* totals);

#endif /* QUOBRIX_TEXTFILE_CHECK_H */
