/* cat: the decoded UTF-8 text of each file on stdout, whole, 0x00 bytes
 * included. tf_full hands over texts of up to 64 MiB at once; larger ones
 * (or any, with --page-bytes) are paged with tf_text, never cutting a page
 * inside a character. */
#include <stdint.h>

#include "cli.h"
#include "quobrix_textfile.h"

#define CLI_CAT_PAGE_BYTES (1 << 20)
/* After a page that a 0x00 byte ended early, the next one is asked for in a
 * size close to what that page held, so that a run of 0x00 bytes costs small
 * pages rather than full ones; clean pages double the size again. */
#define CLI_CAT_MIN_PAGE_BYTES 64

/* The length of the decoded text, from tf_info. */
static int text_length(const char* file, int handle, int64_t* length) {
  char* json = tf_info(handle);
  CliJson* info;
  int found;
  if (json == NULL) {
    cli_file_error(file, tf_last_error());
    return -1;
  }
  info = cli_json_parse(json);
  tf_free_string(json);
  found = info != NULL && cli_json_int(info, "bytes", length) == 0 && *length >= 0;
  cli_json_free(info);
  if (!found) {
    cli_file_error(file, "unexpected result from tf_info");
    return -1;
  }
  return 0;
}

/* The whole text at once; 1 when tf_full refuses it, so that it is paged. */
static int cat_whole(const char* file, int handle) {
  int64_t length = 0;
  char* text;
  if (text_length(file, handle, &length) != 0) return -1;
  text = tf_full(handle);
  if (text == NULL) return 1;
  out_write(text, (size_t)length);
  tf_free_string(text);
  return 0;
}

static int cat_pages(const char* file, int handle, int32_t page_bytes) {
  const int32_t smallest =
      page_bytes < CLI_CAT_MIN_PAGE_BYTES ? page_bytes : CLI_CAT_MIN_PAGE_BYTES;
  CliBytes page = {NULL, 0, 0};
  int64_t offset = 0;
  int32_t want = page_bytes;
  int status = 0;
  while (!out_stopped()) {
    const char* why = NULL;
    int64_t consumed;
    page.length = 0;
    consumed = cli_read_page(handle, offset, want, &page, &why);
    if (consumed < 0) {
      cli_file_error(file, why);
      status = -1;
      break;
    }
    if (consumed == 0) break;
    if (out_write(page.data, page.length) != 0) break;
    offset += consumed;
    if (page.data[page.length - 1] == '\0') {
      const int64_t next = consumed * 2;
      want = next < smallest ? smallest : next > page_bytes ? page_bytes : (int32_t)next;
    } else {
      want = want > page_bytes / 2 ? page_bytes : want * 2;
    }
  }
  cli_bytes_free(&page);
  return status;
}

static const CliOption cat_options[] = {{"page-bytes", 0, 1}};
enum { CAT_PAGE_BYTES };

static int run_cat(const CliArgs* args) {
  int64_t page_bytes = 0;
  int status = CLI_OK;
  if (args->value[CAT_PAGE_BYTES] != NULL &&
      cli_parse_int(&cli_cat_command, "page-bytes", args->value[CAT_PAGE_BYTES], 1, INT32_MAX - 3,
                    &page_bytes) != 0) {
    return CLI_USAGE;
  }
  for (int i = 0; i < args->positional_count && !out_stopped(); ++i) {
    const char* file = args->positional[i];
    const int handle = cli_open(file);
    int done = 1;
    if (handle < 0) {
      status = CLI_FILE_FAILED;
      continue;
    }
    if (page_bytes == 0) done = cat_whole(file, handle);
    if (done == 1) {
      done = cat_pages(file, handle, page_bytes != 0 ? (int32_t)page_bytes : CLI_CAT_PAGE_BYTES);
    }
    if (done != 0) status = CLI_FILE_FAILED;
    tf_close(handle);
  }
  return status;
}

const CliCommand cli_cat_command = {
    "cat",
    "FILE...",
    "the decoded text, as UTF-8",
    "Usage: " CLI_PROGRAM
    " cat [--page-bytes N] FILE...\n"
    "\n"
    "Writes the decoded UTF-8 text of each file to stdout, whole and unchanged\n"
    "(0x00 bytes included, no byte-order mark), for files of any size.\n"
    "\n"
    "Options:\n"
    "  --page-bytes N   read the text N bytes at a time (N >= 1) instead of\n"
    "                   whole; a character is never split between pages\n",
    cat_options,
    1,
    1,
    -1,
    run_cat};
