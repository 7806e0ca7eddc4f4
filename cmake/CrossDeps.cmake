# The third-party libraries: the host's packages, or, with TF_DEPS_FROM_SOURCE
# (cross builds, where Debian ships no build for the target), compiled here
# with whatever toolchain is in use:
#   yyjson     as a library (static for Windows) from TF_YYJSON_SOURCE_DIR, Debian's own
#              source unpacked by scripts/cross-deps.sh;
#   GoogleTest gtest, gtest_main and gmock from TF_GTEST_SOURCE_DIR (Debian's
#              /usr/src/googletest), only when the tests are built.
# Either way the targets are yyjson::yyjson, GTest::gtest, GTest::gtest_main
# and GTest::gmock.
option(TF_DEPS_FROM_SOURCE "Build yyjson and GoogleTest from source (cross builds)" OFF)
set(TF_YYJSON_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/cross-deps/yyjson"
    CACHE PATH "yyjson source tree (scripts/cross-deps.sh unpacks it)")
set(TF_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")

if(NOT TF_DEPS_FROM_SOURCE)
  find_package(yyjson CONFIG QUIET)
  if(NOT yyjson_FOUND)
    message(FATAL_ERROR
      "yyjson (libyyjson-dev 0.10 or later) was not found. "
      "Run scripts/install-deps.sh as root to install it.")
  endif()
  return()
endif()

if(NOT EXISTS "${TF_YYJSON_SOURCE_DIR}/src/yyjson.c")
  message(FATAL_ERROR
    "No yyjson source in ${TF_YYJSON_SOURCE_DIR}. "
    "Run scripts/cross-deps.sh as root to fetch it.")
endif()
# Shared where the host's package is shared too (the allocation-failure
# tests tell yyjson's allocations by the object they come from); static for
# Windows, whose programs then need no DLL beside them.
if(WIN32)
  add_library(tf_yyjson STATIC "${TF_YYJSON_SOURCE_DIR}/src/yyjson.c")
else()
  add_library(tf_yyjson SHARED "${TF_YYJSON_SOURCE_DIR}/src/yyjson.c")
  set_target_properties(tf_yyjson PROPERTIES OUTPUT_NAME yyjson)
endif()
add_library(yyjson::yyjson ALIAS tf_yyjson)
# Its own directory goes in as a system directory: its warnings are not ours.
target_include_directories(tf_yyjson SYSTEM PUBLIC "${TF_YYJSON_SOURCE_DIR}/src")
target_compile_options(tf_yyjson PRIVATE -w)
set_target_properties(tf_yyjson PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)

if(TF_BUILD_TESTS)
  if(NOT EXISTS "${TF_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR
      "No GoogleTest source in ${TF_GTEST_SOURCE_DIR}. "
      "Run scripts/install-deps.sh as root (libgtest-dev ships it).")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory("${TF_GTEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
endif()
