// Compares a JSON result with the one a call gives when nothing fails, for
// results built while allocations may fail: a member (or array element) that
// could not be allocated is left out, everything else must be exactly as
// expected, in the same order.
#pragma once

#include <string>

namespace tf_inject {

// How many members and array elements of `expected` are missing from
// `actual` when actual is expected with some of them left out; -1 when it is
// not (invalid JSON, a value that differs, an extra or reordered member).
int json_items_left_out(const std::string& expected, const std::string& actual);

}  // namespace tf_inject
