# The platform layer: every operating-system call of the library, one
# implementation per system, chosen here.
if(WIN32)
  set(_tf_platform windows)
elseif(CMAKE_SYSTEM_NAME STREQUAL "WASI")
  set(_tf_platform wasi)
else()
  set(_tf_platform posix)
endif()
list(APPEND TF_SOURCES
  platform/${_tf_platform}/read_files_${_tf_platform}.cpp
  platform/${_tf_platform}/large_pages_${_tf_platform}.cpp
  platform/${_tf_platform}/write_files_${_tf_platform}.cpp
  platform/${_tf_platform}/target_identity_${_tf_platform}.cpp
  platform/${_tf_platform}/fork_guard_${_tf_platform}.cpp
  platform/${_tf_platform}/cancel_guard_${_tf_platform}.cpp
)
if(WIN32)
  list(APPEND TF_SOURCES platform/windows/mutex_windows.cpp)
elseif(_tf_platform STREQUAL "wasi")
  # One thread, no signals: the lock and the size-signal guard are empty
  # inline code (mutex.hpp, size_signal_guard.hpp).
else()
  list(APPEND TF_SOURCES platform/posix/size_signal_guard_posix.cpp)
endif()
