/*
 * quobrix-textfile: uniform access to plain-text files whatever their
 * encoding (UTF-8, UTF-8 with BOM, UTF-16LE with BOM, single-byte "ansi").
 *
 * Conventions
 * - A file is opened by path into a handle, a small int (0..63). The whole
 *   file is read and decoded to UTF-8 once; queries work on that copy.
 * - Failure is -1 (int results) or NULL (string results); the reason is then
 *   in tf_last_error(). Successful calls leave the message untouched, except
 *   tf_open, which empties it first.
 * - Every string returned by a query belongs to the caller and is released
 *   with tf_free_string().
 * - Offsets and lengths are byte counts in the decoded UTF-8 text.
 * - Any thread may call any function. One lock guards the table of handles;
 *   queries hold it while they run, so queries never run in parallel.
 */
#ifndef QUOBRIX_TEXTFILE_H
#define QUOBRIX_TEXTFILE_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(TF_BUILDING)
#define TF_API __declspec(dllexport)
#else
#define TF_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define TF_API __attribute__((visibility("default")))
#else
#define TF_API
#endif

#ifdef __cplusplus
#define TF_NOEXCEPT noexcept
extern "C" {
#else
#define TF_NOEXCEPT
#endif

/* ===== Library ========================================================== */

/**
 * tf_version() : the library's version, "1.0.1".
 * @return a static string; never NULL, never to be freed. Takes no lock.
 */
TF_API const char* tf_version(void) TF_NOEXCEPT;

/**
 * tf_last_error() : the message of the most recent failure of any call in
 * any thread (the buffer is shared by the whole process, not per thread).
 * @return the address of a 512-byte buffer holding a NUL-terminated message
 *         of at most 511 bytes; never NULL, the same address on every call.
 *         Its content may be overwritten by any later failing call, even from
 *         another thread: read or copy it before making further calls.
 */
TF_API const char* tf_last_error(void) TF_NOEXCEPT;

/**
 * tf_free_string() : releases a string returned by tf_info, tf_text,
 * tf_full, tf_stats, tf_linecol, tf_search or tf_replace_preview.
 * @param s the string (free()); NULL is accepted and ignored. Takes no lock.
 */
TF_API void tf_free_string(char* s) TF_NOEXCEPT;

/* ===== Open / close ===================================================== */

/**
 * tf_open() : reads a file (at most 524,288,000 bytes), detects its encoding
 * and line endings, decodes it to UTF-8 and registers it in the lowest free
 * of 64 handle slots. Empties the last-error message first. Reading and
 * decoding run outside the lock.
 * @param path NUL-terminated path, handed to the file calls unchanged.
 * @return the handle (0..63), or -1 with one of the messages:
 *   "path is NULL", "cannot open '<path>': <strerror>",
 *   "'<path>' is a directory", "'<path>' is not a regular file",
 *   "invalid file size", "file too large (<size> bytes; max 524288000)",
 *   "out of memory", "short read on '<path>'",
 *   "decode failed / out of memory", "too many open handles (max 64)".
 */
TF_API int tf_open(const char* path) TF_NOEXCEPT;

/**
 * tf_close() : releases a handle and everything it holds. An invalid or
 * already closed handle is ignored and sets no message. Takes the lock.
 * @return 0, always.
 */
TF_API int tf_close(int handle) TF_NOEXCEPT;

/* ===== Queries ========================================================== */

/**
 * tf_info() : what was detected at open time, as compact JSON with the
 * members, in order: "encoding" ("utf8", "utf8-bom", "utf16le", "ansi"),
 * "had_bom" (0/1), "line_ending" ("lf", "crlf", "cr", "mixed"), "bytes"
 * (decoded UTF-8 length), "raw_bytes" (length on disk), "lines", "sanitized"
 * (0/1: ill-formed input was replaced with U+FFFD). Holds the lock.
 * @return a string for tf_free_string(), or NULL with "invalid handle",
 *         "out of memory" or "failed to serialize JSON".
 */
TF_API char* tf_info(int handle) TF_NOEXCEPT;

/**
 * tf_search() : the byte offsets at which a query occurs in the decoded
 * text, as compact JSON with the members, in order: "count" (hits reported),
 * "query_len" (query bytes) and "hits", an array of {"offset","length"} in
 * ascending order ("length" is always query_len; [] when there is none).
 * Matching is byte-wise; occurrences may overlap ("aa" occurs 3 times in
 * "aaaa"); 0x00 bytes in the text are matched like any other byte. An empty
 * query, or one longer than the text, gives count 0. Holds the lock.
 * @param handle an open handle.
 * @param query NUL-terminated bytes; NULL fails before the handle is checked.
 * @param case_insensitive non-zero: 'A'..'Z' compare equal to 'a'..'z'; no
 *        other byte is folded (so 'É' never matches 'é').
 * @param max_hits the most hits to report: 0 or negative means 100, and more
 *        than 100,000 means 100,000. Further occurrences are not reported.
 * @return a string for tf_free_string(), or NULL with "query is NULL",
 *         "invalid handle" or "search failed" (out of memory).
 */
TF_API char* tf_search(int handle, const char* query, int case_insensitive,
                       int max_hits) TF_NOEXCEPT;

/**
 * tf_replace_preview() : what replacing every occurrence of find with repl
 * would give, without changing the document, as compact JSON with the
 * members, in order: "count" (replacements over the whole text), "text"
 * (the result, cut to its first 1,048,576 bytes when longer, and ending at
 * its first 0x00 byte) and "truncated": true only when the result was longer
 * than 1,048,576 bytes. The scan goes left to right, matches do not overlap
 * and inserted text is never searched again ("aa", "a" -> "aa" gives "aaaa").
 * An empty find gives {"count":0,"text":<the whole text>}, never cut.
 * Holds the lock.
 * @param handle an open handle.
 * @param find, repl NUL-terminated bytes; if either is NULL the call fails
 *        before the handle is checked. repl is inserted as it is.
 * @param case_insensitive non-zero: 'A'..'Z' compare equal to 'a'..'z' when
 *        matching find; no other byte is folded.
 * @return a string for tf_free_string(), or NULL with "find/repl is NULL",
 *         "invalid handle" or "replace preview failed" (out of memory, or a
 *         "text" that is not valid UTF-8: the cut at 1,048,576 bytes falling
 *         inside a character, a repl that is not UTF-8, or a find matching
 *         only part of a character).
 */
TF_API char* tf_replace_preview(int handle, const char* find, const char* repl,
                                int case_insensitive) TF_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QUOBRIX_TEXTFILE_H */
