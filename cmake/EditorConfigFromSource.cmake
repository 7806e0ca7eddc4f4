# libeditorconfig and PCRE2 (its glob engine, 8-bit, no JIT) compiled in
# statically from their source trees, as Debian ships them: the tool of a
# release archive or of a cross build then needs neither installed. Only the
# library sources are compiled (no pcre2grep, no editorconfig program), with
# configuration headers written here instead of their own configure steps.
set(_tf_pcre2 "${TF_PCRE2_SOURCE_DIR}/src")
set(_tf_ec "${TF_EDITORCONFIG_SOURCE_DIR}/src/lib")
set(_tf_gen "${PROJECT_BINARY_DIR}/editorconfig-generated")

configure_file("${_tf_pcre2}/pcre2.h.generic" "${_tf_gen}/pcre2.h" COPYONLY)
configure_file("${_tf_pcre2}/config.h.generic" "${_tf_gen}/pcre2/config.h" COPYONLY)
configure_file("${_tf_pcre2}/pcre2_chartables.c.dist" "${_tf_gen}/pcre2_chartables.c" COPYONLY)
set(_tf_pcre2_sources "${_tf_gen}/pcre2_chartables.c")
foreach(_name auto_possess chkdint compile compile_class config context convert dfa_match error
              extuni find_bracket jit_compile maketables match match_data newline ord2utf
              pattern_info script_run serialize string_utils study substitute substring tables
              ucd valid_utf xclass)
  if(EXISTS "${_tf_pcre2}/pcre2_${_name}.c")
    list(APPEND _tf_pcre2_sources "${_tf_pcre2}/pcre2_${_name}.c")
  endif()
endforeach()
add_library(tf_pcre2 STATIC ${_tf_pcre2_sources})
target_include_directories(tf_pcre2 PRIVATE "${_tf_gen}/pcre2" "${_tf_pcre2}"
                           SYSTEM PUBLIC "${_tf_gen}")
target_compile_definitions(tf_pcre2
  PUBLIC PCRE2_STATIC PCRE2_CODE_UNIT_WIDTH=8
  PRIVATE HAVE_CONFIG_H SUPPORT_PCRE2_8 SUPPORT_UNICODE HAVE_STDLIB_H HAVE_STRING_H
          HAVE_MEMMOVE HAVE_LIMITS_H HAVE_INTTYPES_H HAVE_STDINT_H)
target_compile_options(tf_pcre2 PRIVATE -w)
set_target_properties(tf_pcre2 PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)

# editorconfig's config.h, as its CMake would write it.
file(STRINGS "${TF_EDITORCONFIG_SOURCE_DIR}/CMakeLists.txt" _tf_ec_project
     REGEX "project\\(editorconfig VERSION")
string(REGEX MATCH "([0-9]+)\\.([0-9]+)\\.([0-9]+)" _tf_ec_version "${_tf_ec_project}")
set(_tf_ec_major ${CMAKE_MATCH_1})
set(_tf_ec_minor ${CMAKE_MATCH_2})
set(_tf_ec_patch ${CMAKE_MATCH_3})
if(WIN32)
  set(_tf_ec_platform "#define WIN32\n#define HAVE_STRICMP\n#define HAVE_STRLWR")
else()
  set(_tf_ec_platform "#define UNIX\n#define HAVE_STRCASECMP\n#define HAVE_STRNDUP")
endif()
file(WRITE "${_tf_gen}/editorconfig/config.h"
"#ifndef CONFIG_H__
#define CONFIG_H__
${_tf_ec_platform}
#define HAVE_STRDUP
#define HAVE__BOOL
#define HAVE_CONST
#define PCRE2_STATIC
#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 8
#endif
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#define EC_VERSION_MAJOR ${_tf_ec_major}
#define EC_VERSION_MINOR ${_tf_ec_minor}
#define EC_VERSION_PATCH ${_tf_ec_patch}
#define EC_VERSION_SUFFIX \"\"
#endif
")
add_library(tf_editorconfig STATIC
  "${_tf_ec}/ec_glob.c" "${_tf_ec}/editorconfig.c" "${_tf_ec}/editorconfig_handle.c"
  "${_tf_ec}/ini.c" "${_tf_ec}/misc.c")
target_include_directories(tf_editorconfig
  PRIVATE "${_tf_gen}/editorconfig" "${_tf_ec}"
  SYSTEM PUBLIC "${TF_EDITORCONFIG_SOURCE_DIR}/include")
target_link_libraries(tf_editorconfig PUBLIC tf_pcre2)
if(WIN32)
  target_link_libraries(tf_editorconfig PUBLIC shlwapi) # PathIsRelative
endif()
target_compile_options(tf_editorconfig PRIVATE -w)
set_target_properties(tf_editorconfig PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
