# The command-line tool, driven as a user drives it (a Python unittest suite
# that runs the binary).
# Native builds only: the suite runs the tool as a host program (a cross-built
# tool is compared with the native one by scripts/compare-windows-tool.sh).
if(TF_BUILD_TOOLS AND NOT CMAKE_CROSSCOMPILING)
  find_package(Python3 3.9 COMPONENTS Interpreter REQUIRED)
  add_test(NAME tools_cli
    COMMAND ${Python3_EXECUTABLE} -m unittest discover
            -s ${CMAKE_CURRENT_SOURCE_DIR}/tools -p test_cli.py -v)
  set_tests_properties(tools_cli PROPERTIES
    LABELS tools
    ENVIRONMENT "QUOBRIX_TEXTFILE_CLI=$<TARGET_FILE:quobrix-textfile-cli>;TF_EXAMPLES=${PROJECT_SOURCE_DIR}/examples;PYTHONDONTWRITEBYTECODE=1")
  # check: rules, refusals, formats, git's file list, the pre-commit round trip.
  if(TARGET tf_editorconfig)
    add_test(NAME tools_check
      COMMAND ${Python3_EXECUTABLE} -m unittest discover
              -s ${CMAKE_CURRENT_SOURCE_DIR}/tools -p test_check.py -v)
    set_tests_properties(tools_check PROPERTIES
      LABELS tools
      ENVIRONMENT "QUOBRIX_TEXTFILE_CLI=$<TARGET_FILE:quobrix-textfile-cli>;TF_SOURCE_DIR=${PROJECT_SOURCE_DIR};PYTHONDONTWRITEBYTECODE=1")
  endif()
endif()

# The raw bytes scanned in pieces (as the tool streams files) against scanned
# whole, for every cut of a table of inputs.
if(TF_BUILD_TOOLS)
  add_executable(tools_verdict_pieces tools/verdict_pieces.c
    ${PROJECT_SOURCE_DIR}/tools/common/file_verdict.c
    ${PROJECT_SOURCE_DIR}/tools/common/ansi.c
    ${PROJECT_SOURCE_DIR}/tools/common/bytes.c
    ${PROJECT_SOURCE_DIR}/tools/common/encoding.c)
  target_include_directories(tools_verdict_pieces PRIVATE ${PROJECT_SOURCE_DIR}/tools)
  set_target_properties(tools_verdict_pieces PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON)
  add_test(NAME tools_verdict_pieces COMMAND tools_verdict_pieces)
  set_tests_properties(tools_verdict_pieces PROPERTIES LABELS tools)
endif()
