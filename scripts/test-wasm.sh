#!/usr/bin/env bash
# The WebAssembly build (wasm32-wasi) of the library and its test suite, run
# by Node: builds build/wasm/ with the tests (GoogleTest from
# /usr/src/googletest without exceptions or threads) and runs them through
# scripts/wasi-run.js, over the npm package's own WASI functions, at the
# portable and simd128 kernel levels; then the npm package's own checks
# against the module (QUOBRIX_TEXTFILE_WASM; all but the loading tests, which
# are about native libraries, and the asynchronous and gate tests, which
# expect calls on worker threads: here they run on the main thread). Left out,
# because one WebAssembly instance has none of it: the tests of threads,
# fork, signals, libc interposition (the allocation and I/O fault injectors),
# permission bits and owners, std::filesystem (not in WASI's libc++) and the
# process's CPU time, and the fuzz corpus replays (std::filesystem).
#   bash scripts/test-wasm.sh [CTEST_ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)

# The toolchain and yyjson's source, as for the package's module.
bash scripts/build-wasm.sh >/dev/null
yyjson_src=$(bash scripts/cross-deps.sh | tail -n 1)

echo "== wasm: configure and build the suite"
cmake --preset wasm -DTF_YYJSON_SOURCE_DIR="$yyjson_src" >/dev/null
cmake --build --preset wasm -j "$jobs"

echo "== wasm: the suite under Node"
node scripts/wasi-run.js build/wasm/tests/tf_dispatch_level.wasm
ctest --preset wasm -j "$jobs" "$@"

echo "== wasm: the npm package's calls against the module"
(cd bindings/node && { [ -d node_modules/koffi ] || npm ci --no-audit --no-fund --loglevel=error; } &&
  QUOBRIX_TEXTFILE_WASM="$PWD/../../build/wasm/src/quobrix-textfile.wasm" \
    node --test test/sync.test.js test/memory.test.js test/units.test.js test/copies.test.js \
      test/concurrency.test.js test/paths.test.js test/readme.test.js)
echo "== wasm: took $(($(date +%s) - start)) s"
