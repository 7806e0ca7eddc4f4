#pragma once

namespace tf::decode {

// tf_open: reads the file, detects and decodes it, and registers it in the
// lowest free handle slot. Returns the handle or -1 with the message set.
int open_path(const char* path);

// tf_close: releases a valid handle's slot; anything else is ignored.
int close_handle(int handle) noexcept;

}  // namespace tf::decode
