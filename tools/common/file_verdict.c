/* The binary verdict and the ansi code-page policy (file_verdict.h). */
#include "common/file_verdict.h"

#include <stdio.h>
#include <string.h>

/* ---- the binary verdict ------------------------------------------------- */

/* C0 controls that text holds: bell, backspace, tab, LF, vertical tab, form
 * feed, CR, escape (terminal logs, troff sources, overstrike in manuals). */
static int is_text_control(unsigned char b) { return (b >= 0x07 && b <= 0x0D) || b == 0x1B; }

/* Two or more C0 controls in a row that text does not hold. */
static int has_control_run(const unsigned char* b, size_t length) {
  size_t run = 0;
  for (size_t i = 0; i < length; ++i) {
    if (b[i] >= 0x20 || is_text_control(b[i])) {
      run = 0;
    } else if (++run >= 2) {
      return 1;
    }
  }
  return 0;
}

/* UTF-16 whose high halves are at offsets of parity `high`: at least two
 * of them and half of the pairs are 0x00, and the characters U+0000-U+00FF
 * that they make are not controls that text does not hold. */
static int utf16_like(const unsigned char* b, size_t length, int high, size_t zeros) {
  const size_t pairs = length / 2;
  if (zeros < 2 || zeros * 2 < pairs) return 0;
  for (size_t i = 0; i + 1 < length; i += 2) {
    const unsigned char low = b[i + (size_t)(1 - high)];
    if (b[i + (size_t)high] == 0 && low < 0x20 && !is_text_control(low)) return 0;
  }
  return 1;
}

CliVerdict cli_file_verdict(const void* bytes, size_t length) {
  const unsigned char* b = bytes;
  const unsigned char* at = b;
  const unsigned char* end = b + length;
  size_t zeros[2] = {0, 0}; /* 0x00 bytes at even and at odd offsets */
  if (length >= 2 && b[0] == 0xFF && b[1] == 0xFE) return CLI_VERDICT_TEXT;
  while (at < end && (at = memchr(at, 0, (size_t)(end - at))) != NULL) {
    ++zeros[(size_t)(at - b) & 1];
    ++at;
  }
  if (zeros[0] + zeros[1] == 0) {
    return has_control_run(b, length) ? CLI_VERDICT_BINARY : CLI_VERDICT_TEXT;
  }
  /* UTF-16 text: every character of ASCII and Latin-1 has a 0x00 half, no
   * character has two, and a text has mostly such characters. */
  if (zeros[0] == 0 && utf16_like(b, length, 1, zeros[1])) return CLI_VERDICT_UTF16LE_NO_BOM;
  if (zeros[1] == 0 && utf16_like(b, length, 0, zeros[0])) return CLI_VERDICT_UTF16BE;
  return CLI_VERDICT_BINARY;
}

const char* cli_verdict_name(CliVerdict verdict) {
  switch (verdict) {
    case CLI_VERDICT_TEXT:
      return "text";
    case CLI_VERDICT_BINARY:
      return "binary";
    case CLI_VERDICT_UTF16LE_NO_BOM:
      return "UTF-16LE without a BOM?";
    case CLI_VERDICT_UTF16BE:
      return "UTF-16BE?";
  }
  return "binary";
}

const char* cli_verdict_id(CliVerdict verdict) {
  switch (verdict) {
    case CLI_VERDICT_TEXT:
      return "text";
    case CLI_VERDICT_BINARY:
      return "binary";
    case CLI_VERDICT_UTF16LE_NO_BOM:
      return "utf16le-no-bom";
    case CLI_VERDICT_UTF16BE:
      return "utf16be";
  }
  return "binary";
}

/* ---- the ansi code page ------------------------------------------------- */

static const struct {
  const char* spelling; /* lower case, separators removed */
  CliAnsiPage page;
} pages[] = {
    {"latin1", CLI_ANSI_LATIN1}, {"iso88591", CLI_ANSI_LATIN1},    {"l1", CLI_ANSI_LATIN1},
    {"cp1252", CLI_ANSI_CP1252}, {"windows1252", CLI_ANSI_CP1252}, {"win1252", CLI_ANSI_CP1252},
};

int cli_ansi_page(const char* name, CliAnsiPage* out) {
  char folded[32];
  size_t length = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    char ch = *c;
    if (ch == '-' || ch == '_' || ch == ' ') continue;
    if (ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
    if (length + 1 >= sizeof folded) return -1;
    folded[length++] = ch;
  }
  folded[length] = '\0';
  for (size_t i = 0; i < sizeof pages / sizeof pages[0]; ++i) {
    if (strcmp(folded, pages[i].spelling) == 0) {
      *out = pages[i].page;
      return 0;
    }
  }
  return -1;
}

/* Windows-1252's characters for bytes 80-9F; 0 where it defines none. */
static const uint16_t cp1252_high[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

/* The offset of the first byte in 80-9F from `from` on (for `undefined`:
 * the first that Windows-1252 leaves undefined), or `length`. */
static size_t find_c1(const unsigned char* b, size_t from, size_t length, int undefined) {
  for (size_t i = from; i < length; ++i) {
    if (b[i] >= 0x80 && b[i] <= 0x9F && (!undefined || cp1252_high[b[i] - 0x80] == 0)) return i;
  }
  return length;
}

const char* cli_ansi_refusal(const void* bytes, size_t length, CliAnsiPage page, int from_ansi,
                             char* buffer, size_t size) {
  const unsigned char* b = bytes;
  size_t at;
  if (!from_ansi) {
    CliUtf8Evidence evidence;
    cli_utf8_evidence(bytes, length, &evidence);
    if (evidence.sequences > 0) {
      snprintf(buffer, size,
               "looks like UTF-8 with %lld byte%s that %s not; converting would encode it twice "
               "(--from-ansi converts anyway)",
               (long long)evidence.strays, evidence.strays == 1 ? "" : "s",
               evidence.strays == 1 ? "is" : "are");
      return buffer;
    }
  }
  if (page == CLI_ANSI_LATIN1) return NULL;
  at = find_c1(b, 0, length, page == CLI_ANSI_CP1252);
  if (at == length) return NULL;
  if (page == CLI_ANSI_CP1252) {
    snprintf(buffer, size,
             "holds byte %02X (at offset %llu), which Windows-1252 does not define; not converted "
             "(--ansi latin1 reads it as a control character)",
             b[at], (unsigned long long)at);
  } else {
    snprintf(buffer, size,
             "holds bytes 80-9F (%02X at offset %llu), control characters in Latin-1 but "
             "punctuation in Windows-1252; name the code page: --ansi cp1252 or --ansi latin1",
             b[at], (unsigned long long)at);
  }
  return buffer;
}

int cli_ansi_decode(const void* bytes, size_t length, CliAnsiPage page, CliBytes* out) {
  const unsigned char* b = bytes;
  unsigned char chunk[4096 * 3];
  size_t used = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned c = b[i];
    if (page == CLI_ANSI_CP1252 && c >= 0x80 && c <= 0x9F && cp1252_high[c - 0x80] != 0) {
      c = cp1252_high[c - 0x80];
    }
    if (used + 3 > sizeof chunk) {
      if (cli_bytes_append(out, chunk, used) != 0) return -1;
      used = 0;
    }
    if (c < 0x80) {
      chunk[used++] = (unsigned char)c;
    } else if (c < 0x800) {
      chunk[used++] = (unsigned char)(0xC0 | (c >> 6));
      chunk[used++] = (unsigned char)(0x80 | (c & 0x3F));
    } else {
      chunk[used++] = (unsigned char)(0xE0 | (c >> 12));
      chunk[used++] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
      chunk[used++] = (unsigned char)(0x80 | (c & 0x3F));
    }
  }
  return cli_bytes_append(out, chunk, used);
}
