# libeditorconfig, the EditorConfig project's own C core, for the tool's
# check command: its sections, globs, root = true and nearest-file
# precedence are what every EditorConfig editor does, so the tool writes no
# glob matcher of its own.
#
# Self-contained and cross builds compile it in statically, with PCRE2 (its
# glob engine), from Debian's own source packages, which
# scripts/cross-deps.sh unpacks into build/cross-deps/ (TF_EDITORCONFIG_SOURCE_DIR,
# TF_PCRE2_SOURCE_DIR); the archives' tool then needs nothing installed.
# Other builds link the system's library (Debian's libeditorconfig-dev).
# Without either the tool is built without check, and says so when asked.
#
# The result: the target tf_editorconfig and TF_HAVE_EDITORCONFIG.
set(TF_EDITORCONFIG_SOURCE_DIR "" CACHE PATH "editorconfig-core-c source tree to compile in")
set(TF_PCRE2_SOURCE_DIR "" CACHE PATH "PCRE2 source tree to compile in")

if(TF_EDITORCONFIG_SOURCE_DIR STREQUAL "" AND (TF_DEPS_FROM_SOURCE OR TF_SELF_CONTAINED))
  if(DEFINED ENV{TF_CROSS_DEPS_DIR} AND NOT "$ENV{TF_CROSS_DEPS_DIR}" STREQUAL "")
    set(_tf_deps "$ENV{TF_CROSS_DEPS_DIR}")
  else()
    set(_tf_deps "${PROJECT_SOURCE_DIR}/build/cross-deps")
  endif()
  set(TF_EDITORCONFIG_SOURCE_DIR "${_tf_deps}/editorconfig" CACHE PATH "" FORCE)
  set(TF_PCRE2_SOURCE_DIR "${_tf_deps}/pcre2" CACHE PATH "" FORCE)
endif()

set(TF_HAVE_EDITORCONFIG OFF)
if(NOT TF_EDITORCONFIG_SOURCE_DIR STREQUAL "")
  if(EXISTS "${TF_EDITORCONFIG_SOURCE_DIR}/src/lib/editorconfig.c"
     AND EXISTS "${TF_PCRE2_SOURCE_DIR}/src/pcre2_compile.c")
    include(${CMAKE_CURRENT_LIST_DIR}/EditorConfigFromSource.cmake)
    set(TF_HAVE_EDITORCONFIG ON)
  else()
    message(WARNING
      "No libeditorconfig or PCRE2 source in ${TF_EDITORCONFIG_SOURCE_DIR} and "
      "${TF_PCRE2_SOURCE_DIR}: the tool is built without its check command. "
      "Run scripts/cross-deps.sh as root to fetch Debian's.")
  endif()
else()
  find_path(TF_EDITORCONFIG_INCLUDE_DIR editorconfig/editorconfig.h)
  find_library(TF_EDITORCONFIG_LIBRARY NAMES editorconfig)
  if(TF_EDITORCONFIG_INCLUDE_DIR AND TF_EDITORCONFIG_LIBRARY)
    add_library(tf_editorconfig INTERFACE)
    target_include_directories(tf_editorconfig SYSTEM INTERFACE "${TF_EDITORCONFIG_INCLUDE_DIR}")
    target_link_libraries(tf_editorconfig INTERFACE "${TF_EDITORCONFIG_LIBRARY}")
    set(TF_HAVE_EDITORCONFIG ON)
  else()
    message(WARNING
      "libeditorconfig was not found (Debian: libeditorconfig-dev): the tool is built "
      "without its check command.")
  endif()
endif()
