// The library's lock: constant-initialised, so that it can live in static
// storage that is ready before any code runs. std::mutex is that on Linux;
// with mingw-w64's thread model its constructor is not constexpr, so Windows
// uses a slim reader/writer lock (one pointer, zero when free) instead.
#pragma once

#if !defined(_WIN32)
#include <mutex>
#endif

namespace tf::platform {

class Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock() noexcept;
  void unlock() noexcept;

 private:
#if defined(_WIN32)
  void* lock_ = nullptr;  // an SRWLOCK
#else
  std::mutex lock_;
#endif
};

#if !defined(_WIN32)
inline void Mutex::lock() noexcept { lock_.lock(); }
inline void Mutex::unlock() noexcept { lock_.unlock(); }
#endif

}  // namespace tf::platform
