// The public API end to end: the input becomes a file (after a small header
// of parameters), which is opened and asked every query with parameters
// taken from the header: offsets, lengths, patterns, the case flag, the hit
// limit, an output encoding. Every answer is checked against the plain
// reference, and a save must reproduce the text.
#include <yyjson.h>

#include <cinttypes>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "quobrix_textfile.h"
#include "reference/naive_search.hpp"
#include "reference/text_measures.hpp"
#include "reference/utf16le_reference.hpp"
#include "reference/utf8_reference.hpp"

namespace {

using tf_fuzz::check;

const char* const kEncodingNames[] = {"utf8", "utf8-bom", "utf16le", "ansi"};
const char* const kLineEndingNames[] = {"lf", "crlf", "cr", "mixed"};

struct Params {
  std::uint8_t flags = 0;
  std::int64_t offset = 0;
  std::int32_t max_bytes = 0;
  std::int64_t position = 0;
  std::int32_t max_hits = 0;
  std::string pattern;
  std::string replacement;
};

// Offsets straight from the input rarely land inside a small text: unless
// flag 0x08 asks for raw values, fold them into -2 .. length + 2.
std::int64_t fold(std::int64_t v, std::size_t n, bool raw) {
  if (raw) return v;
  const std::uint64_t span = n + 5;
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(v) % span) - 2;
}

std::string text_of(int h) {
  char* full = tf_full(h);
  check(full != nullptr, "tf_full succeeds", tf_last_error());
  // tf_info tells the length; the text may hold 0x00 bytes.
  char* info = tf_info(h);
  check(info != nullptr, "tf_info succeeds", tf_last_error());
  yyjson_doc* doc = yyjson_read(info, std::strlen(info), 0);
  const std::uint64_t n = yyjson_get_uint(yyjson_obj_get(yyjson_doc_get_root(doc), "bytes"));
  yyjson_doc_free(doc);
  tf_free_string(info);
  check(full[n] == '\0', "tf_full is terminated");
  std::string out(full, n);
  tf_free_string(full);
  return out;
}

void check_page(int h, const std::string& text, std::int64_t offset, std::int32_t max_bytes) {
  const std::uint64_t n = text.size();
  std::uint64_t start = offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
  if (start > n) start = n;
  const std::uint64_t wanted = max_bytes < 0 ? 0 : static_cast<std::uint64_t>(max_bytes);
  const std::uint64_t length = wanted > n - start ? n - start : wanted;
  std::string page = text.substr(start, length);
  page = page.substr(0, page.find('\0'));  // a string member ends at 0x00
  char* json = tf_text(h, offset, max_bytes);
  if (!tf_ref::valid_utf8(page)) {
    check(json == nullptr, "a page cut inside a character is refused");
    check(std::string(tf_last_error()) == "failed to serialize JSON", "its message",
          tf_last_error());
    return;
  }
  check(json != nullptr, "tf_text succeeds", tf_last_error());
  yyjson_doc* doc = yyjson_read(json, std::strlen(json), 0);
  check(doc != nullptr, "tf_text gives JSON", json);
  yyjson_val* root = yyjson_doc_get_root(doc);
  yyjson_val* got_text = yyjson_obj_get(root, "text");
  check(yyjson_obj_size(root) == 2 && got_text != nullptr &&
            std::string(yyjson_get_str(got_text), yyjson_get_len(got_text)) == page,
        "tf_text gives the page", json);
  check(yyjson_get_uint(yyjson_obj_get(root, "next_offset")) == start + length,
        "tf_text gives next_offset", json);
  yyjson_doc_free(doc);
  tf_free_string(json);
}

void check_search(int h, const std::string& text, const std::string& query, bool fold,
                  int max_hits) {
  const std::string q = query.substr(0, query.find('\0'));  // the query ends at 0x00
  const std::vector<std::uint64_t> hits =
      tf_ref::find_all(text, q, fold, tf_ref::hit_limit(max_hits));
  std::string expected = "{\"count\":" + std::to_string(hits.size()) +
                         ",\"query_len\":" + std::to_string(q.size()) + ",\"hits\":[";
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (i > 0) expected += ",";
    expected +=
        "{\"offset\":" + std::to_string(hits[i]) + ",\"length\":" + std::to_string(q.size()) + "}";
  }
  expected += "]}";
  char* json = tf_search(h, query.c_str(), fold ? 1 : 0, max_hits);
  check(json != nullptr && expected == json, "tf_search", json ? json : tf_last_error());
  tf_free_string(json);
}

void check_replace(int h, const std::string& text, const std::string& find_bytes,
                   const std::string& repl_bytes, bool fold) {
  constexpr std::size_t kLimit = 1048576;
  const std::string find = find_bytes.substr(0, find_bytes.find('\0'));
  const std::string repl = repl_bytes.substr(0, repl_bytes.find('\0'));
  std::string output = text;
  std::uint64_t count = 0;
  bool truncated = false;
  if (!find.empty()) {
    const tf_ref::Replaced r = tf_ref::replace_all(text, find, repl, fold);
    output = r.text;
    count = r.count;
    if (output.size() > kLimit) {
      output.resize(kLimit);
      truncated = true;
    }
  }
  const std::string shown = output.substr(0, output.find('\0'));
  char* json = tf_replace_preview(h, find_bytes.c_str(), repl_bytes.c_str(), fold ? 1 : 0);
  if (!tf_ref::valid_utf8(shown)) {
    check(json == nullptr, "a preview that is not UTF-8 is refused", json ? json : "");
    check(std::string(tf_last_error()) == "replace preview failed", "its message", tf_last_error());
    return;
  }
  check(json != nullptr, "tf_replace_preview succeeds", tf_last_error());
  yyjson_doc* doc = yyjson_read(json, std::strlen(json), 0);
  check(doc != nullptr, "tf_replace_preview gives JSON", json);
  yyjson_val* root = yyjson_doc_get_root(doc);
  yyjson_val* got_text = yyjson_obj_get(root, "text");
  check(yyjson_obj_size(root) == (truncated ? 3u : 2u), "tf_replace_preview members", json);
  check(yyjson_get_uint(yyjson_obj_get(root, "count")) == count, "tf_replace_preview count", json);
  check(got_text != nullptr &&
            std::string(yyjson_get_str(got_text), yyjson_get_len(got_text)) == shown,
        "tf_replace_preview text", json);
  check(!truncated || yyjson_is_true(yyjson_obj_get(root, "truncated")),
        "tf_replace_preview truncated", json);
  yyjson_doc_free(doc);
  tf_free_string(json);
}

void check_save(int h, const std::string& text, int which) {
  const char* encoding = kEncodingNames[which];
  const std::string path = tf_fuzz::scratch_dir() + "/saved.txt";
  check(tf_save(h, path.c_str(), encoding) == 1, "tf_save succeeds", tf_last_error());
  std::string want = text;
  if (which == 1) want = "\xEF\xBB\xBF" + text;
  if (which == 2) want = tf_ref::utf16le_encode(text).bytes;
  check(tf_fuzz::read_file(path) == want, "the saved file holds the encoded text");
  // Opening it again gives the same text back (a text that itself starts
  // with U+FEFF loses it to detection when saved without a mark).
  const int again = tf_open(path.c_str());
  check(again >= 0, "the saved file opens", tf_last_error());
  const std::string back = text_of(again);
  tf_close(again);
  if (!(which == 0 && text.rfind("\xEF\xBB\xBF", 0) == 0)) {
    check(back == text, "save and open round trip");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tf_fuzz::Reader in(data, size);
  Params p;
  p.flags = in.byte();
  p.offset = in.value<std::int64_t>();
  p.max_bytes = in.value<std::int32_t>();
  p.position = in.value<std::int64_t>();
  p.max_hits = in.value<std::int32_t>();
  const std::size_t pattern_length = in.byte() % 16;
  const std::size_t replacement_length = in.byte() % 16;
  p.pattern = in.bytes(pattern_length);
  p.replacement = in.bytes(replacement_length);
  const std::string content = in.rest();

  const std::string path = tf_fuzz::scratch_dir() + "/input.txt";
  check(tf_fuzz::write_file(path, reinterpret_cast<const std::uint8_t*>(content.data()),
                            content.size()),
        "cannot write the input file");
  const int h = tf_open(path.c_str());
  check(h >= 0, "tf_open of a regular file succeeds", tf_last_error());
  check(std::string(tf_last_error()).empty(), "a successful open empties the message");

  // What the reference says the document is.
  const auto* raw = reinterpret_cast<const unsigned char*>(content.data());
  const tf_ref::Detection detected = tf_ref::detect_encoding(raw, content.size());
  tf_ref::Bytes decoded;
  int sanitized = 0;
  if (detected.encoding == 2) {
    const tf_ref::Decoded d = tf_ref::decode_utf16le(raw, content.size());
    decoded = d.text;
    sanitized = d.sanitized;
  } else if (detected.encoding == 3) {
    decoded = tf_ref::decode_ansi(raw, content.size());
  } else {
    const tf_ref::Decoded d =
        tf_ref::decode_utf8(raw, content.size(), detected.encoding == 1 ? 3 : 0);
    decoded = d.text;
    sanitized = d.sanitized;
  }
  const std::string text(decoded.begin(), decoded.end());
  const std::size_t n = text.size();

  char expected[512];
  std::snprintf(expected, sizeof expected,
                "{\"encoding\":\"%s\",\"had_bom\":%d,\"line_ending\":\"%s\",\"bytes\":%zu,"
                "\"raw_bytes\":%zu,\"lines\":%" PRId64 ",\"sanitized\":%d}",
                kEncodingNames[detected.encoding], detected.had_bom,
                kLineEndingNames[tf_ref::detect_line_ending(decoded.data(), n)], n, content.size(),
                tf_ref::lines(text), sanitized);
  char* info = tf_info(h);
  check(info != nullptr && std::string(info) == expected, "tf_info", info ? info : tf_last_error());
  tf_free_string(info);

  check(text_of(h) == text, "tf_full gives the decoded text");

  const bool raw_offsets = (p.flags & 0x08) != 0;
  check_page(h, text, fold(p.offset, n, raw_offsets),
             raw_offsets ? p.max_bytes : static_cast<std::int32_t>(p.max_bytes & 0x3F) - 2);
  check_page(h, text, p.offset, p.max_bytes);

  std::snprintf(expected, sizeof expected,
                "{\"lines\":%" PRId64 ",\"words\":%" PRId64 ",\"chars\":%" PRId64 ",\"bytes\":%zu}",
                tf_ref::lines(text), tf_ref::words(text), tf_ref::chars(text), n);
  char* stats = tf_stats(h);
  check(stats != nullptr && std::string(stats) == expected, "tf_stats",
        stats ? stats : tf_last_error());
  tf_free_string(stats);

  for (const std::int64_t position : {fold(p.position, n, raw_offsets), p.position}) {
    const tf_ref::Position at = tf_ref::line_col(text, position);
    std::snprintf(expected, sizeof expected, "{\"line\":%" PRId64 ",\"col\":%" PRId64 "}", at.line,
                  at.col);
    char* linecol = tf_linecol(h, position);
    check(linecol != nullptr && std::string(linecol) == expected, "tf_linecol",
          linecol ? linecol : tf_last_error());
    tf_free_string(linecol);
  }

  const bool fold = (p.flags & 0x01) != 0;
  check_search(h, text, p.pattern, fold, p.max_hits);
  check_search(h, text, p.replacement, !fold, (p.flags & 0x02) != 0 ? 1 : 0);
  check_replace(h, text, p.pattern, p.replacement, fold);
  // The document is unchanged by any of it.
  check(text_of(h) == text, "queries leave the text as it was");

  if ((p.flags & 0x30) != 0) check_save(h, text, ((p.flags >> 4) & 3) - 1);

  // A closed handle answers nothing.
  tf_close(h);
  char* gone = tf_info(h);
  check(gone == nullptr && std::string(tf_last_error()) == "invalid handle",
        "a closed handle is invalid");
  return 0;
}
