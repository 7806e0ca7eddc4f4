#!/usr/bin/env bash
# Installs the dependencies, builds every preset the suite runs in and runs
# the whole test suite, then runs each fuzz target for a minute. Exits
# non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
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
run_preset asan
run_preset tsan -L threads
# Each fuzz target for a bounded time (FUZZ_SECONDS, default 60), built with
# clang, libFuzzer and the sanitizers.
bash scripts/fuzz.sh
