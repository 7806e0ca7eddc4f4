// Saves inside this process whose names meet take turns. A save to `p`
// writes its temporary file beside `p` and renames it onto `p`, so two saves
// collide when their targets are one file, when one's target is the other's
// temporary name (`p` and `p.tmp`), or when their temporary names are one:
// one would remove or overwrite the other's file, and a rename could publish
// the other save's bytes while reporting success. Names are compared by
// what they name, not by their spelling: the directory by its identity as
// an opened directory (platform::Directory), whatever path, link or mount
// reached it, and the last component as the file system compares it (on
// Windows "A.TXT" and "a.txt" are one). Saves whose names do not meet never
// wait for each other, and nothing guards against another process saving
// to the same path.
#pragma once

#include <cstdint>

#include "platform/target_identity.hpp"
#include "platform/write_files.hpp"

namespace tf::save {

// One save's turn. Nothing is allocated: the entry, with both names, lives
// in the object.
class TargetLock {
 public:
  TargetLock() noexcept = default;
  ~TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

  // Waits while a save whose names meet these is running, then holds the
  // turn until the object goes away. `target` and `temp_name` lie in
  // `directory`; only their last components are read.
  void enter(const platform::Directory& directory, const char* target,
             const char* temp_name) noexcept;

  // Whether this save and `other` touch a common name.
  bool meets(const TargetLock& other) const noexcept;

 private:
  std::uint64_t volume_ = 0;
  std::uint64_t file_ = 0;
  char target_[platform::kNameIdentitySize] = {};
  char temp_[platform::kNameIdentitySize] = {};
  bool entered_ = false;
  TargetLock* next_ = nullptr;  // the other saves running
};

}  // namespace tf::save
