#!/usr/bin/env bash
# The Windows stage: cross-builds the library, the tool and the test programs
# for 64-bit Windows with mingw-w64 into build/windows/ and runs the portable
# suite under wine (tests labelled posix need facilities Windows lacks and
# are left out). Installs what it needs first (as root, no prompts,
# idempotent): mingw-w64, wine, and yyjson's source for the cross build.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows
jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)

# The native toolchain and the host's libraries first (the comparison needs
# the Linux tool, the cross build GoogleTest's sources and Python).
bash scripts/install-deps.sh >/dev/null

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
missing=()
for p in g++-mingw-w64-x86-64-posix wine64 wine; do
  installed "$p" || missing+=("$p")
done
# llvm-dlltool makes the import library for Microsoft's linkers.
command -v llvm-dlltool >/dev/null || command -v llvm-dlltool-14 >/dev/null || missing+=(llvm-14)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "test-windows: must run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  echo "test-windows: installing ${missing[*]}"
  apt-get -y -q update </dev/null >/dev/null
  apt-get -y -q -o Dpkg::Options::=--force-confold install --no-install-recommends \
    "${missing[@]}" </dev/null >/dev/null
fi
bash scripts/cross-deps.sh >/dev/null

echo "== windows: configure and build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

# wine: one persistent server for the whole run (each program then starts in
# a tenth of a second), with its output away from ctest's pipes, and stopped
# on every way out.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
unset DISPLAY
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
stop_wine() { "$wineserver" -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true

echo "== windows: test under wine"
# wine now and then fails to start a program at all (no output, no test run);
# such a test gets one more try, and a real failure fails both.
ctest --preset windows -j "$jobs" --repeat until-pass:2

# The Windows tool against the Linux one on a few hundred generated files.
echo "== windows: the tool against the Linux build's"
native_tool=$root/build/release/tools/quobrix-textfile
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target quobrix-textfile-cli >/dev/null
python3 scripts/compare-windows-tool.py "$native_tool" "$build/bin/quobrix-textfile.exe" \
  "$build/compare" 300
echo "== windows: stage took $(($(date +%s) - start)) s; build/windows holds $(du -sh "$build" | cut -f1)"
