/* Drives the shared library through its public header compiled as strict
 * C99: open each sample file, ask for its facts, free everything. */
#include <stdio.h>
#include <string.h>

#include "quobrix_textfile.h"

static int failures = 0;

#define CHECK(cond)                                              \
  do {                                                           \
    if (!(cond)) {                                               \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                \
    }                                                            \
  } while (0)

int main(int argc, char** argv) {
  static const char* const samples[] = {"sample-utf8.txt", "sample-utf8-bom.txt",
                                        "sample-utf16le-crlf.txt", "sample-latin1.txt"};
  static const char* const encodings[] = {"\"encoding\":\"utf8\"", "\"encoding\":\"utf8-bom\"",
                                          "\"encoding\":\"utf16le\"", "\"encoding\":\"ansi\""};
  char path[4096];
  size_t i;
  const char* dir = argc > 1 ? argv[1] : ".";
  CHECK(strcmp(tf_version(), "1.0.1") == 0);
  CHECK(tf_last_error() != NULL);
  for (i = 0; i < sizeof samples / sizeof samples[0]; ++i) {
    int h;
    char* info;
    snprintf(path, sizeof path, "%s/%s", dir, samples[i]);
    h = tf_open(path);
    CHECK(h >= 0);
    if (h < 0) continue;
    info = tf_info(h);
    CHECK(info != NULL && strstr(info, encodings[i]) != NULL);
    tf_free_string(info);
    CHECK(tf_close(h) == 0);
  }
  CHECK(tf_open(NULL) == -1 && strcmp(tf_last_error(), "path is NULL") == 0);
  CHECK(tf_search(0, NULL, 0, 0) == NULL && strcmp(tf_last_error(), "query is NULL") == 0);
  CHECK(tf_replace_preview(0, "a", NULL, 0) == NULL &&
        strcmp(tf_last_error(), "find/repl is NULL") == 0);
  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
