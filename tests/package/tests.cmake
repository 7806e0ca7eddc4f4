# The installed package: cmake --install into a prefix inside the build tree,
# then a consumer program built against it with find_package and pkg-config.
# Windows installs are checked by scripts/test-release.sh (the release zip).
if(TF_INSTALL AND TF_BUILD_TOOLS AND NOT WIN32)
  find_program(TF_PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
  find_program(TF_READELF NAMES readelf REQUIRED)
  set(_tf_san_flags "")
  if(TF_SANITIZE)
    string(REPLACE ";" "," _tf_san "${TF_SANITIZE}")
    set(_tf_san_flags "-fsanitize=${_tf_san}")
  endif()
  add_test(NAME package_consumer
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${PROJECT_BINARY_DIR}
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/package-consumer
      -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
      -DBINDIR=${CMAKE_INSTALL_BINDIR}
      -DINCLUDEDIR=${CMAKE_INSTALL_INCLUDEDIR}
      -DCONSUMER_DIR=${CMAKE_CURRENT_SOURCE_DIR}/package/consumer
      -DSAMPLE=${PROJECT_SOURCE_DIR}/examples/sample-utf8.txt
      -DC_COMPILER=${CMAKE_C_COMPILER}
      -DGENERATOR=${CMAKE_GENERATOR}
      -DVERSION=${PROJECT_VERSION}
      -DSOVERSION=${PROJECT_VERSION_MAJOR}
      -DPKG_CONFIG=${TF_PKG_CONFIG}
      -DREADELF=${TF_READELF}
      -DSAN_FLAGS=${_tf_san_flags}
      -P ${CMAKE_CURRENT_SOURCE_DIR}/package/check_install.cmake)
  set_tests_properties(package_consumer PROPERTIES LABELS package)
endif()
