/* CliBytes: a growable byte buffer, always followed by a 0x00 byte. */
#include <stdlib.h>
#include <string.h>

#include "cli.h"

int cli_bytes_reserve(CliBytes* bytes, size_t more) {
  if (bytes->length + more + 1 > bytes->capacity) {
    size_t capacity = bytes->capacity < 256 ? 256 : bytes->capacity;
    char* grown;
    while (capacity < bytes->length + more + 1) capacity *= 2;
    grown = realloc(bytes->data, capacity);
    if (grown == NULL) return -1;
    bytes->data = grown;
    bytes->capacity = capacity;
  }
  return 0;
}

int cli_bytes_append(CliBytes* bytes, const void* data, size_t length) {
  if (cli_bytes_reserve(bytes, length) != 0) return -1;
  if (length > 0) memcpy(bytes->data + bytes->length, data, length);
  bytes->length += length;
  bytes->data[bytes->length] = '\0';
  return 0;
}

void cli_bytes_free(CliBytes* bytes) {
  free(bytes->data);
  bytes->data = NULL;
  bytes->length = 0;
  bytes->capacity = 0;
}
