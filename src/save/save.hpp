#pragma once

namespace tf::save {

// tf_save: takes a lease on the handle's text under the table lock, then
// encodes and writes it with the lock released (a tf_close meanwhile leaves
// the text to the lease). 1, or -1 with the message set.
int save_handle(int handle, const char* path, const char* encoding) noexcept;

// tf_save_text: saves the caller's bytes directly, without a lock. A
// negative length means "up to the first 0x00".
int save_text(const char* text, int length, const char* path, const char* encoding) noexcept;

}  // namespace tf::save
