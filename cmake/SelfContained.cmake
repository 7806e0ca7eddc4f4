# Self-contained binaries (TF_SELF_CONTAINED, the release, windows and
# aarch64 builds): yyjson compiled in statically (cmake/CrossDeps.cmake), the
# C++ runtime and libgcc linked in statically and kept out of the dynamic
# symbol table, so the library needs nothing on the target machine but the C
# library. The binaries are compiled with debug information, which a
# post-build step moves into <file>.debug beside each one; the binary itself
# is stripped and points to that file through .gnu_debuglink. The build tree
# then holds exactly the bytes a release ships, and the tests run on them.
option(TF_SELF_CONTAINED
       "Link yyjson and the C++ runtime statically; split and strip the debug information" OFF)

if(TF_SELF_CONTAINED)
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "TF_SELF_CONTAINED needs objcopy (CMAKE_OBJCOPY) to split the debug information")
  endif()
  include(${CMAKE_CURRENT_LIST_DIR}/GlibcFloor.cmake)
endif()

# tf_self_contained(target): debug information, and for shared libraries and
# programs the static runtime and the debug split, for one of our targets.
# --gc-sections drops the parts of the static C++ runtime nothing calls (and
# with them their imports of newer glibc symbols, such as arc4random).
function(tf_self_contained target)
  if(NOT TF_SELF_CONTAINED)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  target_compile_options(${target} PRIVATE -g)
  if(NOT WIN32 AND NOT type STREQUAL "STATIC_LIBRARY")
    # Windows builds link everything statically already (the toolchain file).
    target_link_options(${target} PRIVATE -static-libgcc
                        $<$<LINK_LANGUAGE:CXX>:-static-libstdc++>
                        -Wl,--exclude-libs,ALL -Wl,--gc-sections)
  endif()
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "EXECUTABLE")
    set(file $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all ${file}
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      COMMENT "Splitting the debug information of ${target}"
      VERBATIM)
    tf_glibc_floor(${target})
  endif()
endfunction()

# tf_version_resource(target description file-name type): a Windows VERSIONINFO
# resource (type VFT_DLL or VFT_APP) compiled with windres.
function(tf_version_resource target description file_name type)
  if(NOT WIN32)
    return()
  endif()
  set(TF_RC_DESCRIPTION "${description}")
  set(TF_RC_FILE_NAME "${file_name}")
  set(TF_RC_FILE_TYPE "${type}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
