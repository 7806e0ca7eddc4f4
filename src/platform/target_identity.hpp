// What a save's target names, as opposed to how it was spelt: the identity
// of its directory (platform::Directory's volume and file, whatever path
// reached it) and its last component, compared as the file system compares
// names, so that saves to one file take turns.
#pragma once

#include <cstddef>

namespace tf::platform {

// The room a last component's identity needs (255 UTF-16 units as UTF-8 on
// Windows, and the terminator).
inline constexpr std::size_t kNameIdentitySize = 256 * 3 + 1;

// Writes the identity of the last component `name` into `out` (terminated,
// cut to `size`): on POSIX the name as given; on Windows the name
// upper-cased, since NTFS compares names without regard to case.
void name_identity(const char* name, char* out, std::size_t size) noexcept;

}  // namespace tf::platform
