#pragma once

#include "frame/library_state.hpp"

namespace tf::query {

// The hit limit for a max_hits argument: 100 for 0 or less, at most 100,000.
int hit_limit(int max_hits) noexcept;

// The search result of one query on one slot: {"count","query_len","hits"}.
// The query is read up to its first 0x00. Null when the slot, its text or the
// query is null, or when the hit array or the document cannot be allocated or
// writing fails. Runs under the table lock.
char* build_search_result(const HandleSlot* slot, const char* query, int case_insensitive,
                          int max_hits) noexcept;

// tf_search: "query is NULL" before anything else, then the handle.
char* search(int handle, const char* query, int case_insensitive, int max_hits);

}  // namespace tf::query
