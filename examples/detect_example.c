/* Opens each file named on the command line (or the samples in this folder)
 * and prints what the library detected: encoding, byte-order mark, line
 * endings, sizes and lines. Uses the public C API only. */
#include <stdio.h>

#include "quobrix_textfile.h"

int main(int argc, char** argv) {
  int status = 0;
  printf("quobrix-textfile %s\n", tf_version());
  for (int i = 1; i < argc; ++i) {
    const int h = tf_open(argv[i]);
    if (h < 0) {
      fprintf(stderr, "%s: %s\n", argv[i], tf_last_error());
      status = 1;
      continue;
    }
    char* info = tf_info(h);
    if (info != NULL) {
      printf("%s: %s\n", argv[i], info);
    } else {
      fprintf(stderr, "%s: %s\n", argv[i], tf_last_error());
      status = 1;
    }
    tf_free_string(info);
    tf_close(h);
  }
  return status;
}
