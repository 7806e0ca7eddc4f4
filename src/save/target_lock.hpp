// Saves to one target path inside this process take turns. Two saves to the
// same path would share the temporary name "<path>.tmp": one would remove or
// overwrite the other's file, and a rename could publish half of the other
// save's bytes while reporting success. Saves to different paths never wait
// for each other. Paths are compared as the byte strings the callers gave,
// so "a.txt" and "./a.txt" do not wait for each other; nothing guards
// against another process saving to the same path.
#pragma once

namespace tf::save {

// Held for the whole save. While a save of the same path string is running,
// the constructor waits for it to end. Nothing is allocated: the entry lives
// in the object, which borrows the caller's path for its lifetime.
class TargetLock {
 public:
  explicit TargetLock(const char* path) noexcept;
  ~TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

 private:
  const char* path_;
  TargetLock* next_ = nullptr;  // the other paths being saved
};

}  // namespace tf::save
