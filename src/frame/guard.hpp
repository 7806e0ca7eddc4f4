// The boundary guard: nothing thrown inside the library crosses an export.
// Ordinary failures are return values; only allocation inside the standard
// library can throw, and it turns into the usual failure value here. A
// thread's cancellation is held off for the length of the call (see
// platform/cancel_guard.hpp): its unwinding could not cross the export.
#pragma once

#include <new>

#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "platform/cancel_guard.hpp"

namespace tf {

template <class Result, class Body>
Result guarded(Result failure, Body&& body) noexcept {
  const platform::CancelGuard no_cancel;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    set_last_error("%s", msg::kOutOfMemory);
  } catch (...) {
    set_last_error("%s", msg::kInternalError);
  }
  return failure;
}

}  // namespace tf
