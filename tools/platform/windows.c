/* Windows: the tool's arguments are read from the wide command line and
 * kept in UTF-8, the encoding of the text they are searched in and of the
 * tool's output; the library takes paths as narrow strings in the ANSI code
 * page, so each path operand is converted to it, and one that the code page
 * cannot express is reached through its short (8.3) name. */
#if defined(_WIN32)
/* shellapi.h needs windows.h first. */
/* clang-format off */
#include <windows.h>
#include <shellapi.h>
/* clang-format on */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"

static char reason[1200];

static char* narrow(UINT code_page, DWORD flags, const WCHAR* wide, BOOL* lossy) {
  const int length = WideCharToMultiByte(code_page, flags, wide, -1, NULL, 0, NULL, lossy);
  char* text;
  if (length <= 0 || (lossy != NULL && *lossy)) return NULL;
  text = malloc((size_t)length);
  if (text != NULL &&
      WideCharToMultiByte(code_page, flags, wide, -1, text, length, NULL, lossy) != length) {
    free(text);
    text = NULL;
  }
  return text;
}

static char* to_utf8(const WCHAR* wide) { return narrow(CP_UTF8, 0, wide, NULL); }

/* The spelling of `wide` in the ANSI code page; NULL when it has a character
 * that the code page lacks (no best-fit look-alikes: "?" or "a" for "ā" would
 * name another file). */
static char* to_ansi(const WCHAR* wide) {
  BOOL lossy = FALSE;
  if (GetACP() == CP_UTF8) return to_utf8(wide);
  return narrow(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &lossy);
}

static WCHAR* to_wide(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, NULL, 0);
  WCHAR* wide;
  if (length <= 0) return NULL;
  wide = malloc(sizeof *wide * (size_t)length);
  if (wide != NULL && MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, length) != length) {
    free(wide);
    wide = NULL;
  }
  return wide;
}

int cli_windows_utf8_argv(int* argc, char*** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  char** utf8;
  if (wide == NULL) return -1;
  /* Kept for the whole run, like the arguments main() was given. */
  utf8 = calloc((size_t)count + 1, sizeof *utf8);
  for (int i = 0; utf8 != NULL && i < count; ++i) {
    utf8[i] = to_utf8(wide[i]);
    if (utf8[i] == NULL) {
      while (i > 0) free(utf8[--i]);
      free(utf8);
      utf8 = NULL;
    }
  }
  LocalFree(wide);
  if (utf8 == NULL) return -1;
  *argc = count;
  *argv = utf8;
  return 0;
}

/* The short name of `wide` in the ANSI code page, NULL when there is none. */
static char* short_ansi(const WCHAR* wide) {
  const DWORD length = GetShortPathNameW(wide, NULL, 0);
  WCHAR* name;
  char* ansi = NULL;
  if (length == 0) return NULL;
  name = malloc(sizeof *name * length);
  if (name != NULL && GetShortPathNameW(wide, name, length) < length) ansi = to_ansi(name);
  free(name);
  return ansi;
}

/* The directory part through its short name, then the last component as it
 * is: saving through the file's own short name would replace the file by
 * one that has only that name. */
static char* writable_ansi(WCHAR* wide) {
  WCHAR* last = NULL;
  char* leaf;
  char* dir;
  char* path = NULL;
  for (WCHAR* c = wide; *c != 0; ++c) {
    if (*c == L'\\' || *c == L'/' || (*c == L':' && c == wide + 1)) last = c;
  }
  if (last == NULL) return NULL;
  leaf = to_ansi(last + 1);
  if (leaf == NULL) return NULL;
  {
    const WCHAR kept = last[1];
    last[1] = 0; /* the directory with its separator: "C:\", "d\" */
    dir = to_ansi(wide);
    if (dir == NULL) dir = short_ansi(wide);
    last[1] = kept;
  }
  if (dir != NULL) {
    path = malloc(strlen(dir) + strlen(leaf) + 1);
    if (path != NULL) {
      memcpy(path, dir, strlen(dir));
      memcpy(path + strlen(dir), leaf, strlen(leaf) + 1);
    }
  }
  free(dir);
  free(leaf);
  return path;
}

char* cli_windows_path(const char* file, int for_writing, const char** why) {
  WCHAR* wide = to_wide(file);
  char* ansi;
  DWORD error = 0;
  if (wide == NULL) {
    *why = "the name is not valid UTF-8";
    return NULL;
  }
  ansi = to_ansi(wide);
  if (ansi == NULL) {
    ansi = for_writing ? writable_ansi(wide) : short_ansi(wide);
    error = GetLastError();
  }
  free(wide);
  if (ansi == NULL && !for_writing &&
      (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
    /* No short name since there is no file: say so as the library would. */
    snprintf(reason, sizeof reason, "cannot open '%s': %s", file, strerror(ENOENT));
    *why = reason;
  } else if (ansi == NULL) {
    snprintf(reason, sizeof reason,
             for_writing
                 ? "the name has characters that the ANSI code page (%u) cannot express, and "
                   "the library writes paths in that code page (its short name would rename "
                   "the file)"
                 : "the name has characters that the ANSI code page (%u) cannot express, and "
                   "there is no short name to reach the file by",
             (unsigned)GetACP());
    *why = reason;
  }
  return ansi;
}
#endif
