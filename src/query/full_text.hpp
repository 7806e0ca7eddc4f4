#pragma once

#include <cstdint>

namespace tf::query {

// The largest text tf_full hands out: 64 MiB; longer texts need paging.
inline constexpr std::uint64_t kMaxFullText = 67108864;

// tf_full: a malloc'ed copy of the whole decoded text, inner 0x00 bytes
// included, followed by one 0x00; an empty text gives "".
char* full_text(int handle);

}  // namespace tf::query
