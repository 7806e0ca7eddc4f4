#include "frame/library_state.hpp"

#include <mutex>

#include "platform/fork_guard.hpp"

namespace tf {
namespace {

// Never destroyed: threads may still call in while the process exits, and
// slots still open then are simply left to the operating system.
union StateStorage {
  LibraryState state;
  constexpr StateStorage() : state() {}
  ~StateStorage() {}
};
constinit StateStorage g_storage;
LibraryState& g_state = g_storage.state;
std::once_flag g_once;

// A fork() waits for the call that holds the table, so that the child
// starts with the table free and every slot as the parent left it between
// two calls.
void lock_table() { g_state.table_lock.lock(); }
void unlock_table() { g_state.table_lock.unlock(); }

void initialize_once() noexcept {
  for (HandleSlot& slot : g_state.table) slot.reset();
  g_state.last_error[0] = '\0';
  guard_last_error_across_fork();
  platform::at_fork(lock_table, unlock_table, unlock_table);
  guard_saves_across_fork();
}

}  // namespace

LibraryState& library_state() noexcept { return g_state; }

void ensure_initialized() noexcept { std::call_once(g_once, initialize_once); }

HandleSlot* lookup_handle(int handle) noexcept {
  const auto index = static_cast<unsigned>(handle);
  if (index >= static_cast<unsigned>(kMaxHandles)) return nullptr;
  HandleSlot& slot = g_state.table[index];
  return slot.in_use != 0 ? &slot : nullptr;
}

}  // namespace tf
