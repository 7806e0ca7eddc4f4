#include "query/stats.hpp"

#include "frame/messages.hpp"
#include "frame/result_doc.hpp"
#include "query/measure_text.hpp"

namespace tf::query {

char* build_stats_result(const HandleSlot& slot) noexcept {
  const unsigned char* text = slot.text.get();
  const std::uint64_t n = slot.text_length;
  // count_lines, count_words and count_chars in one pass.
  const TextMeasures measures = measure_text(text, n);
  const std::int64_t lines = measures.lines;
  const std::int64_t words = measures.words;
  const std::int64_t chars = measures.chars;
  ResultDoc doc;
  if (!doc.created()) return nullptr;
  doc.add_int("lines", lines);
  doc.add_int("words", words);
  doc.add_int("chars", chars);
  doc.add_int("bytes", static_cast<std::int64_t>(n));
  return doc.write();
}

char* stats(int handle) {
  return with_handle<char*>(handle, nullptr, [](HandleSlot& slot, PendingError& error) -> char* {
    char* json = build_stats_result(slot);
    if (json == nullptr) error.set("%s", msg::kStatsFailed);
    return json;
  });
}

}  // namespace tf::query
