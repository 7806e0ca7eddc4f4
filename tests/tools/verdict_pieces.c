/* The raw bytes scanned in pieces give the same verdict and the same ansi
 * refusals as scanned whole, wherever the pieces are cut: each input is cut
 * at every pair of points (three pieces, empty ones included). */
#include <stdio.h>
#include <string.h>

#include "common/file_verdict.h"

typedef struct Input {
  const char* bytes;
  size_t length;
} Input;

#define IN(s) \
  { s, sizeof s - 1 }

static const Input inputs[] = {
    IN(""),
    IN("a"),
    IN("\xFF"),
    IN("\xFF\xFE"),
    IN("\xFF\xFE\x01\x02\x00\x00"),
    IN("plain text\r\n\tand a bell\a\n"),
    IN("one stray \x1A control"),
    IN("a run \x01\x02 of two"),
    IN("\x01\x02"),
    IN("\x01"
       "abcdefghijklmnop"
       "\x02"),
    IN("twelve bytes\x03\x04 then more bytes of text"),
    IN("x\x00"),
    IN("\x00x"),
    IN("h\x00i\x00 \x00t\x00h\x00"
       "e\x00r\x00"
       "e\x00"),
    IN("h\x00i\x00\x01\x00"),
    IN("\x00h\x00i\x00!"),
    IN("\x00h\x00i\x00\x02\x00"
       "a"),
    IN("\x00h\x00i\x00"),
    IN("\x00h\x00i\x00 \x00t\x00h\x00"
       "e"),
    IN("\x00\x00h\x00"),
    IN("a\x00"
       "bcdefgh\x00"),
    IN("caf\xC3\xA9 na\xC3\xAFve \xE2\x82\xAC \xF0\x9F\x98\x80 cut \xE2\x82"),
    IN("caf\xE9 \x80\x9D\x81 \xC3\xA9 \xF4\x8F\xBF"),
    IN("\xE0\x9F\x80 \xED\xA0\x80 \xF5\x80"),
    IN("\xC3"),
    IN("\xF0\x9F\x98"),
    IN("\x93quoted\x94 \x85"),
    IN("\x8D\x80\x9D"),
    IN("Latin-1 \xC9t\xE9 \xBB\xAB \xC3\xBB"),
};

/* The whole bytes, then every cut into three pieces; 0 when all agree. */
static int check(const Input* in, int ansi) {
  const CliVerdict whole = cli_file_verdict(in->bytes, in->length);
  static const CliAnsiPage pages[] = {CLI_ANSI_UNSET, CLI_ANSI_LATIN1, CLI_ANSI_CP1252};
  int failures = 0;
  for (size_t a = 0; a <= in->length; ++a) {
    for (size_t b = a; b <= in->length; ++b) {
      CliRawScan scan;
      cli_raw_scan_init(&scan, ansi);
      cli_raw_scan_feed(&scan, in->bytes, a);
      cli_raw_scan_feed(&scan, in->bytes + a, b - a);
      cli_raw_scan_feed(&scan, in->bytes + b, in->length - b);
      if (cli_raw_scan_verdict(&scan) != whole || scan.length != in->length) {
        printf("verdict of %zu bytes cut at %zu and %zu: %s, whole %s\n", in->length, a, b,
               cli_verdict_id(cli_raw_scan_verdict(&scan)), cli_verdict_id(whole));
        ++failures;
      }
      for (int p = 0; ansi && p < 3; ++p) {
        for (int from_ansi = 0; from_ansi <= 1; ++from_ansi) {
          char one[256], pieces[256];
          const char* w = cli_ansi_refusal(in->bytes, in->length, pages[p], from_ansi, one, 256);
          const char* s = cli_raw_scan_refusal(&scan, pages[p], from_ansi, pieces, 256);
          if ((w == NULL) != (s == NULL) || (w != NULL && strcmp(w, s) != 0)) {
            printf("refusal of %zu bytes cut at %zu and %zu: \"%s\", whole \"%s\"\n", in->length, a,
                   b, s != NULL ? s : "", w != NULL ? w : "");
            ++failures;
          }
        }
      }
    }
  }
  return failures;
}

int main(void) {
  int failures = 0;
  for (size_t i = 0; i < sizeof inputs / sizeof inputs[0]; ++i) {
    failures += check(&inputs[i], 0) + check(&inputs[i], 1);
  }
  printf("%zu inputs, %d disagreements\n", sizeof inputs / sizeof inputs[0], failures);
  return failures == 0 ? 0 : 1;
}
