/* What a file is, judged from its raw bytes alone, and what may be done with
 * an "ansi" one: the rules every command that writes files follows, so that
 * no command ever rewrites a file it would harm.
 *
 * 1. The binary verdict (cli_file_verdict). A file is "binary" when it holds
 *    a 0x00 byte, or a run of two or more C0 control bytes other than tab,
 *    LF, CR, form feed, escape, backspace, bell and vertical tab (troff
 *    sources and terminal logs hold bells; one stray control, such as a DOS
 *    end-of-file 0x1A, does not make a file binary). A file that starts
 *    with the UTF-16LE byte-order mark FF FE is judged text: its 0x00 bytes
 *    are the high halves of its characters. A file whose 0x00 bytes all sit
 *    on one side of its byte pairs, two or more and in at least half of the
 *    pairs, with no control character that text does not hold among
 *    the characters they make, is UTF-16 without a byte-order mark, which
 *    the library does not read: a verdict of its own (UTF-16BE, which the
 *    library does not read either, with or without its mark), never
 *    rewritten either.
 *    A binary file, whatever its verdict, is never converted or fixed.
 *
 * 2. The near-UTF-8 rule (cli_ansi_refusal). The library reads a file as
 *    "ansi" (one character per byte, U+0000-U+00FF) from its first byte
 *    that is not well-formed UTF-8 on. Real single-byte text almost never
 *    holds a well-formed UTF-8 sequence of two to four bytes (an accented
 *    capital followed at once by one to three signs from A0-BF), while UTF-8
 *    with a few bad bytes (a cut download, a line pasted from elsewhere)
 *    holds many. So an "ansi" file holding any such sequence is refused:
 *    converting it would encode its UTF-8 a second time ("café" would become
 *    "cafÃ©"). The user who knows better says so (from_ansi).
 *
 * 3. The ansi code page (CliAnsiPage). Bytes 80-9F are control characters
 *    in Latin-1 and punctuation in Windows-1252 (€ ‚ „ … “ ” – — ™ ...):
 *    an "ansi" file holding any of them is refused until the user names the
 *    code page (--ansi latin1 or --ansi cp1252). Windows-1252 leaves five
 *    of them undefined (81 8D 8F 90 9D): a file holding one is refused under
 *    cp1252. A file without bytes 80-9F reads the same in both.
 *
 * Everything here works on bytes in memory and allocates nothing except in
 * cli_ansi_decode; it never calls the library. The one-shot functions take
 * the whole file; CliRawScan takes it in pieces of any size, in order, and
 * gives the same answers without the file ever being held whole. */
#ifndef QUOBRIX_TEXTFILE_FILE_VERDICT_H
#define QUOBRIX_TEXTFILE_FILE_VERDICT_H

#include <stddef.h>
#include <stdint.h>

#include "cli.h"

typedef enum CliVerdict {
  CLI_VERDICT_TEXT = 0,
  CLI_VERDICT_BINARY = 1,
  CLI_VERDICT_UTF16LE_NO_BOM = 2, /* 0x00 at every other byte, the odd ones */
  CLI_VERDICT_UTF16BE = 3         /* the even ones, with or without the mark FE FF */
} CliVerdict;

/* The verdict on a file's raw bytes (all of them: the work is linear and
 * memory-speed). */
CliVerdict cli_file_verdict(const void* bytes, size_t length);

/* For people: "text", "binary", "UTF-16LE without a BOM?", "UTF-16BE?". */
const char* cli_verdict_name(CliVerdict verdict);
/* For JSON and scripts: "text", "binary", "utf16le-no-bom", "utf16be". */
const char* cli_verdict_id(CliVerdict verdict);

/* The code page of an "ansi" file, as the user named it. */
typedef enum CliAnsiPage {
  CLI_ANSI_UNSET = 0, /* not named: bytes 80-9F are refused */
  CLI_ANSI_LATIN1 = 1,
  CLI_ANSI_CP1252 = 2
} CliAnsiPage;

/* The page for a name as people write it ("latin1", "ISO-8859-1", "cp1252",
 * "Windows-1252", in either case, with or without separators); 0, or -1 for
 * any other name. */
int cli_ansi_page(const char* name, CliAnsiPage* out);

/* May the raw bytes of a file that the library read as "ansi" be converted
 * from the code page `page`? NULL when they may, else why not, in `buffer`
 * (`size` bytes; 256 always suffice), a message to print after "FILE: ".
 * `from_ansi` waives the near-UTF-8 rule, and only that one. */
const char* cli_ansi_refusal(const void* bytes, size_t length, CliAnsiPage page, int from_ansi,
                             char* buffer, size_t size);

/* Appends the raw bytes of an "ansi" file decoded as `page` to `out` as
 * UTF-8 (CLI_ANSI_UNSET reads as Latin-1, the library's own reading; a byte
 * that Windows-1252 leaves undefined becomes the Latin-1 control character,
 * as Windows itself maps it). 0, or -1 when memory runs out. */
int cli_ansi_decode(const void* bytes, size_t length, CliAnsiPage page, CliBytes* out);

/* In the raw bytes, the well-formed UTF-8 sequences of two to four bytes,
 * the bytes 80-FF that belong to none, and the places where such bytes are
 * (a sequence that breaks off after its first bytes is one place). */
typedef struct CliUtf8Evidence {
  int64_t sequences;
  int64_t strays;
  int64_t places;
} CliUtf8Evidence;
void cli_utf8_evidence(const void* bytes, size_t length, CliUtf8Evidence* out);

/* The same count over bytes that come in pieces: a sequence may be cut
 * anywhere between them. */
typedef struct CliUtf8Scan {
  CliUtf8Evidence evidence;
  int need;          /* continuation bytes still wanted by the current sequence */
  int taken;         /* continuation bytes it has already */
  unsigned char low; /* the range allowed for the next one */
  unsigned char high;
} CliUtf8Scan;
void cli_utf8_scan_init(CliUtf8Scan* scan);
void cli_utf8_scan_feed(CliUtf8Scan* scan, const void* bytes, size_t length);
/* The evidence of all the bytes fed, the last ones being the end of the
 * file (a sequence left open is cut off). */
void cli_utf8_scan_finish(const CliUtf8Scan* scan, CliUtf8Evidence* out);

/* Everything the commands need of a file's raw bytes, gathered while they
 * stream past: the verdict, the length, and for an "ansi" file (`ansi` at
 * init) the near-UTF-8 evidence and the first bytes in 80-9F. The caller
 * owns it (no globals: threads may scan files side by side). */
typedef struct CliRawScan {
  uint64_t length;        /* bytes fed so far */
  unsigned char first[2]; /* the first two bytes (the UTF-16LE mark?) */
  unsigned char last;     /* the byte fed last */
  int ansi;               /* gather the ansi evidence as well */
  uint64_t zeros[2];      /* 0x00 bytes at even and at odd offsets */
  int bad_pair[2];        /* a 0x00 at that parity paired with a control text lacks */
  int zero_waits;         /* the byte fed last is a 0x00 at an even offset */
  size_t run;             /* controls text lacks, in a row, at the end so far */
  int control_run;        /* a run of two or more seen */
  CliUtf8Scan utf8;       /* ansi only */
  uint64_t c1_at;         /* offset of the first byte 80-9F, or UINT64_MAX */
  uint64_t undefined_at;  /* of the first Windows-1252 leaves undefined */
  unsigned char c1_byte;
  unsigned char undefined_byte;
} CliRawScan;
void cli_raw_scan_init(CliRawScan* scan, int ansi);
void cli_raw_scan_feed(CliRawScan* scan, const void* bytes, size_t length);
/* cli_file_verdict of all the bytes fed. */
CliVerdict cli_raw_scan_verdict(const CliRawScan* scan);

/* tf_info of `file` (release with tf_free_string) and the verdict on its raw
 * bytes in `verdict`, streamed as the library reads them; NULL after
 * reporting why not (common/operands.c). */
char* cli_info_with_verdict(const char* file, CliVerdict* verdict);
/* cli_ansi_refusal of all the bytes fed (a scan begun with `ansi`). */
const char* cli_raw_scan_refusal(const CliRawScan* scan, CliAnsiPage page, int from_ansi,
                                 char* buffer, size_t size);

#endif /* QUOBRIX_TEXTFILE_FILE_VERDICT_H */
