/* Encoding names as people write them, mapped onto the library's three:
 * letters in either case, with or without "-", "_" or spaces between the
 * parts ("UTF-8", "utf_8", "utf-8-bom", "UTF-8 BOM", "UTF-16LE"). "utf-8-sig"
 * is Python's name for UTF-8 with a byte-order mark. */
#include <stddef.h>
#include <string.h>

#include "cli.h"

static const struct {
  const char* spelling; /* lower case, separators removed */
  const char* name;
} known[] = {
    {"utf8", "utf8"},
    {"utf8bom", "utf8-bom"},
    {"utf8withbom", "utf8-bom"},
    {"utf8sig", "utf8-bom"},
    {"utf16le", "utf16le"},
    {"utf16lebom", "utf16le"},
    {"utf16lewithbom", "utf16le"},
};

int cli_fold_name(const char* name, char* folded, size_t size) {
  size_t length = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    char ch = *c;
    if (ch == '-' || ch == '_' || ch == ' ') continue;
    if (ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
    if (length + 1 >= size) return -1;
    folded[length++] = ch;
  }
  folded[length] = '\0';
  return 0;
}

const char* cli_encoding_name(const char* name) {
  char folded[32];
  if (cli_fold_name(name, folded, sizeof folded) != 0) return NULL;
  for (size_t i = 0; i < sizeof known / sizeof known[0]; ++i) {
    if (strcmp(folded, known[i].spelling) == 0) return known[i].name;
  }
  return NULL;
}
