/* What check asks of the library: tf_open and tf_info, the decoded text
 * (tf_full, or page by page beyond its 64 MiB), and tf_linecol for the place
 * a finding names. */
#include <stdlib.h>
#include <string.h>

#include "check/check_text.h"
#include "cli.h"
#include "quobrix_textfile.h"

/* tf_full hands over texts up to this many bytes. */
#define CHECK_FULL_LIMIT 67108864

static const char* const encodings[] = {"utf8", "utf8-bom", "utf16le", "ansi"};
static const char* const line_endings[] = {"lf", "crlf", "cr", "mixed"};

static const char* known(const char* const* names, size_t count, const char* name) {
  for (size_t i = 0; name != NULL && i < count; ++i) {
    if (strcmp(names[i], name) == 0) return names[i];
  }
  return NULL;
}

int check_open(CheckFile* file, CheckInfo* info) {
  int handle;
  char* json;
  CliJson* parsed;
  int64_t sanitized = 0;
#if defined(_WIN32)
  const char* why = NULL;
  char* native = cli_windows_path(file->path, 0, &why);
  if (native == NULL) {
    check_add(file, LEVEL_ERROR, "read", 0, 0, "%s", why);
    return -1;
  }
#else
  const char* native = file->path;
#endif
  check_gate_enter();
  handle = tf_open(native);
  check_gate_leave();
  if (handle < 0) {
    check_gate_enter_alone();
    handle = tf_open(native);
    if (handle < 0) check_add(file, LEVEL_ERROR, "read", 0, 0, "%s", tf_last_error());
    check_gate_leave_alone();
  }
#if defined(_WIN32)
  free(native);
#endif
  if (handle < 0) return -1;
  json = tf_info(handle);
  parsed = json != NULL ? cli_json_parse(json) : NULL;
  tf_free_string(json);
  memset(info, 0, sizeof *info);
  if (parsed != NULL) {
    info->encoding = known(encodings, 4, cli_json_string(parsed, "encoding", NULL));
    info->line_ending = known(line_endings, 4, cli_json_string(parsed, "line_ending", NULL));
  }
  if (info->encoding == NULL || info->line_ending == NULL ||
      cli_json_int(parsed, "sanitized", &sanitized) != 0 ||
      cli_json_int(parsed, "bytes", &info->bytes) != 0 ||
      cli_json_int(parsed, "raw_bytes", &info->raw_bytes) != 0) {
    cli_json_free(parsed);
    tf_close(handle);
    check_add(file, LEVEL_ERROR, "read", 0, 0, "unexpected result from tf_info");
    return -1;
  }
  info->sanitized = sanitized != 0;
  cli_json_free(parsed);
  return handle;
}

int check_text_read(int handle, const CheckInfo* info, const unsigned char* raw, size_t raw_length,
                    CheckText* text) {
  CliBytes pages = {NULL, 0, 0};
  const int64_t bytes = info->bytes;
  int64_t offset = 0;
  size_t skip = 0;
  text->data = NULL;
  text->length = 0;
  text->owned = 0;
  if (strcmp(info->encoding, "utf8-bom") == 0 && !info->sanitized) skip = 3;
  if ((strcmp(info->encoding, "utf8") == 0 || skip == 3) && raw_length >= skip &&
      (int64_t)(raw_length - skip) == bytes) {
    text->data = (char*)raw + skip;
    text->length = raw_length - skip;
    return 0;
  }
  text->owned = 1;
  if (bytes <= CHECK_FULL_LIMIT) {
    text->data = tf_full(handle);
    if (text->data == NULL) return -1;
    text->length = (size_t)bytes;
    return 0;
  }
  while (offset < bytes) {
    const char* why = NULL;
    const int64_t consumed = cli_read_page(handle, offset, 1 << 22, &pages, &why);
    if (consumed <= 0) {
      cli_bytes_free(&pages);
      return -1;
    }
    offset += consumed;
  }
  if (cli_bytes_append(&pages, "", 1) != 0) {
    cli_bytes_free(&pages);
    return -1;
  }
  text->data = pages.data;
  text->length = pages.length - 1;
  return 0;
}

void check_linecol(int handle, int64_t offset, int64_t* line, int64_t* col) {
  char* json = tf_linecol(handle, offset);
  CliJson* parsed = json != NULL ? cli_json_parse(json) : NULL;
  tf_free_string(json);
  *line = 1;
  *col = 1;
  if (parsed != NULL) {
    if (cli_json_int(parsed, "line", line) != 0) *line = 1;
    if (cli_json_int(parsed, "col", col) != 0) *col = 1;
  }
  cli_json_free(parsed);
}
