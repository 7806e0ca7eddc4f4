#!/usr/bin/env bash
# WebAssembly against native on this machine, in one run: the kernel rows
# (bench/kernel_speed.cpp, compiled natively against the release tree and for
# wasm32-wasi against build/wasm-release, the second run by Node) and the npm
# package on a 64 MB file with either backend (bench/wasm_api.js). Builds
# what it needs: the release preset's library and scripts/build-wasm.sh.
#   bash bench/wasm-vs-native.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target quobrix-textfile tf_internal >/dev/null
module=$(bash scripts/build-wasm.sh 2>/dev/null | tail -n 1)
work=build/wasm-bench
mkdir -p "$work"
g++ -O2 -std=c++20 -Isrc -Iinclude bench/kernel_speed.cpp build/release/src/libtf_internal.a -o "$work/kernel_speed"
clang++-14 --target=wasm32-wasi --sysroot=/usr -O2 -std=c++20 -msimd128 -fno-exceptions -Isrc -Iinclude \
  bench/kernel_speed.cpp build/wasm-release/src/libtf_internal.a -o "$work/kernel_speed.wasm" \
  -Wl,--max-memory=4294967296
echo "== kernels, native"
"$work/kernel_speed"
echo "== kernels, WebAssembly (Node $(node --version))"
node scripts/wasi-run.js "$work/kernel_speed.wasm"
echo "== the npm package on 64 MB"
(cd bindings/node && { [ -d node_modules/koffi ] || npm ci --no-audit --no-fund --loglevel=error; })
QUOBRIX_TEXTFILE_LIBRARY=$PWD/build/release/src/libquobrix-textfile.so.1 node bench/wasm_api.js "$work/files" "$module"
rm -rf "$work/files"
ls -l "$module" | awk '{print "module: " $5 " bytes"}'
