#pragma once

#include <cstdint>

#include "frame/library_state.hpp"

namespace tf::query {

// Longest preview text returned whole; a longer one is cut to this many bytes.
inline constexpr std::uint64_t kPreviewLimit = 1048576;

// The replace-all preview of one slot: {"count","text"[,"truncated":true]}.
// find and repl are read up to their first 0x00; an empty find gives the
// whole text, uncut. Null when the slot, its text, find or repl is null, when
// memory runs out, or when writing fails (a "text" that is not valid UTF-8).
// The slot is only read. Runs under the table lock.
char* build_replace_preview(const HandleSlot* slot, const char* find, const char* repl,
                            int case_insensitive) noexcept;

// tf_replace_preview: "find/repl is NULL" before anything else, then the
// handle.
char* replace_preview(int handle, const char* find, const char* repl, int case_insensitive);

}  // namespace tf::query
