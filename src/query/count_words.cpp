#include "query/count_words.hpp"

#include "query/measure_text.hpp"

namespace tf::query {

std::int64_t count_words(const unsigned char* text, std::uint64_t length) noexcept {
  return measure_text(text, length).words;
}

}  // namespace tf::query
