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

/* The library writes a page as the compact object {"text":"...","next_offset":N}.
 * That shape is read here directly, the text unescaped straight into `out`
 * without building a document; anything else (an escape this reader does not
 * expect, another layout) returns -2 and goes through the JSON parser. */
static int64_t take_flat_page(const char* json, int64_t offset, CliBytes* out, const char** why) {
  static const char head[] = "{\"text\":\"";
  static const char tail[] = "\",\"next_offset\":";
  const size_t json_length = strlen(json);
  const char* p = json + sizeof head - 1;
  char* o;
  size_t length;
  int64_t next = 0;
  if (json_length < sizeof head - 1 || memcmp(json, head, sizeof head - 1) != 0) return -2;
  if (cli_bytes_reserve(out, json_length) != 0) {
    *why = "out of memory";
    return -1;
  }
  o = out->data + out->length;
  for (;;) {
    const size_t run = strcspn(p, "\"\\");
    memcpy(o, p, run);
    o += run;
    p += run;
    if (*p != '\\') break;
    switch (p[1]) {
      case '"':
        *o++ = '"';
        break;
      case '\\':
        *o++ = '\\';
        break;
      case '/':
        *o++ = '/';
        break;
      case 'b':
        *o++ = '\b';
        break;
      case 'f':
        *o++ = '\f';
        break;
      case 'n':
        *o++ = '\n';
        break;
      case 'r':
        *o++ = '\r';
        break;
      case 't':
        *o++ = '\t';
        break;
      case 'u': {
        unsigned value = 0;
        for (int k = 2; k < 6; ++k) {
          const char c = p[k];
          value <<= 4;
          if (c >= '0' && c <= '9')
            value |= (unsigned)(c - '0');
          else if (c >= 'a' && c <= 'f')
            value |= (unsigned)(c - 'a' + 10);
          else if (c >= 'A' && c <= 'F')
            value |= (unsigned)(c - 'A' + 10);
          else
            return -2;
        }
        if (value == 0 || value > 0x7F) return -2;
        *o++ = (char)value;
        p += 4;
        break;
      }
      default:
        return -2;
    }
    p += 2;
  }
  if (*p != '"' || strncmp(p, tail, sizeof tail - 1) != 0) return -2;
  p += sizeof tail - 1;
  if (*p < '0' || *p > '9') return -2;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (next > (INT64_MAX - 9) / 10) return -2;
    next = next * 10 + (*p - '0');
  }
  if (p[0] != '}' || p[1] != '\0') return -2;
  length = (size_t)(o - (out->data + out->length));
  if (next < offset || (uint64_t)(next - offset) < length) {
    *why = "unexpected page from tf_text";
    return -1;
  }
  if ((uint64_t)(next - offset) > length) {
    /* The page goes on after a 0x00 byte: keep the byte, stop after it. */
    *o = '\0';
    ++length;
  }
  out->length += length;
  out->data[out->length] = '\0';
  return (int64_t)length;
}

static int64_t take_page(const char* json, int64_t offset, CliBytes* out, const char** why) {
  const int64_t flat = take_flat_page(json, offset, out, why);
  CliJson* page;
  const char* text;
  size_t length = 0;
  int64_t next = 0;
  int64_t consumed = -1;
  if (flat != -2) return flat;
  page = cli_json_parse(json);
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
