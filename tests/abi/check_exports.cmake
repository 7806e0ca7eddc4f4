# Compares the dynamic symbols the library defines with the names listed as
# global in the version script, and with the names the header declares.
execute_process(COMMAND nm -D --defined-only ${LIB}
  OUTPUT_VARIABLE nm_out RESULT_VARIABLE nm_rc)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
set(exported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] +([^ @]+)")
    set(name "${CMAKE_MATCH_1}")
    if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
      list(APPEND exported "${name}")
    endif()
  endif()
endforeach()
list(SORT exported)

file(READ ${MAP} map_text)
string(REGEX MATCH "global:([^}]*)local:" _ "${map_text}")
string(REGEX MATCHALL "tf_[a-z_]+" listed "${CMAKE_MATCH_1}")
list(SORT listed)

file(READ ${HEADER} header_text)
string(REGEX MATCHALL "TF_API [^(]* \\**(tf_[a-z_]+)\\(" decls "${header_text}")
set(declared "")
foreach(d IN LISTS decls)
  string(REGEX MATCH "tf_[a-z_]+" n "${d}")
  list(APPEND declared "${n}")
endforeach()
list(SORT declared)

if(NOT exported STREQUAL listed)
  message(FATAL_ERROR "exported symbols differ from the version script:\n"
    "  exported: ${exported}\n  listed:   ${listed}")
endif()
if(NOT declared STREQUAL listed)
  message(FATAL_ERROR "header declarations differ from the version script:\n"
    "  declared: ${declared}\n  listed:   ${listed}")
endif()
list(LENGTH exported n)
message(STATUS "exports match: ${n} tf_* functions")
