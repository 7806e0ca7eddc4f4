#!/usr/bin/env bash
# Installs the dependencies, builds the library and its command-line tool and
# shows what the library detects in the sample files that ship in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The release preset compiles yyjson in from its source (Debian's).
bash scripts/cross-deps.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target quobrix-textfile-cli
./build/release/tools/quobrix-textfile detect examples/sample-*.txt
