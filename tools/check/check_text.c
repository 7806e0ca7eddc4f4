/* Scans over a document's decoded text and raw bytes: line breaks counted as
 * the library counts them, the first break of another kind, the first
 * replacement character, the first byte that is not UTF-8; and line endings
 * made one kind. */
#include "check/check_text.h"

#include <stdlib.h>
#include <string.h>

void check_text_free(CheckText* text) {
  if (text->owned) free(text->data);
  text->owned = 0;
  text->data = NULL;
  text->length = 0;
}

int64_t check_text_find_replacement(const CheckText* text) {
  for (size_t i = 0; i + 2 < text->length; ++i) {
    const unsigned char* p = (const unsigned char*)text->data + i;
    if (p[0] == 0xEF && p[1] == 0xBF && p[2] == 0xBD) return (int64_t)i;
  }
  return -1;
}

int64_t check_text_first_non_ascii(const CheckText* text) {
  for (size_t i = 0; i < text->length; ++i) {
    if ((unsigned char)text->data[i] >= 0x80) return (int64_t)i;
  }
  return -1;
}

/* The length of the well-formed UTF-8 sequence at p (n bytes left), 0 when
 * none starts there. */
static size_t utf8_sequence(const unsigned char* p, size_t n) {
  const unsigned char b = p[0];
  unsigned char low = 0x80, high = 0xBF;
  size_t need;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (need >= n) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t k = 2; k <= need; ++k) {
    if (p[k] < 0x80 || p[k] > 0xBF) return 0;
  }
  return need + 1;
}

size_t check_first_invalid_utf8(const unsigned char* raw, size_t length) {
  size_t i = 0;
  while (i < length) {
    size_t step;
    while (i + 8 <= length) { /* ASCII eight bytes at a time */
      uint64_t word;
      memcpy(&word, raw + i, 8);
      if ((word & 0x8080808080808080ull) != 0) break;
      i += 8;
    }
    if (i >= length) break;
    step = utf8_sequence(raw + i, length - i);
    if (step == 0) return i;
    i += step;
  }
  return length;
}

int64_t check_ansi_offset(const unsigned char* raw, size_t index) {
  int64_t offset = (int64_t)index;
  for (size_t i = 0; i < index; ++i) offset += raw[i] >= 0x80;
  return offset;
}

/* The kind of break at i (text[i] is CR or LF) and its length. */
static int break_at(const char* data, size_t length, size_t i, size_t* size) {
  if (data[i] == '\n') {
    *size = 1;
    return CHECK_BREAK_LF;
  }
  if (i + 1 < length && data[i + 1] == '\n') {
    *size = 2;
    return CHECK_BREAK_CRLF;
  }
  *size = 1;
  return CHECK_BREAK_CR;
}

/* The next CR and the next LF, each found once, so that a text of only one
 * kind is not searched again for the other at every break. */
typedef struct BreakScan {
  const char* data;
  size_t length;
  size_t cr; /* positions; `length` when there is none */
  size_t lf;
} BreakScan;

static size_t find_from(const char* data, size_t length, size_t i, char c) {
  const char* p = i < length ? memchr(data + i, c, length - i) : NULL;
  return p != NULL ? (size_t)(p - data) : length;
}

static void scan_start(BreakScan* scan, const CheckText* text) {
  scan->data = text->data;
  scan->length = text->length;
  scan->cr = find_from(text->data, text->length, 0, '\r');
  scan->lf = find_from(text->data, text->length, 0, '\n');
}

/* The next CR or LF at or after i, `length` when there is none. */
static size_t next_break(BreakScan* scan, size_t i) {
  if (scan->cr < i) scan->cr = find_from(scan->data, scan->length, i, '\r');
  if (scan->lf < i) scan->lf = find_from(scan->data, scan->length, i, '\n');
  return scan->cr < scan->lf ? scan->cr : scan->lf;
}

void check_text_breaks(const CheckText* text, CheckBreaks* breaks) {
  size_t i = 0;
  BreakScan scan;
  scan_start(&scan, text);
  memset(breaks, 0, sizeof *breaks);
  breaks->first = -1;
  while ((i = next_break(&scan, i)) < text->length) {
    size_t size;
    const int kind = break_at(text->data, text->length, i, &size);
    if (breaks->first < 0) breaks->first = kind;
    ++breaks->count[kind];
    i += size;
  }
}

int check_breaks_majority(const CheckBreaks* breaks) {
  int best = breaks->first < 0 ? CHECK_BREAK_LF : breaks->first;
  for (int kind = 0; kind < 3; ++kind) {
    if (breaks->count[kind] > breaks->count[best]) best = kind;
  }
  return best;
}

int64_t check_breaks_other(const CheckBreaks* breaks, int kind) {
  return breaks->count[0] + breaks->count[1] + breaks->count[2] - breaks->count[kind];
}

int64_t check_text_first_other(const CheckText* text, int kind) {
  size_t i = 0;
  BreakScan scan;
  scan_start(&scan, text);
  while ((i = next_break(&scan, i)) < text->length) {
    size_t size;
    if (break_at(text->data, text->length, i, &size) != kind) return (int64_t)i;
    i += size;
  }
  return -1;
}

int check_text_break_at(const CheckText* text, int64_t offset) {
  size_t size;
  if (offset < 0 || (size_t)offset >= text->length) return CHECK_BREAK_LF;
  return break_at(text->data, text->length, (size_t)offset, &size);
}

int check_text_normalise(CheckText* text, int kind) {
  static const char* const spelling[] = {"\n", "\r\n", "\r"};
  const size_t want = kind == CHECK_BREAK_CRLF ? 2 : 1;
  CheckBreaks breaks;
  size_t out_length;
  char* out;
  size_t i = 0, o = 0;
  BreakScan scan;
  check_text_breaks(text, &breaks);
  scan_start(&scan, text);
  out_length = text->length +
               (size_t)(breaks.count[CHECK_BREAK_LF] + breaks.count[CHECK_BREAK_CR]) * (want - 1) -
               (size_t)breaks.count[CHECK_BREAK_CRLF] * (2 - want);
  out = malloc(out_length + 1);
  if (out == NULL) return -1;
  while (i < text->length) {
    const size_t at = next_break(&scan, i);
    size_t size;
    memcpy(out + o, text->data + i, at - i);
    o += at - i;
    if (at >= text->length) break;
    break_at(text->data, text->length, at, &size);
    memcpy(out + o, spelling[kind], want);
    o += want;
    i = at + size;
  }
  out[o] = '\0';
  check_text_free(text);
  text->data = out;
  text->owned = 1;
  text->length = o;
  return 0;
}
