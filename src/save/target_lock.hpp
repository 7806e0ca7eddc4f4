// Saves inside this process whose names meet take turns. A save to `p`
// writes `p.tmp` and renames it onto `p`, so two saves collide when their
// targets are one file, or when one's target is the other's temporary name
// (`p` and `p.tmp`): one would remove or overwrite the other's file, and a
// rename could publish the other save's bytes while reporting success.
// Targets are compared by what they name, not by their spelling (see
// platform/target_identity.hpp): "a.txt" and "./a.txt", or a file reached
// through a linked directory, wait for each other; on Windows so do
// "A.TXT" and "a.txt". Saves whose names do not meet never wait for each
// other, and nothing guards against another process saving to the same
// path.
#pragma once

#include "platform/target_identity.hpp"

namespace tf::save {

// Held for the whole save. While a save whose names meet these is running,
// the constructor waits for it to end. Nothing is allocated: the entry,
// with both identities, lives in the object.
class TargetLock {
 public:
  TargetLock(const char* target, const char* temp_name) noexcept;
  ~TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

  // Whether this save and `other` touch a common name.
  bool meets(const TargetLock& other) const noexcept;

 private:
  char target_[platform::kIdentitySize];
  char temp_[platform::kIdentitySize];
  TargetLock* next_ = nullptr;  // the other saves running
};

}  // namespace tf::save
