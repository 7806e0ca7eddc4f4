/* Does an "ansi" file look like UTF-8 with a few bad bytes? The library
 * calls a file "ansi" at its first ill-formed UTF-8 sequence, so a UTF-8 file
 * with one bad byte (a cut download, a truncated last character) is read as
 * single bytes, and converting it would encode its UTF-8 a second time
 * ("café" would become "cafÃ©"). Well-formed multi-byte sequences are what
 * tells: in single-byte text they need a byte C2-F4 followed at once by the
 * right number of bytes 80-BF (in Latin-1 an accented capital and then a
 * sign such as "»" or "©"), which real text hardly ever holds, while nearly
 * every accented letter in it stands alone and is a stray byte. */
#include <stddef.h>
#include <stdint.h>

#include "common/file_verdict.h"

typedef struct Scanner {
  CliUtf8Evidence evidence;
  int need;          /* continuation bytes still wanted by the current sequence */
  int taken;         /* continuation bytes it has already */
  unsigned char low; /* the range allowed for the next one */
  unsigned char high;
} Scanner;

/* A sequence that broke off: its first byte is a stray, and so is each
 * continuation byte it had taken, since none of them starts a sequence. */
static void scanner_break(Scanner* s) {
  s->evidence.strays += 1 + s->taken;
  ++s->evidence.places;
  s->need = 0;
  s->taken = 0;
}

static void scanner_start(Scanner* s, unsigned char b) {
  s->low = 0x80;
  s->high = 0xBF;
  s->taken = 0;
  if (b < 0x80) {
    s->need = 0;
  } else if (b >= 0xC2 && b <= 0xDF) {
    s->need = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    s->need = 2;
    if (b == 0xE0) s->low = 0xA0;  /* no overlong forms */
    if (b == 0xED) s->high = 0x9F; /* no surrogates */
  } else if (b >= 0xF0 && b <= 0xF4) {
    s->need = 3;
    if (b == 0xF0) s->low = 0x90;
    if (b == 0xF4) s->high = 0x8F; /* nothing above U+10FFFF */
  } else {
    s->need = 0;
    ++s->evidence.strays; /* 80-C1, F5-FF */
    ++s->evidence.places;
  }
}

/* One byte, the same steps as the library's own UTF-8 check. */
static void scanner_byte(Scanner* s, unsigned char b) {
  if (s->need > 0) {
    if (b >= s->low && b <= s->high) {
      ++s->taken;
      s->low = 0x80;
      s->high = 0xBF;
      if (--s->need == 0) {
        ++s->evidence.sequences;
        s->taken = 0;
      }
      return;
    }
    scanner_break(s);
  }
  scanner_start(s, b);
}

void cli_utf8_evidence(const void* bytes, size_t length, CliUtf8Evidence* out) {
  const unsigned char* b = bytes;
  Scanner s = {{0, 0, 0}, 0, 0, 0x80, 0xBF};
  for (size_t i = 0; i < length; ++i) {
    scanner_byte(&s, b[i]);
    /* The first byte of a run of ASCII ends a sequence in progress; the
     * others count nothing. */
    if (b[i] < 0x80) {
      while (i + 1 < length && b[i + 1] < 0x80) ++i;
    }
  }
  if (s.need > 0) scanner_break(&s); /* cut off by the end of the file */
  *out = s.evidence;
}
