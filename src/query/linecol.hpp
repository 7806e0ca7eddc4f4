#pragma once

#include <cstdint>

#include "frame/library_state.hpp"

namespace tf::query {

// {"line":...,"col":...} for a byte offset of the slot's decoded text (see
// locate_offset); null when the slot has no text or the document cannot be
// built or written.
char* build_linecol_result(const HandleSlot& slot, std::int64_t offset) noexcept;

// tf_linecol: build_linecol_result under the lock, "linecol failed" when it
// gives null.
char* linecol(int handle, std::int64_t offset);

}  // namespace tf::query
