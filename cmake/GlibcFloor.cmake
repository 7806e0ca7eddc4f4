# The glibc floor of the self-contained Linux binaries (x86-64 and aarch64
# with glibc): src/platform/glibc/glibc_floor.c binds every import to its
# oldest version, glibc_floor_start.c does the same for a program's start,
# and a post-build check (scripts/glibc-floor.sh --max) fails the build when
# any import still needs a newer glibc than TF_GLIBC_FLOOR, or any version of
# the C++ runtime or libgcc. A new call to a newer function then stops the
# build at once, naming it.
include(CheckSymbolExists)
set(TF_GLIBC_FLOOR "2.17" CACHE STRING "Oldest glibc the self-contained Linux binaries run on")
set(_tf_glibc_floor_on OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|aarch64|arm64)$")
  check_symbol_exists(__GLIBC__ "stdio.h" TF_HAVE_GLIBC)
  if(TF_HAVE_GLIBC)
    set(_tf_glibc_floor_on ON)
  endif()
endif()

# tf_glibc_floor(target): for a self-contained shared library or program.
function(tf_glibc_floor target)
  if(NOT _tf_glibc_floor_on)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  set(dir ${PROJECT_SOURCE_DIR}/src/platform/glibc)
  target_sources(${target} PRIVATE ${dir}/glibc_floor.c)
  # One section per definition: the link drops the ones nothing calls.
  set_source_files_properties(${dir}/glibc_floor.c ${dir}/glibc_floor_start.c TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_OPTIONS "-ffunction-sections;-fdata-sections")
  if(type STREQUAL "EXECUTABLE")
    target_sources(${target} PRIVATE ${dir}/glibc_floor_start.c)
  else()
    # Before 2.34 the pthread functions lived in libpthread.so.0 (glibc keeps
    # an empty one since): a process that loads only this library and the C
    # library must load it too.
    target_link_options(${target} PRIVATE -Wl,--push-state,--no-as-needed,-l:libpthread.so.0,--pop-state)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/glibc-floor.sh --max ${TF_GLIBC_FLOOR} $<TARGET_FILE:${target}>
    COMMENT "Checking the glibc floor of ${target} (${TF_GLIBC_FLOOR})"
    VERBATIM)
endfunction()
