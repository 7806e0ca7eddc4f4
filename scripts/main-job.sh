#!/usr/bin/env bash
# Installs the dependencies, builds the library and shows what it detects in
# the sample files that ship in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)"
./build/release/examples/tf_detect_example examples/sample-*.txt
