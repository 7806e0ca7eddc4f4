#include "query/replace_preview.hpp"

#include <cstring>

#include "frame/messages.hpp"
#include "frame/result_doc.hpp"
#include "query/replace_all.hpp"

namespace tf::query {

char* build_replace_preview(const HandleSlot* slot, const char* find, const char* repl,
                            int case_insensitive) noexcept {
  if (slot == nullptr || !slot->text || find == nullptr || repl == nullptr) return nullptr;
  const std::uint64_t f = std::strlen(find);
  const std::uint64_t r = std::strlen(repl);
  const char* text = reinterpret_cast<const char*>(slot->text.get());

  if (f == 0) {
    // Nothing to replace: the whole text, never cut.
    ResultDoc doc;
    if (!doc.created()) return nullptr;
    doc.add_int("count", 0);
    doc.add_string("text", text);
    return doc.write();
  }

  // Only the bytes that can be shown, and one more, are built; the rest of
  // the output is counted.
  ReplaceOutput out = replace_all(
      slot->text.get(), slot->text_length, reinterpret_cast<const unsigned char*>(find), f,
      reinterpret_cast<const unsigned char*>(repl), r, case_insensitive != 0, kPreviewLimit + 1);
  if (!out.data) return nullptr;

  ResultDoc doc;
  if (!doc.created()) return nullptr;
  doc.add_int("count", static_cast<std::int64_t>(out.count));
  // A longer output is cut at exactly kPreviewLimit bytes, wherever that
  // falls.
  if (out.length > kPreviewLimit) out.data[kPreviewLimit] = 0;
  doc.add_string("text", reinterpret_cast<const char*>(out.data.get()));
  if (out.length > kPreviewLimit) doc.add_true("truncated");
  out.data.reset();
  return doc.write();
}

char* replace_preview(int handle, const char* find, const char* repl, int case_insensitive) {
  ensure_initialized();
  if (find == nullptr || repl == nullptr) {
    set_last_error("%s", msg::kFindReplIsNull);
    return nullptr;
  }
  return with_handle<char*>(handle, nullptr, [&](HandleSlot& slot, PendingError& error) -> char* {
    char* json = build_replace_preview(&slot, find, repl, case_insensitive);
    if (json == nullptr) error.set("%s", msg::kReplacePreviewFailed);
    return json;
  });
}

}  // namespace tf::query
