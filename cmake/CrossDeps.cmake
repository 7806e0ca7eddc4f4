# The third-party libraries.
#
# yyjson: compiled here as a static library from its source tree when
# TF_YYJSON_SOURCE_DIR is set (self-contained builds, cross builds), else the
# yyjson CMake package found on CMAKE_PREFIX_PATH or in the system
# (distributions, Homebrew, vcpkg and conan all provide one). Self-contained
# and cross builds default the source tree to the one scripts/cross-deps.sh
# unpacks (Debian's own source package).
#
# GoogleTest: with TF_DEPS_FROM_SOURCE (cross builds, where Debian ships no
# build for the target), gtest, gtest_main and gmock are compiled from
# TF_GTEST_SOURCE_DIR (Debian's /usr/src/googletest), only when the tests are
# built; otherwise the host's package (tests/CMakeLists.txt).
#
# Either way the targets are yyjson::yyjson, GTest::gtest, GTest::gtest_main
# and GTest::gmock.
option(TF_DEPS_FROM_SOURCE "Build yyjson and GoogleTest from source (cross builds)" OFF)
set(TF_YYJSON_SOURCE_DIR "" CACHE PATH "yyjson source tree to compile in statically")
set(TF_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")

if(TF_YYJSON_SOURCE_DIR STREQUAL "" AND (TF_DEPS_FROM_SOURCE OR TF_SELF_CONTAINED))
  if(DEFINED ENV{TF_CROSS_DEPS_DIR} AND NOT "$ENV{TF_CROSS_DEPS_DIR}" STREQUAL "")
    set(TF_YYJSON_SOURCE_DIR "$ENV{TF_CROSS_DEPS_DIR}/yyjson" CACHE PATH "" FORCE)
  else()
    set(TF_YYJSON_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/cross-deps/yyjson" CACHE PATH "" FORCE)
  endif()
endif()

if(TF_YYJSON_SOURCE_DIR STREQUAL "")
  # No version asked: Debian's package ships no version file.
  find_package(yyjson CONFIG QUIET)
  if(NOT yyjson_FOUND)
    message(FATAL_ERROR
      "yyjson 0.10 or later was not found. Either put the prefix where its CMake "
      "package is installed on CMAKE_PREFIX_PATH (-DCMAKE_PREFIX_PATH=/path/to/prefix; "
      "Debian's libyyjson-dev, Homebrew, vcpkg and conan install one), or give its "
      "source tree: -DTF_YYJSON_SOURCE_DIR=/path/to/yyjson (the folder holding "
      "src/yyjson.c), which is compiled in statically.")
  endif()
else()
  if(NOT EXISTS "${TF_YYJSON_SOURCE_DIR}/src/yyjson.c")
    message(FATAL_ERROR
      "No yyjson source in TF_YYJSON_SOURCE_DIR=${TF_YYJSON_SOURCE_DIR} (no src/yyjson.c). "
      "Run scripts/cross-deps.sh as root to fetch Debian's, give another source tree with "
      "-DTF_YYJSON_SOURCE_DIR=, or leave it empty to use an installed yyjson package "
      "found on CMAKE_PREFIX_PATH.")
  endif()
  # Static everywhere: the library then needs no yyjson on the target machine.
  add_library(tf_yyjson STATIC "${TF_YYJSON_SOURCE_DIR}/src/yyjson.c")
  add_library(yyjson::yyjson ALIAS tf_yyjson)
  # Its own directory goes in as a system directory: its warnings are not ours.
  target_include_directories(tf_yyjson SYSTEM PUBLIC "${TF_YYJSON_SOURCE_DIR}/src")
  target_compile_options(tf_yyjson PRIVATE -w)
  set_target_properties(tf_yyjson PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
  if(TF_SELF_CONTAINED)
    target_compile_options(tf_yyjson PRIVATE -g)
  endif()
endif()

if(TF_DEPS_FROM_SOURCE AND TF_BUILD_TESTS)
  if(NOT EXISTS "${TF_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR
      "No GoogleTest source in ${TF_GTEST_SOURCE_DIR}. "
      "Run scripts/install-deps.sh as root (libgtest-dev ships it).")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory("${TF_GTEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/googletest"
                   EXCLUDE_FROM_ALL SYSTEM)
  # WASI has no dup/dup2/mkstemp for GoogleTest's capture of stdout/stderr,
  # and no exceptions (GoogleTest's own flags ask for them).
  if(CMAKE_SYSTEM_NAME STREQUAL "WASI")
    target_compile_definitions(gtest PUBLIC GTEST_HAS_STREAM_REDIRECTION=0)
    foreach(target gtest gtest_main gmock gmock_main)
      target_compile_options(${target} PRIVATE -fno-exceptions)
    endforeach()
  endif()
endif()
