/* check's use of the tool's shared rules (common/file_verdict.h): the binary
 * verdict, the near-UTF-8 refusal and the ansi code pages. check applies
 * them exactly as convert does, so the two commands never disagree on what
 * may be rewritten. */
#include <stdlib.h>

#include "check/check_text.h"
#include "common/file_verdict.h"

const char* check_binary_verdict(const unsigned char* raw, size_t length) {
  switch (cli_file_verdict(raw, length)) {
    case CLI_VERDICT_TEXT:
      return NULL;
    case CLI_VERDICT_UTF16LE_NO_BOM:
      return "looks like UTF-16LE without a BOM, which the library does not read";
    case CLI_VERDICT_UTF16BE:
      return "looks like UTF-16BE, which the library does not read";
    default:
      return CHECK_VERDICT_BINARY;
  }
}

int check_convert_ansi(const unsigned char* raw, size_t length, CheckAnsi ansi, CheckText* out,
                       char reason[256], const char** why) {
  const CliAnsiPage page = ansi == ANSI_LATIN1   ? CLI_ANSI_LATIN1
                           : ansi == ANSI_CP1252 ? CLI_ANSI_CP1252
                                                 : CLI_ANSI_UNSET;
  CliBytes bytes = {NULL, 0, 0};
  *why = cli_ansi_refusal(raw, length, page, 0, reason, 256);
  if (*why != NULL) return -1;
  if (cli_ansi_decode(raw, length, page, &bytes) != 0 || cli_bytes_append(&bytes, "", 1) != 0) {
    cli_bytes_free(&bytes);
    *why = "out of memory";
    return -1;
  }
  out->data = bytes.data;
  out->length = bytes.length - 1;
  out->owned = 1;
  return 0;
}
