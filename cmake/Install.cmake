# Install rules: the header, the versioned shared library with its SONAME
# links, the command-line tool, a CMake package (find_package(quobrix-textfile
# CONFIG) gives quobrix::textfile) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(TF_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quobrix-textfile)
# Inside the build the same target is reachable as the alias quobrix::textfile.
set_target_properties(quobrix-textfile PROPERTIES EXPORT_NAME textfile)

install(TARGETS quobrix-textfile EXPORT quobrix-textfile-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/quobrix_textfile.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

if(TARGET quobrix-textfile-cli)
  install(TARGETS quobrix-textfile-cli
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

install(EXPORT quobrix-textfile-targets
  NAMESPACE quobrix::
  FILE quobrix-textfile-targets.cmake
  DESTINATION ${TF_CMAKE_INSTALL_DIR} COMPONENT development)
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/quobrix-textfile-config.cmake.in
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config.cmake
  INSTALL_DESTINATION ${TF_CMAKE_INSTALL_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config.cmake
  ${PROJECT_BINARY_DIR}/package/quobrix-textfile-config-version.cmake
  DESTINATION ${TF_CMAKE_INSTALL_DIR} COMPONENT development)

# The .pc file names the prefix the files actually go to, which is only known
# at install time (cmake --install --prefix may differ from the configured one).
install(CODE "
  set(TF_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(TF_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(TF_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  foreach(dir TF_PC_LIBDIR TF_PC_INCLUDEDIR)
    if(NOT IS_ABSOLUTE \"\${\${dir}}\")
      set(\${dir} \"\\\${prefix}/\${\${dir}}\")
    endif()
  endforeach()
  set(TF_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/quobrix-textfile.pc.in\"
                 \"${PROJECT_BINARY_DIR}/package/quobrix-textfile.pc\" @ONLY)
" COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/package/quobrix-textfile.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# A .deb of everything: cpack -G DEB in the build directory.
set(CPACK_PACKAGE_NAME quobrix-textfile)
set(CPACK_PACKAGE_VENDOR "quobrix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Uniform access to plain-text files whatever their encoding")
set(CPACK_PACKAGE_CONTACT "quobrix-textfile maintainers")
set(CPACK_PACKAGE_INSTALL_DIRECTORY quobrix-textfile)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libyyjson0 (>= 0.10.0)")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
