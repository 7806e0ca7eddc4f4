#!/usr/bin/env bash
# Builds the library for WebAssembly (wasm32-wasi): the reactor module
# quobrix-textfile.wasm that the npm package falls back to where no native
# library loads. Debian's clang-14, lld-14, wasi-libc and the wasm32 libc++,
# libc++abi and compiler-rt are installed when missing (as root, no prompts);
# yyjson is compiled in from Debian's source (scripts/cross-deps.sh), as for
# the release builds. Release build in build/wasm-release/; prints the
# module's path on its last line.
#   bash scripts/build-wasm.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
jobs=$(nproc 2>/dev/null || echo 2)

# The toolchain: the packages Debian 12 has for wasm32-wasi.
wasm_packages=(clang-14 lld-14 llvm-14 wasi-libc libc++-14-dev-wasm32 libc++abi-14-dev-wasm32
  libclang-rt-14-dev-wasm32)
missing=()
for p in "${wasm_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "build-wasm: ${missing[*]} missing; run as root to install" >&2
    exit 1
  fi
  echo "build-wasm: installing ${missing[*]}" >&2
  apt-get -q update </dev/null >/dev/null
  apt-get -q install -y --no-install-recommends "${missing[@]}" </dev/null >/dev/null
fi
command -v cmake >/dev/null || bash scripts/install-deps.sh >/dev/null
yyjson_src=$(bash scripts/cross-deps.sh | tail -n 1)

tree=build/wasm-release
cmake -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/wasm32-wasi.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTF_WERROR=ON -DTF_DEPS_FROM_SOURCE=ON -DTF_YYJSON_SOURCE_DIR="$yyjson_src" \
  -DTF_BUILD_TESTS=OFF -DTF_BUILD_TOOLS=OFF -DTF_BUILD_EXAMPLES=OFF -DTF_INSTALL=OFF >&2
cmake --build "$tree" -j "$jobs" --target quobrix-textfile-wasm >&2
echo "$PWD/$tree/src/quobrix-textfile.wasm"
