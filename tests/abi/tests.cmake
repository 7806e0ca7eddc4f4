# The library exports exactly the tf_* functions listed in the version script.
if(WIN32)
  find_program(TF_OBJDUMP NAMES ${CMAKE_OBJDUMP} x86_64-w64-mingw32-objdump REQUIRED)
  set(_tf_objdump -DOBJDUMP=${TF_OBJDUMP})
endif()
# The WebAssembly module's exports are read by Node.
set(_tf_exporter quobrix-textfile)
if(CMAKE_SYSTEM_NAME STREQUAL "WASI")
  find_program(TF_NODE NAMES node nodejs REQUIRED)
  set(_tf_exporter quobrix-textfile-wasm)
  set(_tf_objdump -DNODE=${TF_NODE})
endif()
add_test(NAME abi_exports
  COMMAND ${CMAKE_COMMAND} -DLIB=$<TARGET_FILE:${_tf_exporter}> ${_tf_objdump}
          -DMAP=${PROJECT_SOURCE_DIR}/src/exports.map
          -DHEADER=${PROJECT_SOURCE_DIR}/include/quobrix_textfile.h
          -P ${CMAKE_CURRENT_SOURCE_DIR}/abi/check_exports.cmake)
set_tests_properties(abi_exports PROPERTIES LABELS abi)

# The public header compiles as strict C99 and drives the real library.
add_executable(c_api_test abi/c_api_test.c)
target_link_libraries(c_api_test PRIVATE quobrix-textfile)
set_target_properties(c_api_test PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(c_api_test PRIVATE -pedantic-errors -Wall -Wextra)
add_test(NAME abi_c_api COMMAND c_api_test ${PROJECT_SOURCE_DIR}/examples)
set_tests_properties(abi_c_api PROPERTIES LABELS abi)
