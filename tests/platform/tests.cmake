# Where Windows behaves differently from POSIX systems: only Windows builds
# have these tests (the rest of the suite runs there as it is).
if(WIN32)
  tf_add_test(test_windows_files PUBLIC SOURCES platform/test_windows_files.cpp LABELS windows)
  if(TF_BUILD_TOOLS)
    add_test(NAME tools_binary_stdout
      COMMAND ${CMAKE_COMMAND} "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
              -DTOOL=$<TARGET_FILE:quobrix-textfile-cli>
              -DWORK=${CMAKE_CURRENT_BINARY_DIR}/binary-stdout
              -P ${CMAKE_CURRENT_SOURCE_DIR}/platform/check_binary_stdout.cmake)
    set_tests_properties(tools_binary_stdout PROPERTIES LABELS windows)
  endif()
endif()
