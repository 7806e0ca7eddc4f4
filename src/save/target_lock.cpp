#include "save/target_lock.hpp"

#include <cstring>

#include "frame/library_state.hpp"
#include "platform/fork_guard.hpp"
#include "platform/mutex.hpp"

namespace tf::save {
namespace {

// The saves running now: a list of the TargetLocks alive, short-lived and
// rarely longer than the number of threads saving at once. The mutex guards
// only the list, never the work of a save.
constinit platform::Mutex g_mutex;
constinit platform::Condition g_ended;
TargetLock* g_saving = nullptr;

// Around a fork the list is held still; a child has only the thread that
// forked, so the saves of the others never end there and their entries go.
void before_fork() { g_mutex.lock(); }
void after_fork_in_parent() { g_mutex.unlock(); }
void after_fork_in_child() {
  g_saving = nullptr;
  g_ended.reset_after_fork();
  g_mutex.unlock();
}

}  // namespace

void TargetLock::enter(const platform::Directory& directory, const char* target,
                       const char* temp_name) noexcept {
  volume_ = directory.volume;
  file_ = directory.file;
  platform::name_identity(platform::last_component(target), target_, sizeof target_);
  platform::name_identity(platform::last_component(temp_name), temp_, sizeof temp_);
  g_mutex.lock();
  for (;;) {
    bool busy = false;
    for (const TargetLock* e = g_saving; e != nullptr && !busy; e = e->next_) busy = meets(*e);
    if (!busy) break;
    g_ended.wait(g_mutex);
  }
  next_ = g_saving;
  g_saving = this;
  entered_ = true;
  g_mutex.unlock();
}

TargetLock::~TargetLock() {
  if (!entered_) return;
  g_mutex.lock();
  for (TargetLock** link = &g_saving; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
  g_ended.notify_all();
  g_mutex.unlock();
}

bool TargetLock::meets(const TargetLock& other) const noexcept {
  if (volume_ != other.volume_ || file_ != other.file_) return false;
  return std::strcmp(target_, other.target_) == 0 || std::strcmp(target_, other.temp_) == 0 ||
         std::strcmp(temp_, other.target_) == 0 || std::strcmp(temp_, other.temp_) == 0;
}

}  // namespace tf::save

namespace tf {

void guard_saves_across_fork() noexcept {
  platform::at_fork(save::before_fork, save::after_fork_in_parent, save::after_fork_in_child);
}

}  // namespace tf
