# Compares the symbols the library exports with the names listed as global in
# the version script, and with the names the header declares. For a Windows
# DLL (OBJDUMP given) the export table is read instead, and the DLL may import
# only from the system's own KERNEL32.dll and msvcrt.dll. For a WebAssembly
# module (NODE given) Node lists its exports; beside the tf_* functions it
# may export only its memory, the reactor's _initialize and the C library's
# malloc, free and chdir that the JavaScript host uses, and it may import
# only WASI's functions.
set(exported "")
if(DEFINED NODE)
  execute_process(COMMAND ${NODE} ${CMAKE_CURRENT_LIST_DIR}/wasm_exports.cjs ${LIB}
    OUTPUT_VARIABLE dump RESULT_VARIABLE dump_rc)
  if(NOT dump_rc EQUAL 0)
    message(FATAL_ERROR "node could not read the exports of ${LIB}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${dump}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^export (.+)$")
      set(name "${CMAKE_MATCH_1}")
      if(NOT name MATCHES "^(memory|_initialize|malloc|free|chdir)$")
        list(APPEND exported "${name}")
      endif()
    elseif(NOT line STREQUAL "import wasi_snapshot_preview1")
      message(FATAL_ERROR "the module imports from more than WASI: ${line}")
    endif()
  endforeach()
elseif(DEFINED OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${LIB} OUTPUT_VARIABLE dump RESULT_VARIABLE dump_rc)
  if(NOT dump_rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIB}")
  endif()
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[ *[0-9]+\\] [^\n]+\n)*)"
         _ "${dump}")
  # Brackets would upset CMake's lists: strip them before splitting.
  string(REGEX REPLACE "[ \t]*\\[ *[0-9]+\\] " "" names "${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "[^\n]+" exported "${names}")
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(import IN LISTS imports)
    if(NOT import MATCHES "^DLL Name: (KERNEL32|msvcrt)\\.dll$")
      message(FATAL_ERROR "the DLL imports from more than the system: ${imports}")
    endif()
  endforeach()
  if(NOT imports)
    message(FATAL_ERROR "no import table found in ${LIB}")
  endif()
else()
  execute_process(COMMAND nm -D --defined-only ${LIB}
    OUTPUT_VARIABLE nm_out RESULT_VARIABLE nm_rc)
  if(NOT nm_rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIB}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${nm_out}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] +([^ @]+)")
      set(name "${CMAKE_MATCH_1}")
      if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
        list(APPEND exported "${name}")
      endif()
    endif()
  endforeach()
endif()
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
