/* The rule of one file: .editorconfig through libeditorconfig (the
 * EditorConfig project's own core, so its globs, its sections, root = true
 * and the nearest file's precedence are exactly what editors do), then the
 * command line's --charset, --eol and --bom over it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#if defined(_WIN32)
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

#include <editorconfig/editorconfig.h>

#include "check/check.h"

static int lower_equal(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char c = *a;
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != *b) return 0;
  }
  return *a == *b;
}

static void apply_charset(CheckRule* rule, const char* value) {
  if (lower_equal(value, "utf-8")) {
    rule->charset = CHARSET_UTF8;
    rule->bom = BOM_FORBID;
  } else if (lower_equal(value, "utf-8-bom")) {
    rule->charset = CHARSET_UTF8;
    rule->bom = BOM_REQUIRE;
  } else if (lower_equal(value, "latin1")) {
    rule->charset = CHARSET_LATIN1;
    rule->bom = BOM_FORBID;
  } else if (lower_equal(value, "utf-16le")) {
    rule->charset = CHARSET_UTF16LE;
    rule->bom = BOM_ANY;
  } else if (lower_equal(value, "unset")) {
    rule->charset = CHARSET_UNICODE;
    rule->bom = BOM_ANY;
  } else {
    rule->charset = CHARSET_UNSUPPORTED;
    snprintf(rule->unsupported, sizeof rule->unsupported, "%s", value);
  }
}

static void apply_eol(CheckRule* rule, const char* value) {
  if (lower_equal(value, "lf")) {
    rule->eol = EOL_LF;
  } else if (lower_equal(value, "crlf")) {
    rule->eol = EOL_CRLF;
  } else if (lower_equal(value, "cr")) {
    rule->eol = EOL_CR;
  } else {
    rule->eol = EOL_CONSISTENT; /* "unset" and values nobody knows */
  }
}

static int is_absolute(const char* path) {
#if defined(_WIN32)
  return path[0] == '/' || path[0] == '\\' ||
         (path[0] != '\0' && path[1] == ':' && (path[2] == '/' || path[2] == '\\'));
#else
  return path[0] == '/';
#endif
}

/* libeditorconfig wants the full path of the file. */
static char* full_path(const char* path) {
  char cwd[4096];
  char* full;
  size_t length;
  if (is_absolute(path)) {
    full = malloc(strlen(path) + 1);
    if (full != NULL) memcpy(full, path, strlen(path) + 1);
    return full;
  }
  if (getcwd(cwd, sizeof cwd) == NULL) return NULL;
  while (path[0] == '.' && (path[1] == '/' || path[1] == '\\')) path += 2;
  length = strlen(cwd) + 1 + strlen(path) + 1;
  full = malloc(length);
  if (full != NULL) snprintf(full, length, "%s/%s", cwd, path);
  return full;
}

static int read_editorconfig(const char* path, CheckRule* rule, char* error, size_t error_size) {
  editorconfig_handle handle = editorconfig_handle_init();
  char* full;
  int parsed;
  int count;
  if (handle == NULL) {
    snprintf(error, error_size, "out of memory");
    return -1;
  }
  full = full_path(path);
  if (full == NULL) {
    editorconfig_handle_destroy(handle);
    snprintf(error, error_size, "cannot tell the full path of '%s'", path);
    return -1;
  }
  parsed = editorconfig_parse(full, handle);
  free(full);
  if (parsed != 0) {
    if (parsed > 0) {
      const char* config = editorconfig_handle_get_err_file(handle);
      snprintf(error, error_size, "%s:%d: cannot parse this .editorconfig line",
               config != NULL ? config : ".editorconfig", parsed);
    } else {
      snprintf(error, error_size, ".editorconfig: %s", editorconfig_get_error_msg(parsed));
    }
    editorconfig_handle_destroy(handle);
    return -1;
  }
  count = editorconfig_handle_get_name_value_count(handle);
  for (int i = 0; i < count; ++i) {
    const char* name = NULL;
    const char* value = NULL;
    editorconfig_handle_get_name_value(handle, i, &name, &value);
    if (name == NULL || value == NULL) continue;
    if (strcmp(name, "charset") == 0) apply_charset(rule, value);
    if (strcmp(name, "end_of_line") == 0) apply_eol(rule, value);
  }
  editorconfig_handle_destroy(handle);
  return 0;
}

int check_rule_for(const CheckOptions* options, const char* path, CheckRule* rule, char* error,
                   size_t error_size) {
  memset(rule, 0, sizeof *rule);
  rule->charset = CHARSET_UNICODE;
  rule->bom = BOM_ANY;
  rule->eol = EOL_CONSISTENT;
  if (options->editorconfig && read_editorconfig(path, rule, error, error_size) != 0) return -1;
  if (options->have_charset) {
    rule->charset = options->charset;
    rule->bom = options->charset_bom;
  }
  if (options->have_eol) rule->eol = options->eol;
  if (options->have_bom) rule->bom = options->bom;
  return 0;
}
