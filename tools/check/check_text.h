/* check's view of one document: what the library detected, its decoded text,
 * the line breaks in it, and the places that findings name. */
#ifndef QUOBRIX_TEXTFILE_CHECK_TEXT_H
#define QUOBRIX_TEXTFILE_CHECK_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include "check/check.h"

typedef struct CheckText {
  char* data; /* the decoded UTF-8 text */
  size_t length;
  int owned; /* data is malloc'ed here (else it lies in the file's bytes) */
} CheckText;

void check_text_free(CheckText* text);

/* tf_info of an open document. The names are the library's own, in static
 * storage here. */
typedef struct CheckInfo {
  const char* encoding;    /* "utf8", "utf8-bom", "utf16le" or "ansi" */
  const char* line_ending; /* "lf", "crlf", "cr" or "mixed" */
  int sanitized;
  int64_t bytes;
  int64_t raw_bytes;
} CheckInfo;

/* tf_open and tf_info: the handle, or -1 after adding the failure as a
 * finding. */
int check_open(CheckFile* file, CheckInfo* info);

/* The decoded text of `handle`, `bytes` long: 0, or -1. The library decodes
 * a "utf8" file to its very bytes, and a "utf8-bom" one that it did not
 * sanitize to the bytes after the mark: those are taken from `raw` without
 * a copy (and without holding the library's lock for one). */
int check_text_read(int handle, const CheckInfo* info, const unsigned char* raw, size_t raw_length,
                    CheckText* text);

/* The library's line and column of a byte offset of the decoded text; 1:1
 * when it cannot tell. */
void check_linecol(int handle, int64_t offset, int64_t* line, int64_t* col);

/* Offsets in the decoded text, -1 when there is none. */
int64_t check_text_find_replacement(const CheckText* text); /* the first U+FFFD */
int64_t check_text_first_non_ascii(const CheckText* text);

/* The offset of the first byte of `raw` that starts no well-formed UTF-8
 * sequence (`length` when there is none), and where that byte lies in the
 * text the library decoded from an "ansi" file (one character per byte). */
size_t check_first_invalid_utf8(const unsigned char* raw, size_t length);
int64_t check_ansi_offset(const unsigned char* raw, size_t index);

/* Line breaks, counted as the library counts lines: LF, CR LF once, a lone CR. */
enum { CHECK_BREAK_LF, CHECK_BREAK_CRLF, CHECK_BREAK_CR };
typedef struct CheckBreaks {
  int64_t count[3];
  int first; /* the kind of the first break, -1 when there is none */
} CheckBreaks;

void check_text_breaks(const CheckText* text, CheckBreaks* breaks);
/* The most frequent kind (the first one's on a tie), LF when there is none. */
int check_breaks_majority(const CheckBreaks* breaks);
/* How many breaks are not of `kind`. */
int64_t check_breaks_other(const CheckBreaks* breaks, int kind);
/* Where the first break not of `kind` starts, and the kind of the break at an
 * offset. */
int64_t check_text_first_other(const CheckText* text, int kind);
int check_text_break_at(const CheckText* text, int64_t offset);
/* Every break made `kind`, in place (the text may grow); 0, or -1. */
int check_text_normalise(CheckText* text, int kind);

/* ===== Binary files and "ansi" text ===================================== */

#define CHECK_VERDICT_BINARY "binary"

/* NULL for text; CHECK_VERDICT_BINARY for a binary file; or the finding's
 * message for text that the library would misread (UTF-16LE without a BOM). */
const char* check_binary_verdict(const unsigned char* raw, size_t length);

/* The text of an "ansi" document in UTF-8 as --ansi reads its bytes 80-FF;
 * 0, or -1 with the reason for refusing in *why (text that looks like UTF-8
 * with a few bad bytes, bytes 80-9F without --ansi, bytes that cp1252 leaves
 * undefined). */
int check_convert_ansi(const unsigned char* raw, size_t length, CheckAnsi ansi, CheckText* out,
                       char reason[256], const char** why);

#endif /* QUOBRIX_TEXTFILE_CHECK_TEXT_H */
