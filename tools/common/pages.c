/* Paging through a document's decoded text with tf_text alone.
 *
 * tf_text cuts a page at exactly the bytes asked for, and refuses to write a
 * page that ends inside a character ("failed to serialize JSON"); a UTF-8
 * character is at most 4 bytes long, so asking again for up to 3 bytes less
 * (or, when nothing fits, up to 3 bytes more) always finds the boundary.
 * The page's "text" member stops at the first 0x00 byte while "next_offset"
 * counts the whole page: a shorter text means a 0x00 byte follows it, and the
 * next page starts just after that byte. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "quobrix_textfile.h"

static int64_t take_page(const char* json, int64_t offset, CliBytes* out, const char** why) {
  CliJson* page = cli_json_parse(json);
  const char* text;
  size_t length = 0;
  int64_t next = 0;
  int64_t consumed = -1;
  if (page == NULL) {
    *why = "the library's result is not a JSON object";
    return -1;
  }
  text = cli_json_string(page, "text", &length);
  if (text == NULL || cli_json_int(page, "next_offset", &next) != 0 || next < offset ||
      (uint64_t)(next - offset) < length) {
    *why = "unexpected page from tf_text";
  } else if ((uint64_t)(next - offset) == length) {
    consumed = (int64_t)length;
    if (cli_bytes_append(out, text, length) != 0) consumed = -1;
  } else {
    /* The page goes on after a 0x00 byte: keep the byte, stop after it. */
    consumed = (int64_t)length + 1;
    if (cli_bytes_append(out, text, length + 1) != 0) consumed = -1;
  }
  if (consumed < 0 && *why == NULL) *why = "out of memory";
  cli_json_free(page);
  return consumed;
}

int64_t cli_read_page(int handle, int64_t offset, int32_t want, CliBytes* out, const char** why) {
  int32_t tries[7];
  int count = 0;
  *why = NULL;
  if (want < 1) want = 1;
  for (int32_t k = 0; k < 4; ++k) {
    if (want - k >= 1) tries[count++] = want - k;
  }
  for (int32_t k = 1; k < 4; ++k) {
    if (want <= INT32_MAX - k) tries[count++] = want + k;
  }
  for (int i = 0; i < count; ++i) {
    char* json = tf_text(handle, offset, tries[i]);
    if (json != NULL) {
      const int64_t consumed = take_page(json, offset, out, why);
      tf_free_string(json);
      return consumed;
    }
    if (strcmp(tf_last_error(), CLI_MSG_SERIALIZE_FAILED) != 0) break;
  }
  *why = tf_last_error();
  return -1;
}
