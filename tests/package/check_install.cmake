# Installs the build tree into a fresh prefix under WORK, checks what landed
# there, then builds the consumer program against that copy twice, through
# the CMake package and through pkg-config, and runs both builds.
#
# Variables: BUILD_DIR, WORK, LIBDIR, BINDIR, INCLUDEDIR, CONSUMER_DIR,
# SAMPLE, C_COMPILER, GENERATOR, VERSION, SOVERSION, PKG_CONFIG, READELF and
# SAN_FLAGS (the sanitizer flags of the build, possibly empty).
cmake_minimum_required(VERSION 3.25)

function(run_checked out_var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " cmd "${ARGN}")
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

function(expect_output what actual expected)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what}: expected\n${expected}\ngot\n${actual}")
  endif()
endfunction()

set(prefix ${WORK}/prefix)
set(libdir ${prefix}/${LIBDIR})
file(REMOVE_RECURSE ${WORK})

# 1. Install.
run_checked(_ ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# 2. The files and the SONAME links.
set(lib libquobrix-textfile.so)
foreach(f ${INCLUDEDIR}/quobrix_textfile.h ${LIBDIR}/${lib}.${VERSION}
          ${LIBDIR}/cmake/quobrix-textfile/quobrix-textfile-config.cmake
          ${LIBDIR}/cmake/quobrix-textfile/quobrix-textfile-config-version.cmake
          ${LIBDIR}/cmake/quobrix-textfile/quobrix-textfile-targets.cmake
          ${LIBDIR}/pkgconfig/quobrix-textfile.pc ${BINDIR}/quobrix-textfile)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
foreach(pair "${lib}.${SOVERSION}>${lib}.${VERSION}" "${lib}>${lib}.${SOVERSION}")
  string(REPLACE ">" ";" pair "${pair}")
  list(GET pair 0 link)
  list(GET pair 1 target)
  if(NOT IS_SYMLINK ${libdir}/${link})
    message(FATAL_ERROR "${link} is not a symbolic link")
  endif()
  file(READ_SYMLINK ${libdir}/${link} points_to)
  expect_output("${link} points to" "${points_to}" "${target}")
endforeach()
run_checked(dynamic ${READELF} -d ${libdir}/${lib}.${VERSION})
if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[${lib}\\.${SOVERSION}\\]")
  message(FATAL_ERROR "SONAME is not ${lib}.${SOVERSION}:\n${dynamic}")
endif()

# 3. The installed tool finds the installed library on its own.
run_checked(version ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
            ${prefix}/${BINDIR}/quobrix-textfile --version)
expect_output("installed tool" "${version}" "quobrix-textfile ${VERSION}\n")

file(READ ${SAMPLE} sample_bytes HEX)
string(LENGTH "${sample_bytes}" sample_hex_length)
math(EXPR sample_length "${sample_hex_length} / 2")
set(expected_run "version ${VERSION}\n{\"encoding\":\"utf8\",\"had_bom\":0,\"line_ending\":\"lf\",\
\"bytes\":${sample_length},\"raw_bytes\":${sample_length},\"lines\":3,\"sanitized\":0}\n")

# 4. Through the CMake package.
run_checked(_ ${CMAKE_COMMAND} -G ${GENERATOR} -S ${CONSUMER_DIR} -B ${WORK}/cmake-consumer
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=${C_COMPILER}
            -DCMAKE_PREFIX_PATH=${prefix} -DEXPECTED_PREFIX=${prefix}
            "-DCMAKE_C_FLAGS=${SAN_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SAN_FLAGS}")
run_checked(_ ${CMAKE_COMMAND} --build ${WORK}/cmake-consumer)
run_checked(out ${WORK}/cmake-consumer/consumer ${SAMPLE})
expect_output("consumer built with find_package" "${out}" "${expected_run}")

# 5. Through pkg-config.
set(pc_env ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig)
run_checked(pc_version ${pc_env} ${PKG_CONFIG} --modversion quobrix-textfile)
expect_output("pkg-config --modversion" "${pc_version}" "${VERSION}\n")
run_checked(pc_cflags ${pc_env} ${PKG_CONFIG} --cflags quobrix-textfile)
run_checked(pc_libs ${pc_env} ${PKG_CONFIG} --libs quobrix-textfile)
string(STRIP "${pc_cflags}" pc_cflags)
string(STRIP "${pc_libs}" pc_libs)
# The .pc file is relocatable (its prefix is ${pcfiledir}/../..): the
# directories it gives are the installed ones once resolved.
function(expect_dir what flag actual expected_dir)
  if(NOT actual MATCHES "^${flag}([^ ]+)(.*)$")
    message(FATAL_ERROR "${what}: expected ${flag}DIR, got ${actual}")
  endif()
  file(REAL_PATH "${CMAKE_MATCH_1}" dir)
  file(REAL_PATH "${expected_dir}" expected)
  expect_output("${what}" "${dir}${CMAKE_MATCH_2}" "${expected}${ARGN}")
endfunction()
expect_dir("pkg-config --cflags" "-I" "${pc_cflags}" "${prefix}/${INCLUDEDIR}")
expect_dir("pkg-config --libs" "-L" "${pc_libs}" "${libdir}" " -lquobrix-textfile")
separate_arguments(pc_cflags UNIX_COMMAND "${pc_cflags}")
separate_arguments(pc_libs UNIX_COMMAND "${pc_libs}")
separate_arguments(san UNIX_COMMAND "${SAN_FLAGS}")
run_checked(_ ${C_COMPILER} -std=c99 -Wall -Wextra -pedantic-errors ${san} ${pc_cflags}
            ${CONSUMER_DIR}/consumer.c -o ${WORK}/pc-consumer ${pc_libs} -Wl,-rpath,${libdir})
run_checked(out ${WORK}/pc-consumer ${SAMPLE})
expect_output("consumer built with pkg-config" "${out}" "${expected_run}")

message(STATUS "installed package works through CMake and pkg-config")
