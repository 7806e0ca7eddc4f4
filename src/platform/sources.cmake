# The platform layer: every operating-system call of the library, one
# implementation per system, chosen here.
if(WIN32)
  set(_tf_platform windows)
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
else()
  list(APPEND TF_SOURCES platform/posix/size_signal_guard_posix.cpp)
endif()
