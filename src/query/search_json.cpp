#include "query/search_json.hpp"

#include <cstdlib>
#include <cstring>

namespace tf::query {
namespace {

int digits(std::uint64_t v) noexcept {
  int n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

char* put_number(char* o, std::uint64_t v, int n) noexcept {
  for (int k = n - 1; k >= 0; --k) {
    o[k] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return o + n;
}

char* put(char* o, const char* s, std::size_t n) noexcept {
  std::memcpy(o, s, n);
  return o + n;
}

constexpr char kCount[] = "{\"count\":";
constexpr char kQueryLen[] = ",\"query_len\":";
constexpr char kHits[] = ",\"hits\":[";
constexpr char kOffset[] = "{\"offset\":";
constexpr char kLength[] = ",\"length\":";

}  // namespace

char* write_search_json(const std::uint64_t* hits, int count, std::uint64_t m) noexcept {
  const auto c = static_cast<std::uint64_t>(count < 0 ? 0 : count);
  const int m_digits = digits(m);
  // The exact size: the frame, then every hit and the commas between them.
  std::uint64_t size = (sizeof kCount - 1) + static_cast<std::uint64_t>(digits(c)) +
                       (sizeof kQueryLen - 1) + static_cast<std::uint64_t>(m_digits) +
                       (sizeof kHits - 1) + 2 + 1;
  for (std::uint64_t i = 0; i < c; ++i) {
    size += (sizeof kOffset - 1) + static_cast<std::uint64_t>(digits(hits[i])) +
            (sizeof kLength - 1) + static_cast<std::uint64_t>(m_digits) + 1 + (i > 0 ? 1 : 0);
  }
  char* out = static_cast<char*>(std::malloc(static_cast<std::size_t>(size)));
  if (out == nullptr) return nullptr;
  char* o = put(out, kCount, sizeof kCount - 1);
  o = put_number(o, c, digits(c));
  o = put(o, kQueryLen, sizeof kQueryLen - 1);
  o = put_number(o, m, m_digits);
  o = put(o, kHits, sizeof kHits - 1);
  for (std::uint64_t i = 0; i < c; ++i) {
    if (i > 0) *o++ = ',';
    o = put(o, kOffset, sizeof kOffset - 1);
    o = put_number(o, hits[i], digits(hits[i]));
    o = put(o, kLength, sizeof kLength - 1);
    o = put_number(o, m, m_digits);
    *o++ = '}';
  }
  *o++ = ']';
  *o++ = '}';
  *o = '\0';
  return out;
}

}  // namespace tf::query
