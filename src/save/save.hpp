#pragma once

namespace tf::save {

// tf_save: copies the handle's text under the table lock, then saves the
// copy with the lock released. 1, or -1 with the message set.
int save_handle(int handle, const char* path, const char* encoding) noexcept;

// tf_save_text: saves the caller's bytes directly, without a lock. A
// negative length means "up to the first 0x00".
int save_text(const char* text, int length, const char* path, const char* encoding) noexcept;

}  // namespace tf::save
