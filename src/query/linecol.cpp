#include "query/linecol.hpp"

#include "frame/messages.hpp"
#include "frame/result_doc.hpp"
#include "query/locate_offset.hpp"

namespace tf::query {

char* build_linecol_result(const HandleSlot& slot, std::int64_t offset) noexcept {
  if (!slot.text) return nullptr;
  const LineCol at = locate_offset(slot.text.get(), slot.text_length, offset);
  ResultDoc doc;
  if (!doc.created()) return nullptr;
  doc.add_int("line", at.line);
  doc.add_int("col", at.col);
  return doc.write();
}

char* linecol(int handle, std::int64_t offset) {
  return with_handle<char*>(handle, nullptr, [&](HandleSlot& slot, PendingError& error) -> char* {
    char* json = build_linecol_result(slot, offset);
    if (json == nullptr) error.set("%s", msg::kLinecolFailed);
    return json;
  });
}

}  // namespace tf::query
