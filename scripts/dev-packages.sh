#!/usr/bin/env bash
# For working on the packages without a release build: builds the library
# for linux-x64, linux-arm64 and win32-x64 with the existing build settings
# (the Linux ones linked again by hand with yyjson, libstdc++ and libgcc
# inside, so that they need only the C library, like the release binaries),
# then calls the packaging scripts with them and, with --test, the install
# stage. Writes build/dev-packages/ and DIST (default build/dev-packages/dist).
#   bash scripts/dev-packages.sh [--test] [DIST]
# scripts/release.sh is the real thing: it calls the same three scripts with
# the shipped binaries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
run_tests=0
if [ "${1:-}" = --test ]; then
  run_tests=1
  shift
fi
work=$root/build/dev-packages
dist=${1:-$work/dist}
jobs=$(nproc 2>/dev/null || echo 2)
yyjson_src=$(bash scripts/cross-deps.sh | tail -n 1)
mkdir -p "$work/lib"
echo 'file(RPATH_SET FILE "${FILE}" NEW_RPATH "$ORIGIN")' >"$work/rpath-origin.cmake"

# One Linux library: the build tree's objects, linked with yyjson and the
# C++ runtime inside and only the C API visible.
linux_library() { # ARCH CC CXX CMAKE_ARGS...
  local arch=$1 cc=$2 cxx=$3
  shift 3
  local tree=$work/build-$arch out=$work/lib/$arch
  cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_TESTS=OFF -DTF_DEPS_FROM_SOURCE=ON \
    -DTF_YYJSON_SOURCE_DIR="$yyjson_src" "$@" >/dev/null
  cmake --build "$tree" -j "$jobs" --target quobrix-textfile quobrix-textfile-cli >/dev/null
  mkdir -p "$out"
  # The packages' tool finds the library beside it.
  cp "$tree/tools/quobrix-textfile" "$out/quobrix-textfile"
  cmake -DFILE="$out/quobrix-textfile" -P "$work/rpath-origin.cmake"
  "$cc" -O2 -fPIC -w -c "$yyjson_src/src/yyjson.c" -o "$out/yyjson.o"
  "$cxx" -shared -o "$out/libquobrix-textfile.so.1" -Wl,-soname,libquobrix-textfile.so.1 \
    -Wl,--version-script=src/exports.map -Wl,--no-undefined -Wl,--exclude-libs,ALL \
    "$tree/src/CMakeFiles/quobrix-textfile.dir/c_api.cpp.o" "$tree/src/libtf_internal.a" "$out/yyjson.o" \
    -static-libstdc++ -static-libgcc -pthread -s
}

linux_library x86_64 gcc g++
linux_library aarch64 aarch64-linux-gnu-gcc aarch64-linux-gnu-g++ \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake"
cmake --preset windows -B "$work/build-windows" -DTF_BUILD_TESTS=OFF -DTF_YYJSON_SOURCE_DIR="$yyjson_src" >/dev/null
cmake --build "$work/build-windows" -j "$jobs" --target quobrix-textfile quobrix-textfile-cli >/dev/null

x64=$work/lib/x86_64/libquobrix-textfile.so.1
arm64=$work/lib/aarch64/libquobrix-textfile.so.1
dll=$work/build-windows/bin/quobrix-textfile.dll
floor=$(grep -haoE 'GLIBC_[0-9]+\.[0-9]+(\.[0-9]+)?' "$x64" "$arm64" | cut -d_ -f2 | sort -V | tail -n 1)
echo "dev-packages: glibc floor $floor"
tools=("$work/lib/x86_64/quobrix-textfile" "$work/lib/aarch64/quobrix-textfile"
  "$work/build-windows/bin/quobrix-textfile.exe")
bash scripts/package-node.sh "$dist/npm" "$x64" "$arm64" "$dll" "${tools[@]}"
bash scripts/package-python.sh "$dist/python" "$floor" "$x64" "$arm64" "$dll" "${tools[@]}"
if [ $run_tests = 1 ]; then
  bash scripts/test-packages.sh "$dist"
fi
