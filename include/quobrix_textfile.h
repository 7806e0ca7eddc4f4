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
 * tf_text() : one page of the decoded text, as compact JSON with the members,
 * in order: "text" (the page) and "next_offset" (the byte offset just past
 * the page; feed it back as offset to read on, the end is reached when it
 * equals "bytes" of tf_info). The page is cut at exactly the requested byte
 * positions, never moved to a character boundary. Holds the lock.
 * @param handle an open handle.
 * @param offset byte offset of the page; a negative value means 0, a value
 *        past the end means the end (an empty page).
 * @param max_bytes the most bytes the page holds; a negative value means 0.
 *        The page stops at the end of the text.
 * @return a string for tf_free_string(), or NULL with "invalid handle",
 *         "out of memory" or "failed to serialize JSON" (the page begins or
 *         ends inside a multi-byte character, so it is not valid UTF-8: ask
 *         again with a shifted offset or size).
 * Note: "text" ends at the first 0x00 byte of the page, while "next_offset"
 * still counts the whole page.
 */
TF_API char* tf_text(int handle, int64_t offset, int32_t max_bytes) TF_NOEXCEPT;

/**
 * tf_full() : the whole decoded text as a plain string (not JSON): all of
 * its bytes, 0x00 bytes inside it included, followed by a 0x00 terminator.
 * An empty document gives "". Holds the lock while it copies.
 * @param handle an open handle.
 * @return a string for tf_free_string(), or NULL with "invalid handle",
 *         "out of memory" or, for texts longer than 67,108,864 bytes,
 *         "file too large for tf_full (<bytes> bytes; max 67108864); use
 *         tf_text paging".
 */
TF_API char* tf_full(int handle) TF_NOEXCEPT;

/**
 * tf_stats() : measures of the decoded text, as compact JSON with the
 * members, in order: "lines" (the same count as tf_info), "words" (maximal
 * runs of the bytes A-Z, a-z, 0-9, '_' and 0x80-0xFF), "chars" (code points)
 * and "bytes" (the decoded UTF-8 length). Lines end at LF, CR or CR LF,
 * whatever style was detected; a break at the very end starts no new line.
 * Holds the lock while it scans.
 * @param handle an open handle.
 * @return a string for tf_free_string(), or NULL with "invalid handle" or
 *         "failed to build stats".
 */
TF_API char* tf_stats(int handle) TF_NOEXCEPT;

/**
 * tf_linecol() : the 1-based line and column of a byte offset of the decoded
 * text, as compact JSON {"line":L,"col":C}. Columns count bytes from the
 * start of the line. An offset between the CR and the LF of a CR LF pair is
 * already the start of the next line; an offset inside a character is used
 * as it is. Holds the lock while it scans from the start of the text.
 * @param handle an open handle.
 * @param offset byte offset; a negative value means 0, a value past the end
 *        means the end of the text. Never an error.
 * @return a string for tf_free_string(), or NULL with "invalid handle" or
 *         "linecol failed".
 */
TF_API char* tf_linecol(int handle, int64_t offset) TF_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QUOBRIX_TEXTFILE_H */
