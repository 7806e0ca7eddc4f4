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
 * - fork() (POSIX) is safe while other threads are inside calls: it waits
 *   until none holds a lock of the library, and the child starts with every
 *   lock free and no other thread's save pending.
 * - POSIX thread cancellation is held off inside every call that does work
 *   (pthread_setcancelstate): a thread cancelled during a call finishes it
 *   and is cancelled at its next cancellation point after the call returns.
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

/**
 * tf_search() : the byte offsets at which a query occurs in the decoded
 * text, as compact JSON with the members, in order: "count" (hits reported),
 * "query_len" (query bytes) and "hits", an array of {"offset","length"} in
 * ascending order ("length" is always query_len; [] when there is none).
 * Matching is byte-wise; occurrences may overlap ("aa" occurs 3 times in
 * "aaaa"); 0x00 bytes in the text are matched like any other byte. An empty
 * query, or one longer than the text, gives count 0. Holds the lock for a
 * time linear in the text whatever the query: a periodic query in periodic
 * text (a run of "a" searched for "a...ab a...a") costs about what an
 * ordinary one does.
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
 * Only the first 1,048,577 bytes of the result are built, the rest is
 * counted: a call takes about 1 MiB plus its JSON, however long the result
 * would be. Holds the lock, for a time linear in the text as tf_search.
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

/* ===== Saving =========================================================== */

/*
 * Both save functions open the target's directory, write "<path>.tmp" in it
 * (any file or link already bearing that name is removed first, never
 * followed), write the encoded text (continuing after short writes and after
 * writes and syncs a signal interrupted), sync it to the storage device,
 * rename the file onto the path and sync the directory. Every step after the
 * first works in the directory opened then (on POSIX relative to its
 * descriptor), whatever happens to the links on the way meanwhile. Where
 * "<path>.tmp" would be a longer name than the file system allows (a last
 * component of 252 to 255 bytes), the temporary name is ".<16 hex
 * digits>.tmp" in the same directory instead. The target thus holds either
 * its old content or the complete new content.
 *
 * Durability: a return of 1 means that the new content and its name were
 * both synced to the storage device (on a file system that cannot sync a
 * directory at all, the name is as durable as that file system makes it). A
 * directory that cannot be opened for reading fails the save before the
 * rename. Every failure leaves the target unchanged and no temporary file,
 * except "directory sync failed: <strerror>": the rename was done, so the
 * target already holds the complete new content, which may however not
 * survive a crash; saving again is the remedy.
 *
 * An existing regular target keeps its permission bits (without
 * setuid/setgid) and, where the system allows, its owner and group; a new
 * target gets 0666 minus the umask. A symbolic link at the path is replaced
 * by the new file, not followed. A path that names a directory, or ends in
 * '/', fails before anything on disk is touched. A write beyond the
 * process's file-size limit fails with "write failed: File too large"
 * instead of raising SIGXFSZ.
 *
 * Threads: saves from several threads of one process whose names meet take
 * turns: saves to one file, however spelt, and a save to "p" beside one to
 * "p.tmp" (its temporary name). Each succeeds, and no target ever holds
 * the other save's bytes (a save to "p" that runs after one to "p.tmp"
 * still replaces that file, as in one thread). A target is identified by its
 * directory as opened (device and inode; on Windows volume serial number and
 * file index) plus its last component as given (never followed), so
 * "a.txt", "./a.txt", a path through a linked directory or through a second
 * mount of the directory take turns; on Windows the last component is
 * compared without regard to case ("A.TXT" and "a.txt").
 * Saves whose names do not meet run in parallel. Nothing guards against two
 * processes saving to one path at once: that is not supported. The empty
 * path fails with "rename failed: Win32 error 2" before anything on disk is
 * touched.
 *
 * Encoding names, exact and case-sensitive:
 *   "utf8"      the text bytes unchanged, no byte-order mark;
 *   "utf8-bom"  EF BB BF, then the text bytes unchanged (a mark already at
 *               the start of the text is kept, giving two);
 *   "utf16le"   FF FE, then the text converted leniently from UTF-8: each
 *               byte that starts no sequence, or whose sequence runs past
 *               the end, becomes U+FFFD; continuation bytes are not checked.
 *
 * Failure messages, in the order they are checked after the arguments:
 *   "unsupported encoding '<name>' (use utf8|utf8-bom|utf16le)",
 *   "path too long" (paths longer than 4087 bytes),
 *   "rename failed: Win32 error 21" (EISDIR: the path names a directory or
 *   ends in '/'; nothing touched),
 *   "cannot create temp file '<path>.tmp': <strerror>" (also when the
 *   target's directory does not exist or cannot be opened),
 *   "out of memory encoding utf16le" (only when the block of the exact
 *   output size cannot be had), "write failed: <strerror>",
 *   "fflush failed: <strerror>" (the sync of the file),
 *   "rename failed: Win32 error <errno>" (the errno value of rename(2), or
 *   13 for a directory that may be searched but not read, hence not synced),
 *   "directory sync failed: <strerror>" (after the rename; see above).
 */

/**
 * tf_save() : writes a handle's decoded text to a path in an encoding. The
 * lock is held only to check the handle and take a reference to its text;
 * encoding and all file work run after it is released, so closing the
 * handle meanwhile does not disturb the save (the text is released once the
 * save is done). The
 * handle itself is not changed (tf_info still reports the encoding it was
 * opened with).
 * @param handle an open handle; checked before the encoding and the path.
 * @param path NUL-terminated target path, at most 4087 bytes; NULL fails.
 * @param encoding "utf8", "utf8-bom" or "utf16le"; NULL fails.
 * @return 1 on success, or -1 with "null argument", "invalid handle",
 *         "out of memory" or one of the save messages above.
 */
TF_API int tf_save(int handle, const char* path, const char* encoding) TF_NOEXCEPT;

/**
 * tf_save_text() : writes caller-supplied bytes to a path in an encoding,
 * straight from the caller's buffer. Takes no lock.
 * @param text the bytes; they may contain 0x00 bytes; NULL fails, even with
 *        length 0.
 * @param length the number of bytes to write; a negative value means up to
 *        (not including) the first 0x00 byte, however far that is; 0 writes
 *        only the encoding's byte-order mark, if any.
 * @param path NUL-terminated target path, at most 4087 bytes; NULL fails.
 * @param encoding "utf8", "utf8-bom" or "utf16le"; NULL fails.
 * @return 1 on success, or -1 with "null argument" or one of the save
 *         messages above.
 */
TF_API int tf_save_text(const char* text, int32_t length, const char* path,
                        const char* encoding) TF_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QUOBRIX_TEXTFILE_H */
