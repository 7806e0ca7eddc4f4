#include "query/info.hpp"

#include "decode/decode.hpp"
#include "frame/flat_json.hpp"
#include "frame/library_state.hpp"
#include "frame/messages.hpp"

namespace tf::query {

char* info(int handle) {
  return with_handle<char*>(handle, nullptr, [](HandleSlot& slot, PendingError& error) -> char* {
    // count_lines of the text: counted once, when the file was read.
    const std::int64_t lines = slot.lines;
    // Only names and integers: written directly, the bytes the result
    // document would write.
    FlatJson doc;
    doc.add_name("encoding", decode::encoding_name(slot.encoding));
    doc.add_int("had_bom", slot.had_bom);
    doc.add_name("line_ending", decode::line_ending_name(slot.line_ending));
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
