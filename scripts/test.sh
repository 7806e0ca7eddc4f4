#!/usr/bin/env bash
# Installs the dependencies, builds every preset the suite runs in and runs
# the whole test suite, then runs each fuzz target for a minute. Exits
# non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# yyjson's source: the release, windows and aarch64 builds compile it in.
bash scripts/cross-deps.sh >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)

run_preset() {
  local preset=$1
  shift
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs" "$@"
}

run_preset release

# The Node package against the release build's library.
echo "== node: npm ci and npm test"
(cd bindings/node && npm ci --no-audit --no-fund &&
  QUOBRIX_TEXTFILE_LIBRARY="$PWD/../../build/release/src/libquobrix-textfile.so.1" npm test)

run_preset asan
run_preset tsan -L threads

# The library, the tool and the portable suite cross-built for Windows and
# run under wine.
bash scripts/test-windows.sh

# The aarch64 build under qemu: the portable and NEON kernel levels.
bash scripts/test-aarch64.sh

# The WebAssembly build (the npm package's fallback) and its suite under
# Node: the portable and simd128 kernel levels.
bash scripts/test-wasm.sh

# The release artifacts from the trees just tested, each installed as its
# user would (tarballs, zip, Debian packages).
echo "== release: scripts/release.sh and the install stage"
release_start=$(date +%s)
bash scripts/release.sh
bash scripts/test-release.sh
# The npm package and the Python wheels of dist/ (written by release.sh
# through scripts/package-node.sh and scripts/package-python.sh), each
# installed into an empty folder as its user would and run on linux-x64,
# win32-x64 (wine) and linux-arm64 (qemu).
bash scripts/test-packages.sh dist
echo "== release: artifacts, install and package stages took $(($(date +%s) - release_start)) s"

# The benchmark is only kept working here: built, and run once on a tiny
# corpus (the real measurement is bench/README.md's business).
echo "== bench: build and one run on 1 MB"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs" --target tf_bench quobrix-textfile-cli
build/bench/bench/tf_bench --size 1MB --reps 1 --warm-up 0 --no-small-files \
  --dir build/bench/bench-data-ci >/dev/null
# The whole-process rows (open, cat, convert against cat and iconv), once.
python3 bench/whole_process.py --build build/bench --open-size 1MB --convert-size 1MB \
  --rounds 1 --dir build/bench/bench-data-ci >/dev/null

# Each fuzz target for a bounded time (FUZZ_SECONDS, default 60), built with
# clang, libFuzzer and the sanitizers.
bash scripts/fuzz.sh
