#pragma once

#include <cstdint>

namespace tf::save {

// Writes `length` bytes of `text` to `path` in the named output encoding
// ("utf8", "utf8-bom", "utf16le") through the temporary file "<path>.tmp"
// and a rename onto the path. Returns 1, or -1 with the message set. The
// arguments are not null (the exports checked them); no lock is taken.
int save_encoded(const unsigned char* text, std::uint64_t length, const char* path,
                 const char* encoding) noexcept;

}  // namespace tf::save
