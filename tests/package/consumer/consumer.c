/* A program of someone else's: built against an installed copy of the
 * library, through its CMake package or its pkg-config file. Prints the
 * version and the facts of the file it is given. */
#include <quobrix_textfile.h>
#include <stdio.h>

int main(int argc, char** argv) {
  int handle;
  char* info;
  if (argc != 2) {
    fprintf(stderr, "usage: consumer FILE\n");
    return 2;
  }
  printf("version %s\n", tf_version());
  handle = tf_open(argv[1]);
  if (handle < 0) {
    fprintf(stderr, "%s\n", tf_last_error());
    return 1;
  }
  info = tf_info(handle);
  if (info == NULL) {
    fprintf(stderr, "%s\n", tf_last_error());
    tf_close(handle);
    return 1;
  }
  printf("%s\n", info);
  tf_free_string(info);
  tf_close(handle);
  return 0;
}
