/* The binary verdict and the ansi code-page policy (file_verdict.h). */
#include "common/file_verdict.h"

#include <stdio.h>
#include <string.h>

/* ---- the binary verdict ------------------------------------------------- */

/* C0 controls that text holds: bell, backspace, tab, LF, vertical tab, form
 * feed, CR, escape (terminal logs, troff sources, overstrike in manuals). */
static int is_text_control(unsigned char b) { return (b >= 0x07 && b <= 0x0D) || b == 0x1B; }

/* Two or more C0 controls in a row that text does not hold; `*run` is the
 * length of the run the bytes before these ended with, and becomes the one
 * these end with. Eight bytes at a time are tested for a byte below 0x20 at
 * all; only those that hold one (line breaks, mostly) are looked at byte by
 * byte. */
static int has_control_run(const unsigned char* b, size_t length, size_t* run_so_far) {
  const uint64_t ones = 0x0101010101010101u;
  size_t run = *run_so_far;
  size_t i = 0;
  while (i < length) {
    if (i + 8 <= length) {
      uint64_t word;
      memcpy(&word, b + i, 8);
      if (((word - ones * 0x20) & ~word & ones * 0x80) == 0) {
        run = 0;
        i += 8;
        continue;
      }
    }
    for (const size_t end = i + 8 < length ? i + 8 : length; i < end; ++i) {
      if (b[i] >= 0x20 || is_text_control(b[i])) {
        run = 0;
      } else if (++run >= 2) {
        *run_so_far = run;
        return 1;
      }
    }
  }
  *run_so_far = run;
  return 0;
}

/* A 0x00 byte that is the high half of a UTF-16 unit whose low half is
 * `low` makes a control character that text does not hold? */
static int bad_unit(unsigned char low) { return low < 0x20 && !is_text_control(low); }

void cli_raw_scan_init(CliRawScan* scan, int ansi) {
  memset(scan, 0, sizeof *scan);
  scan->ansi = ansi;
  cli_utf8_scan_init(&scan->utf8);
  scan->c1_at = UINT64_MAX;
  scan->undefined_at = UINT64_MAX;
}

static int starts_with_utf16le_mark(const CliRawScan* scan) {
  return scan->length >= 2 && scan->first[0] == 0xFF && scan->first[1] == 0xFE;
}

/* The 0x00 bytes, counted by the parity of their offset in the file, and
 * the units they are the high half of (UTF-16LE: the byte before an odd
 * one; UTF-16BE: the byte after an even one, which may open the next
 * piece). */
static void feed_zeros(CliRawScan* scan, const unsigned char* b, size_t length) {
  const unsigned char* at = b;
  const unsigned char* end = b + length;
  if (scan->zero_waits) {
    scan->zero_waits = 0;
    if (bad_unit(b[0])) scan->bad_pair[0] = 1;
  }
  while (at < end && (at = memchr(at, 0, (size_t)(end - at))) != NULL) {
    const int odd = (int)((scan->length + (uint64_t)(at - b)) & 1);
    ++scan->zeros[odd];
    if (odd) {
      if (bad_unit(at > b ? at[-1] : scan->last)) scan->bad_pair[1] = 1;
    } else if (at + 1 < end) {
      if (bad_unit(at[1])) scan->bad_pair[0] = 1;
    } else {
      scan->zero_waits = 1;
    }
    ++at;
  }
}

static void feed_c1(CliRawScan* scan, const unsigned char* b, size_t length);

void cli_raw_scan_feed(CliRawScan* scan, const void* bytes, size_t length) {
  const unsigned char* b = bytes;
  if (length == 0) return;
  for (size_t i = 0; scan->length + i < 2 && i < length; ++i) scan->first[scan->length + i] = b[i];
  if (scan->ansi) {
    cli_utf8_scan_feed(&scan->utf8, b, length);
    feed_c1(scan, b, length);
  }
  /* Once the mark is seen, or 0x00 bytes at both parities, the verdict is
   * settled: only the length still counts. */
  if (!(scan->length + length >= 2 && scan->first[0] == 0xFF && scan->first[1] == 0xFE) &&
      (scan->zeros[0] == 0 || scan->zeros[1] == 0)) {
    feed_zeros(scan, b, length);
    if (scan->zeros[0] + scan->zeros[1] == 0 && !scan->control_run) {
      scan->control_run = has_control_run(b, length, &scan->run);
    }
  }
  scan->last = b[length - 1];
  scan->length += length;
}

CliVerdict cli_raw_scan_verdict(const CliRawScan* scan) {
  const uint64_t pairs = scan->length / 2;
  if (starts_with_utf16le_mark(scan)) return CLI_VERDICT_TEXT;
  if (scan->zeros[0] + scan->zeros[1] == 0) {
    return scan->control_run ? CLI_VERDICT_BINARY : CLI_VERDICT_TEXT;
  }
  /* UTF-16 text: every character of ASCII and Latin-1 has a 0x00 half, no
   * character has two, and a text has mostly such characters. */
  if (scan->zeros[0] == 0 && scan->zeros[1] >= 2 && scan->zeros[1] * 2 >= pairs &&
      !scan->bad_pair[1]) {
    return CLI_VERDICT_UTF16LE_NO_BOM;
  }
  if (scan->zeros[1] == 0 && scan->zeros[0] >= 2 && scan->zeros[0] * 2 >= pairs &&
      !scan->bad_pair[0]) {
    return CLI_VERDICT_UTF16BE;
  }
  return CLI_VERDICT_BINARY;
}

CliVerdict cli_file_verdict(const void* bytes, size_t length) {
  CliRawScan scan;
  cli_raw_scan_init(&scan, 0);
  cli_raw_scan_feed(&scan, bytes, length);
  return cli_raw_scan_verdict(&scan);
}

/* Each verdict's name for people and its id for JSON, in CliVerdict's order. */
static const struct {
  const char* name;
  const char* id;
} verdicts[] = {{"text", "text"},
                {"binary", "binary"},
                {"UTF-16LE without a BOM?", "utf16le-no-bom"},
                {"UTF-16BE?", "utf16be"}};

static unsigned verdict_index(CliVerdict verdict) {
  const unsigned i = (unsigned)verdict;
  return i < sizeof verdicts / sizeof verdicts[0] ? i : (unsigned)CLI_VERDICT_BINARY;
}

const char* cli_verdict_name(CliVerdict verdict) { return verdicts[verdict_index(verdict)].name; }

const char* cli_verdict_id(CliVerdict verdict) { return verdicts[verdict_index(verdict)].id; }

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
  if (cli_fold_name(name, folded, sizeof folded) != 0) return -1;
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

/* The first byte 80-9F, and the first that Windows-1252 leaves undefined. */
static void feed_c1(CliRawScan* scan, const unsigned char* b, size_t length) {
  const uint64_t ones = 0x0101010101010101u;
  if (scan->undefined_at != UINT64_MAX) return;
  for (size_t i = 0; i < length; ++i) {
    /* Eight bytes at a time: none of them is 100xxxxx? */
    while (i + 8 <= length) {
      uint64_t word;
      memcpy(&word, b + i, 8);
      word = (word & ones * 0xE0) ^ ones * 0x80;
      if (((word - ones) & ~word & ones * 0x80) != 0) break;
      i += 8;
    }
    if (i >= length) break;
    if (b[i] < 0x80 || b[i] > 0x9F) continue;
    if (scan->c1_at == UINT64_MAX) {
      scan->c1_at = scan->length + i;
      scan->c1_byte = b[i];
    }
    if (cp1252_high[b[i] - 0x80] == 0) {
      scan->undefined_at = scan->length + i;
      scan->undefined_byte = b[i];
      return;
    }
  }
}

const char* cli_raw_scan_refusal(const CliRawScan* scan, CliAnsiPage page, int from_ansi,
                                 char* buffer, size_t size) {
  if (!from_ansi) {
    CliUtf8Evidence evidence;
    cli_utf8_scan_finish(&scan->utf8, &evidence);
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
  if (page == CLI_ANSI_CP1252) {
    if (scan->undefined_at == UINT64_MAX) return NULL;
    snprintf(buffer, size,
             "holds byte %02X (at offset %llu), which Windows-1252 does not define; not converted "
             "(--ansi latin1 reads it as a control character)",
             scan->undefined_byte, (unsigned long long)scan->undefined_at);
  } else {
    if (scan->c1_at == UINT64_MAX) return NULL;
    snprintf(buffer, size,
             "holds bytes 80-9F (%02X at offset %llu), control characters in Latin-1 but "
             "punctuation in Windows-1252; name the code page: --ansi cp1252 or --ansi latin1",
             scan->c1_byte, (unsigned long long)scan->c1_at);
  }
  return buffer;
}

const char* cli_ansi_refusal(const void* bytes, size_t length, CliAnsiPage page, int from_ansi,
                             char* buffer, size_t size) {
  CliRawScan scan; /* its ansi half only: the verdict is asked for apart */
  cli_raw_scan_init(&scan, 1);
  cli_utf8_scan_feed(&scan.utf8, bytes, length);
  feed_c1(&scan, bytes, length);
  return cli_raw_scan_refusal(&scan, page, from_ansi, buffer, size);
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
