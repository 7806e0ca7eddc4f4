#pragma once

#include "frame/library_state.hpp"

namespace tf::query {

// {"lines":...,"words":...,"chars":...,"bytes":...} for the slot's decoded
// text; null when the document cannot be built or written.
char* build_stats_result(const HandleSlot& slot) noexcept;

// tf_stats: build_stats_result under the lock, "failed to build stats" when
// it gives null.
char* stats(int handle);

}  // namespace tf::query
