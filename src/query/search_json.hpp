// The tf_search result written directly: the bytes the result document of
// build_search_result would give, without building a document of one
// object per hit first.
#pragma once

#include <cstdint>

namespace tf::query {

// {"count":C,"query_len":M,"hits":[{"offset":O,"length":M},...]} for the
// `count` offsets at `hits`. A malloc'ed string, or null when it cannot be
// allocated.
char* write_search_json(const std::uint64_t* hits, int count, std::uint64_t m) noexcept;

}  // namespace tf::query
