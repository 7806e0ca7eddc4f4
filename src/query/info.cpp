#include "query/info.hpp"

#include "decode/decode.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"
#include "frame/result_doc.hpp"
#include "query/count_lines.hpp"

namespace tf::query {

char* info(int handle) {
  return with_handle<char*>(handle, nullptr, [](HandleSlot& slot, PendingError& error) -> char* {
    const std::int64_t lines = count_lines(slot.text.get(), slot.text_length);
    ResultDoc doc;
    if (!doc.created()) {
      error.set("%s", msg::kOutOfMemory);
      return nullptr;
    }
    doc.add_string("encoding", decode::encoding_name(slot.encoding));
    doc.add_int("had_bom", slot.had_bom);
    doc.add_string("line_ending", decode::line_ending_name(slot.line_ending));
    doc.add_int("bytes", static_cast<std::int64_t>(slot.text_length));
    doc.add_int("raw_bytes", static_cast<std::int64_t>(slot.raw_length));
    doc.add_int("lines", lines);
    doc.add_int("sanitized", slot.sanitized);
    char* json = doc.write();
    if (json == nullptr) error.set("%s", msg::kSerializeFailed);
    return json;
  });
}

}  // namespace tf::query
