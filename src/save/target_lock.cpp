#include "save/target_lock.hpp"

#include <pthread.h>

#include <cstring>

namespace tf::save {
namespace {

// The paths being saved now: a list of the TargetLocks alive, short-lived and
// rarely longer than the number of threads saving at once. The mutex guards
// only the list, never the work of a save.
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_ended = PTHREAD_COND_INITIALIZER;
TargetLock* g_saving = nullptr;

}  // namespace

TargetLock::TargetLock(const char* path) noexcept : path_(path) {
  pthread_mutex_lock(&g_mutex);
  for (;;) {
    bool busy = false;
    for (const TargetLock* e = g_saving; e != nullptr && !busy; e = e->next_) {
      busy = std::strcmp(e->path_, path_) == 0;
    }
    if (!busy) break;
    pthread_cond_wait(&g_ended, &g_mutex);
  }
  next_ = g_saving;
  g_saving = this;
  pthread_mutex_unlock(&g_mutex);
}

TargetLock::~TargetLock() {
  pthread_mutex_lock(&g_mutex);
  for (TargetLock** link = &g_saving; *link != nullptr; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
  pthread_cond_broadcast(&g_ended);
  pthread_mutex_unlock(&g_mutex);
}

}  // namespace tf::save
