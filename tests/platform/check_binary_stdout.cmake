# The tool's cat writes the decoded bytes to stdout unchanged on Windows: LF
# and CR LF stay as they are instead of becoming CR LF and CR CR LF.
# EMULATOR (a ;-list, may be empty), TOOL, WORK.
file(MAKE_DIRECTORY ${WORK})
set(input ${WORK}/mixed-endings.txt)
file(WRITE ${input} "one\ntwo\r\nthree\n")
execute_process(COMMAND ${EMULATOR} ${TOOL} cat ${input}
  OUTPUT_FILE ${WORK}/cat.out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cat failed with ${rc}")
endif()
file(READ ${input} want HEX)
file(READ ${WORK}/cat.out got HEX)
if(NOT got STREQUAL want)
  message(FATAL_ERROR "stdout is not the file's bytes:\n  want ${want}\n  got  ${got}")
endif()
message(STATUS "cat wrote the bytes unchanged")
