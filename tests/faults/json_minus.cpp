#include "faults/json_minus.hpp"

#include <yyjson.h>

#include <cstring>

namespace tf_inject {
namespace {

bool same_scalar(yyjson_val* a, yyjson_val* b) {
  if (yyjson_get_type(a) != yyjson_get_type(b)) return false;
  if (yyjson_is_str(a)) {
    return yyjson_get_len(a) == yyjson_get_len(b) &&
           std::memcmp(yyjson_get_str(a), yyjson_get_str(b), yyjson_get_len(a)) == 0;
  }
  if (yyjson_is_int(a)) return yyjson_get_sint(a) == yyjson_get_sint(b);
  if (yyjson_is_bool(a)) return yyjson_get_bool(a) == yyjson_get_bool(b);
  return yyjson_is_null(a);
}

// Items of `want` missing from `got` (greedy, in order), or -1.
int left_out(yyjson_val* want, yyjson_val* got) {
  if (yyjson_is_obj(want)) {
    if (!yyjson_is_obj(got)) return -1;
    int missing = 0;
    yyjson_obj_iter wi = yyjson_obj_iter_with(want);
    yyjson_obj_iter gi = yyjson_obj_iter_with(got);
    yyjson_val* gkey = yyjson_obj_iter_next(&gi);
    for (yyjson_val* wkey = yyjson_obj_iter_next(&wi); wkey != nullptr;
         wkey = yyjson_obj_iter_next(&wi)) {
      if (gkey != nullptr && yyjson_equals_str(gkey, yyjson_get_str(wkey))) {
        const int m = left_out(yyjson_obj_iter_get_val(wkey), yyjson_obj_iter_get_val(gkey));
        if (m < 0) return -1;
        missing += m;
        gkey = yyjson_obj_iter_next(&gi);
      } else {
        ++missing;  // this member was left out
      }
    }
    return gkey == nullptr ? missing : -1;
  }
  if (yyjson_is_arr(want)) {
    if (!yyjson_is_arr(got)) return -1;
    int missing = 0;
    std::size_t g = 0;
    const std::size_t gn = yyjson_arr_size(got);
    for (std::size_t w = 0; w < yyjson_arr_size(want); ++w) {
      const int m = g < gn ? left_out(yyjson_arr_get(want, w), yyjson_arr_get(got, g)) : -1;
      if (m >= 0) {
        missing += m;
        ++g;
      } else {
        ++missing;  // this element was left out
      }
    }
    return g == gn ? missing : -1;
  }
  return same_scalar(want, got) ? 0 : -1;
}

}  // namespace

int json_items_left_out(const std::string& expected, const std::string& actual) {
  yyjson_doc* want = yyjson_read(expected.data(), expected.size(), 0);
  yyjson_doc* got = yyjson_read(actual.data(), actual.size(), 0);
  const int result = want != nullptr && got != nullptr
                         ? left_out(yyjson_doc_get_root(want), yyjson_doc_get_root(got))
                         : -1;
  yyjson_doc_free(want);
  yyjson_doc_free(got);
  return result;
}

}  // namespace tf_inject
