#include "query/search.hpp"

#include <cstdlib>
#include <cstring>

#include "frame/heap.hpp"
#include "frame/messages.hpp"
#include "query/find_matches.hpp"
#include "query/search_json.hpp"

namespace tf::query {
namespace {

constexpr int kDefaultHitLimit = 100;
constexpr int kMaxHitLimit = 100000;

}  // namespace

int hit_limit(int max_hits) noexcept {
  if (max_hits <= 0) return kDefaultHitLimit;
  return max_hits < kMaxHitLimit ? max_hits : kMaxHitLimit;
}

char* build_search_result(const HandleSlot* slot, const char* query, int case_insensitive,
                          int max_hits) noexcept {
  if (slot == nullptr || !slot->text || query == nullptr) return nullptr;
  const int limit = hit_limit(max_hits);
  const std::uint64_t m = std::strlen(query);

  // Exactly `limit` entries, allocated before the scan, which stops once
  // they are all used.
  HeapPtr<std::uint64_t[]> hits(static_cast<std::uint64_t*>(
      std::calloc(static_cast<std::size_t>(limit), sizeof(std::uint64_t))));
  if (!hits) return nullptr;
  const int count = find_matches(slot->text.get(), slot->text_length,
                                 reinterpret_cast<const unsigned char*>(query), m, case_insensitive,
                                 hits.get(), limit);

  // The document holds only fixed keys and integers: it is written
  // directly, byte for byte what the result document would write.
  return write_search_json(hits.get(), count, m);
}

char* search(int handle, const char* query, int case_insensitive, int max_hits) {
  ensure_initialized();
  if (query == nullptr) {
    set_last_error("%s", msg::kQueryIsNull);
    return nullptr;
  }
  return with_handle<char*>(handle, nullptr, [&](HandleSlot& slot, PendingError& error) -> char* {
    char* json = build_search_result(&slot, query, case_insensitive, max_hits);
    if (json == nullptr) error.set("%s", msg::kSearchFailed);
    return json;
  });
}

}  // namespace tf::query
