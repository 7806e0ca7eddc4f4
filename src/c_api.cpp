// The C boundary: the fourteen exports, each a single guarded call into the
// layers. Nothing else in the library has C linkage or default visibility.
#include <cstdlib>

#include "decode/open_file.hpp"
#include "frame/guard.hpp"
#include "frame/library_state.hpp"
#include "platform/cancel_guard.hpp"
#include "query/full_text.hpp"
#include "query/info.hpp"
#include "query/linecol.hpp"
#include "query/page_text.hpp"
#include "query/replace_preview.hpp"
#include "query/search.hpp"
#include "query/stats.hpp"
#include "quobrix_textfile.h"
#include "save/save.hpp"

extern "C" {

TF_API const char* tf_version(void) noexcept { return TF_VERSION_STRING; }

TF_API const char* tf_last_error(void) noexcept {
  const tf::platform::CancelGuard no_cancel;
  tf::ensure_initialized();
  return tf::last_error_buffer();
}

TF_API void tf_free_string(char* s) noexcept { std::free(s); }

TF_API int tf_open(const char* path) noexcept {
  return tf::guarded(-1, [&] { return tf::decode::open_path(path); });
}

TF_API int tf_close(int handle) noexcept {
  const tf::platform::CancelGuard no_cancel;
  return tf::decode::close_handle(handle);
}

TF_API char* tf_info(int handle) noexcept {
  return tf::guarded<char*>(nullptr, [&] { return tf::query::info(handle); });
}

TF_API char* tf_text(int handle, int64_t offset, int32_t max_bytes) noexcept {
  return tf::guarded<char*>(nullptr,
                            [&] { return tf::query::page_text(handle, offset, max_bytes); });
}

TF_API char* tf_full(int handle) noexcept {
  return tf::guarded<char*>(nullptr, [&] { return tf::query::full_text(handle); });
}

TF_API char* tf_stats(int handle) noexcept {
  return tf::guarded<char*>(nullptr, [&] { return tf::query::stats(handle); });
}

TF_API char* tf_linecol(int handle, int64_t offset) noexcept {
  return tf::guarded<char*>(nullptr, [&] { return tf::query::linecol(handle, offset); });
}

TF_API char* tf_search(int handle, const char* query, int case_insensitive, int max_hits) noexcept {
  return tf::guarded<char*>(
      nullptr, [&] { return tf::query::search(handle, query, case_insensitive, max_hits); });
}

TF_API char* tf_replace_preview(int handle, const char* find, const char* repl,
                                int case_insensitive) noexcept {
  return tf::guarded<char*>(
      nullptr, [&] { return tf::query::replace_preview(handle, find, repl, case_insensitive); });
}

TF_API int tf_save(int handle, const char* path, const char* encoding) noexcept {
  return tf::guarded(-1, [&] { return tf::save::save_handle(handle, path, encoding); });
}

TF_API int tf_save_text(const char* text, int32_t length, const char* path,
                        const char* encoding) noexcept {
  return tf::guarded(-1, [&] { return tf::save::save_text(text, length, path, encoding); });
}

}  // extern "C"
