#pragma once

namespace tf::query {

// tf_info: the facts detected at open time, as a JSON result.
char* info(int handle);

}  // namespace tf::query
