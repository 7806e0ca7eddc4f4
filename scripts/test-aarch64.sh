#!/usr/bin/env bash
# Cross-builds the library, the tool and the tests for aarch64 Linux into
# build/aarch64/ and runs the suite under qemu-user, so that the NEON level
# and the portable code are proven on an ARM target from this machine.
# Installs g++-aarch64-linux-gnu and qemu-user when they are missing (as
# root, no prompts) and fetches yyjson's source through
# scripts/cross-deps.sh; GoogleTest is built from /usr/src/googletest.
#
# Emulation is 10-50 times slower than the machine, so the exhaustive sweeps
# run over a reduced range here (TF_TEST_REDUCED_SWEEPS); the native runs
# always take the full range. Tests that need the host itself (the Python
# package, the command-line tests in Python, the installed package, the
# allocation and I/O interposers' sanitizer probes) are left to the native
# runs; the tool is compared with the native one by
# scripts/compare-aarch64-tool.py instead.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
jobs=$(nproc 2>/dev/null || echo 2)

# The host's toolchain, CMake, Python and GoogleTest's sources first, so that
# the stage stands alone on a fresh machine.
bash scripts/install-deps.sh >/dev/null

missing=()
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || missing+=(qemu-user)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "test-aarch64: ${missing[*]} missing; run as root to install" >&2
    exit 1
  fi
  echo "== aarch64: installing ${missing[*]}"
  apt-get -q update </dev/null
  apt-get -q install -y --no-install-recommends "${missing[@]}" </dev/null
fi
yyjson_src=$(bash scripts/cross-deps.sh | tail -n 1)

echo "== aarch64: configure and build"
toolchain=$PWD/cmake/aarch64-linux-gnu.cmake
# A build tree configured with another toolchain file starts afresh.
system=$(ls build/aarch64/CMakeFiles/*/CMakeSystem.cmake 2>/dev/null | head -n 1 || true)
if [ -n "$system" ] && ! grep -qF "include(\"$toolchain\")" "$system"; then
  rm -rf build/aarch64/CMakeCache.txt build/aarch64/CMakeFiles
fi
cmake -S . -B build/aarch64 \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DTF_WERROR=ON -DTF_DEPS_FROM_SOURCE=ON -DTF_SELF_CONTAINED=ON \
  -DTF_YYJSON_SOURCE_DIR="$yyjson_src" -DTF_TEST_REDUCED_SWEEPS=ON >/dev/null
cmake --build build/aarch64 -j "$jobs"

echo "== aarch64: test under qemu"
qemu-aarch64 -L /usr/aarch64-linux-gnu build/aarch64/tests/tf_dispatch_level
ctest --test-dir build/aarch64 -j "$jobs" --output-on-failure \
  -LE 'python|tools|package' "$@"

# The tool's answers on a few hundred generated files, byte for byte against
# the native tool (when the native release build is there, as in test.sh).
if [ -x build/release/tools/quobrix-textfile ]; then
  echo "== aarch64: the tool against the native one"
  python3 scripts/compare-aarch64-tool.py build/release/tools/quobrix-textfile \
    build/aarch64/tools/quobrix-textfile 300
fi
