#include "save/target_lock.hpp"

#include <cstring>

#include "platform/mutex.hpp"

namespace tf::save {
namespace {

// The paths being saved now: a list of the TargetLocks alive, short-lived and
// rarely longer than the number of threads saving at once. The mutex guards
// only the list, never the work of a save.
constinit platform::Mutex g_mutex;
constinit platform::Condition g_ended;
TargetLock* g_saving = nullptr;

}  // namespace

TargetLock::TargetLock(const char* path) noexcept : path_(path) {
  g_mutex.lock();
  for (;;) {
    bool busy = false;
    for (const TargetLock* e = g_saving; e != nullptr && !busy; e = e->next_) {
      busy = std::strcmp(e->path_, path_) == 0;
    }
    if (!busy) break;
    g_ended.wait(g_mutex);
  }
  next_ = g_saving;
  g_saving = this;
  g_mutex.unlock();
}

TargetLock::~TargetLock() {
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

}  // namespace tf::save
