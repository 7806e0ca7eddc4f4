# Install rules: the header, the library (Linux: the versioned shared library
# with its SONAME links; Windows: the DLL, the mingw import library
# libquobrix-textfile.dll.a, the .def and the import library quobrix-textfile.lib
# for Microsoft's linkers), the command-line tool, a CMake package
# (find_package(quobrix-textfile CONFIG) gives quobrix::textfile), a
# pkg-config file, and the README and LICENSE.
#
# The CMake package and the .pc file are relocatable: both find the files
# relative to their own place, so an unpacked archive works wherever it lies.
include(CMakePackageConfigHelpers)

set(TF_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quobrix-textfile)

install(TARGETS quobrix-textfile
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/quobrix_textfile.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/quobrix-textfile.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  if(TARGET quobrix-textfile-msvc-implib)
    install(FILES ${PROJECT_BINARY_DIR}/quobrix-textfile.lib
      DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  endif()
endif()

if(TARGET quobrix-textfile-cli)
  install(TARGETS quobrix-textfile-cli
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
# yyjson compiled in: its license notice travels with the binaries.
if(NOT TF_YYJSON_SOURCE_DIR STREQUAL "" AND EXISTS "${TF_YYJSON_SOURCE_DIR}/LICENSE")
  install(FILES "${TF_YYJSON_SOURCE_DIR}/LICENSE" RENAME LICENSE.yyjson
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
endif()
# libeditorconfig and PCRE2 compiled into the tool: their notices too.
if(TARGET quobrix-textfile-cli AND TARGET tf_pcre2)
  install(FILES "${TF_EDITORCONFIG_SOURCE_DIR}/LICENSE" RENAME LICENSE.editorconfig
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
  install(FILES "${TF_PCRE2_SOURCE_DIR}/LICENCE.md" RENAME LICENSE.pcre2
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
endif()

# The CMake package: an imported target written here rather than exported,
# so that on Windows it names the DLL and the Microsoft-format import
# library, and everywhere the library's directory may be lib/ or a multiarch
# lib/<triplet>/ (the Debian packages) without another build.
if(WIN32)
  set(TF_CFG_LOCATION "\${_tf_prefix}/${CMAKE_INSTALL_BINDIR}/quobrix-textfile.dll")
  if(TARGET quobrix-textfile-msvc-implib)
    set(TF_CFG_IMPLIB "\${_tf_libdir}/quobrix-textfile.lib")
  else()
    set(TF_CFG_IMPLIB "\${_tf_libdir}/libquobrix-textfile.dll.a")
  endif()
  set(TF_CFG_SONAME "")
else()
  set(TF_CFG_LOCATION "\${_tf_libdir}/libquobrix-textfile.so.${PROJECT_VERSION}")
  set(TF_CFG_IMPLIB "")
  set(TF_CFG_SONAME "libquobrix-textfile.so.${PROJECT_VERSION_MAJOR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/quobrix-textfile-targets.cmake.in
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-targets.cmake @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quobrix-textfile-config.cmake.in
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config.cmake @ONLY)
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config.cmake
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config-version.cmake
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-targets.cmake
  DESTINATION ${TF_CMAKE_INSTALL_DIR} COMPONENT development)

# The .pc file: the prefix relative to the file's own directory.
file(RELATIVE_PATH TF_PC_UP /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
set(TF_PC_PREFIX "\${pcfiledir}/${TF_PC_UP}")
set(TF_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
set(TF_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
set(TF_PC_VERSION "${PROJECT_VERSION}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quobrix-textfile.pc.in
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/quobrix-textfile.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
