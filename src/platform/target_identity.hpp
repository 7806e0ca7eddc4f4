// What a save's target names, as opposed to how it was spelt: two spellings
// of one file ("a.txt", "./a.txt", "d/f" and "link-to-d/f") give the same
// identity, so that saves to them can take turns.
#pragma once

#include <cstddef>

namespace tf::platform {

// The room an identity needs: the longest directory the system resolves
// plus a separator and a last component.
inline constexpr std::size_t kIdentitySize = 4096 + 256 + 8;

// Writes the identity of `path` into `out` (terminated): on POSIX the real
// path of its directory (links and "." and ".." resolved), a '/', and its
// last component as given, which is never followed (a link there is
// replaced by the save, not written through); on Windows the system's full
// path of `path`, upper-cased, since NTFS compares names without regard to
// case. False when it cannot be had (a directory that does not exist, no
// search permission, too long for `out`): the caller then identifies the
// target by its spelling, and the save fails further on as it would anyway.
bool target_identity(const char* path, char* out, std::size_t size) noexcept;

}  // namespace tf::platform
