# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model);
# test programs run under wine. Used by the "windows" preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TF_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TF_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TF_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TF_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TF_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes of GCC and winpthread go into each binary, so that
# the DLL and the programs need nothing beyond the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# GCC may spill AVX registers to a stack slot that Windows does not align to
# 32 bytes: unaligned moves are as fast on aligned data and never fault.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# wine with its prefix inside the build tree (a first run creates it), and
# quiet: without these, test discovery would create ~/.wine.
set(TF_WINE /usr/lib/wine/wine64 CACHE FILEPATH "wine64 binary")
set(CMAKE_CROSSCOMPILING_EMULATOR
    env;WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;DISPLAY=;${TF_WINE})

# The binutils of the target, for the debug split and the import library.
set(CMAKE_OBJCOPY ${TF_MINGW_PREFIX}-objcopy CACHE FILEPATH "objcopy of the target")
