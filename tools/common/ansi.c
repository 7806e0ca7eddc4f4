/* Does an "ansi" document look like UTF-8 with a few bad bytes? The library
 * calls a file "ansi" at its first ill-formed UTF-8 sequence, so a UTF-8 file
 * with one bad byte (a cut download, a truncated last character) is read as
 * single bytes, and converting it would encode its UTF-8 a second time
 * ("café" would become "cafÃ©"). Well-formed multi-byte sequences are what
 * tells: in single-byte text they need a byte C2-F4 followed at once by the
 * right number of bytes 80-BF (in Latin-1 an accented capital and then a
 * sign such as "»" or "©"), which real text hardly ever holds, while nearly
 * every accented letter in it stands alone and is a stray byte. */
#include <stdint.h>
#include <stdlib.h>

#include "cli.h"
#include "quobrix_textfile.h"

#define CLI_SCAN_PAGE (1 << 20)

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

/* Feeds the bytes behind a piece of the text: U+0000..U+007F are one byte
 * of UTF-8, U+0080..U+00FF two (C2 or C3, then one more). */
static int scanner_text(Scanner* s, const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char t = (unsigned char)text[i];
    if (t < 0x80) {
      /* The first byte of a run of ASCII ends a sequence in progress; the
       * others count nothing. */
      scanner_byte(s, t);
      while (i + 1 < length && (unsigned char)text[i + 1] < 0x80) ++i;
    } else if ((t == 0xC2 || t == 0xC3) && i + 1 < length) {
      scanner_byte(s, (unsigned char)(((t & 0x03) << 6) | ((unsigned char)text[++i] & 0x3F)));
    } else {
      return -1;
    }
  }
  return 0;
}

int cli_utf8_evidence(int handle, int64_t text_bytes, CliUtf8Evidence* out, const char** why) {
  Scanner s = {{0, 0, 0}, 0, 0, 0x80, 0xBF};
  CliBytes page = {NULL, 0, 0};
  int64_t offset = 0;
  int status = 0;
  /* The whole text at once when tf_full hands it over, else page by page
   * (each page ends at a 0x00 byte, so paging is the slower way). */
  char* whole = tf_full(handle);
  *why = NULL;
  if (whole != NULL) {
    status = scanner_text(&s, whole, (size_t)text_bytes);
    if (status != 0) *why = "unexpected text for an ansi file";
    tf_free_string(whole);
    offset = -1;
  }
  while (offset >= 0) {
    int64_t consumed;
    page.length = 0;
    consumed = cli_read_page(handle, offset, CLI_SCAN_PAGE, &page, why);
    if (consumed < 0) {
      status = -1;
      break;
    }
    if (consumed == 0) break;
    if (scanner_text(&s, page.data, page.length) != 0) {
      *why = "unexpected text for an ansi file";
      status = -1;
      break;
    }
    offset += consumed;
  }
  if (s.need > 0) scanner_break(&s); /* cut off by the end of the file */
  cli_bytes_free(&page);
  *out = s.evidence;
  return status;
}
