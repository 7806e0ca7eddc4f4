# Cross build for WebAssembly (wasm32-wasi) with Debian's clang-14, lld-14,
# wasi-libc and the wasm32 libc++/libc++abi/compiler-rt packages. Programs the
# build or ctest runs (the tests) go through Node (scripts/wasi-run.js).
# No threads and no exceptions on this target: the library's lock does
# nothing here and allocation failures are returned, never thrown.
# Platform/WASI.cmake beside this file: CMake ships none.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_VERSION 1)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(triple wasm32-wasi)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "archiver")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "ranlib")
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_SYSROOT /usr)
# Debian keeps the target's headers and libraries in multiarch folders.
set(CMAKE_C_FLAGS_INIT "-msimd128")
set(CMAKE_CXX_FLAGS_INIT "-msimd128 -fno-exceptions")
# Linear memory may grow to the whole 4 GiB of wasm32; the stack is 1 MiB.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,--max-memory=4294967296 -Wl,-z,stack-size=1048576")
set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR node;${CMAKE_CURRENT_LIST_DIR}/../scripts/wasi-run.js)
