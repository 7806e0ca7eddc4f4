// Every message the library can leave in the last-error buffer, in one place.
// Callers match on these texts, so they never change.
#pragma once

namespace tf::msg {

// Shared.
inline constexpr char kInvalidHandle[] = "invalid handle";
inline constexpr char kOutOfMemory[] = "out of memory";
inline constexpr char kInternalError[] = "internal error";

// Opening.
inline constexpr char kPathIsNull[] = "path is NULL";
inline constexpr char kCannotOpen[] = "cannot open '%s': %s";
inline constexpr char kIsDirectory[] = "'%s' is a directory";
inline constexpr char kNotRegularFile[] = "'%s' is not a regular file";
inline constexpr char kInvalidFileSize[] = "invalid file size";
inline constexpr char kFileTooLarge[] = "file too large (%lld bytes; max %lld)";
inline constexpr char kShortRead[] = "short read on '%s'";
inline constexpr char kDecodeFailed[] = "decode failed / out of memory";
inline constexpr char kTooManyHandles[] = "too many open handles (max %d)";

// Queries.
inline constexpr char kSerializeFailed[] = "failed to serialize JSON";
inline constexpr char kFullTooLarge[] =
    "file too large for tf_full (%zu bytes; max %lld); use tf_text paging";
inline constexpr char kStatsFailed[] = "failed to build stats";
inline constexpr char kLinecolFailed[] = "linecol failed";
inline constexpr char kQueryIsNull[] = "query is NULL";
inline constexpr char kSearchFailed[] = "search failed";
inline constexpr char kFindReplIsNull[] = "find/repl is NULL";
inline constexpr char kReplacePreviewFailed[] = "replace preview failed";

// Saving.
inline constexpr char kNullArgument[] = "null argument";
inline constexpr char kUnsupportedEncoding[] =
    "unsupported encoding '%s' (use utf8|utf8-bom|utf16le)";
inline constexpr char kPathTooLong[] = "path too long";
inline constexpr char kCannotCreateTemp[] = "cannot create temp file '%s': %s";
inline constexpr char kOutOfMemoryUtf16[] = "out of memory encoding utf16le";
inline constexpr char kWriteFailed[] = "write failed: %s";
inline constexpr char kFlushFailed[] = "fflush failed: %s";
inline constexpr char kRenameFailed[] = "rename failed: Win32 error %lu";
// After the rename: the target already holds the new content.
inline constexpr char kDirectorySyncFailed[] = "directory sync failed: %s";

}  // namespace tf::msg
