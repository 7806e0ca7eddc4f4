// The boundary guard: nothing thrown inside the library crosses an export.
// Ordinary failures are return values; only allocation inside the standard
// library can throw, and it turns into the usual failure value here. A
// thread's cancellation is held off for the length of the call (see
// platform/cancel_guard.hpp): its unwinding could not cross the export.
//
// Builds without exceptions (WebAssembly) have nothing to catch: every
// block of the library comes from malloc, whose failure the layers already
// report as "out of memory", and none of the standard library's throwing
// allocations is used. One that failed there would end the call with a trap
// (std::abort), which the JavaScript host reports as "out of memory" and
// answers with a fresh instance.
#pragma once

#include <new>

#include "frame/last_error.hpp"
#include "frame/messages.hpp"
#include "platform/cancel_guard.hpp"

namespace tf {

template <class Result, class Body>
Result guarded([[maybe_unused]] Result failure, Body&& body) noexcept {
  const platform::CancelGuard no_cancel;
#if !defined(__cpp_exceptions)
  return body();
#else
  try {
    return body();
  } catch (const std::bad_alloc&) {
    set_last_error("%s", msg::kOutOfMemory);
  } catch (...) {
    set_last_error("%s", msg::kInternalError);
  }
  return failure;
#endif
}

}  // namespace tf
