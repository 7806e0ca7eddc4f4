#!/usr/bin/env bash
# Writes every release artifact into dist/:
#   quobrix-textfile-V-linux-x86_64.tar.gz, -linux-aarch64.tar.gz   (bin, lib, include, CMake, pkg-config, doc)
#   quobrix-textfile-V-windows-x64.zip                              (DLL, exe, .lib, .dll.a, .def, include, CMake, doc)
#   quobrix-textfile-V-<platform>-debug.tar.gz / .zip               (the separate debug information)
#   Debian packages for amd64 and arm64                             (library, -dev, tool with its man page)
#   npm/quobrix-textfile-V.tgz                                      (the Node package)
#   python/quobrix_textfile-V-*.whl, python/quobrix_textfile-V.tar.gz (the Python wheels and sdist)
#   SHA256SUMS over all of them
# The language packages have folders of their own, so that each ecosystem's
# installer (npm install ./dist/npm/..., pip install --find-links dist/python)
# sees only its own files. Every Linux binary shipped must import nothing newer
# than the glibc floor of cmake/GlibcFloor.cmake, and nothing of the C++
# runtime: the release stops otherwise.
#
# From a clean checkout on a fresh Debian 12 machine it installs what it
# needs (as root, no prompts) and builds the release, windows and aarch64
# trees; where those trees exist already (after scripts/test.sh's stages) it
# builds on them, so the shipped library is the one the suite tested. It
# writes nothing outside the repository but the installed packages.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)
version=$(sed -n 's/^project(quobrix-textfile VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist=$root/dist
stage=$root/build/release-stage

# The tools: the host's toolchain, the cross compilers, yyjson's source.
bash scripts/install-deps.sh >/dev/null
missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || missing+=(qemu-user)
command -v llvm-dlltool >/dev/null || command -v llvm-dlltool-14 >/dev/null || missing+=(llvm-14)
command -v help2man >/dev/null || missing+=(help2man)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "release: must run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  echo "release: installing ${missing[*]}"
  apt-get -y -q update </dev/null >/dev/null
  apt-get -y -q -o Dpkg::Options::=--force-confold install --no-install-recommends \
    "${missing[@]}" </dev/null >/dev/null
fi
yyjson_src=$(bash scripts/cross-deps.sh | tail -n 1)
export TF_CROSS_DEPS_DIR=${yyjson_src%/yyjson}

# The three builds, configured every time (a tree configured before the
# release settings existed keeps its cached values otherwise) and brought up
# to date; a tree that is already current rebuilds nothing.
echo "== release: build linux-x86_64, windows-x64, linux-aarch64"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target quobrix-textfile quobrix-textfile-cli
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target quobrix-textfile quobrix-textfile-cli \
  quobrix-textfile-msvc-implib
# The same configuration as scripts/test-aarch64.sh, so either reuses the other's tree.
cmake -S . -B build/aarch64 \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTF_WERROR=ON -DTF_DEPS_FROM_SOURCE=ON -DTF_SELF_CONTAINED=ON \
  -DTF_YYJSON_SOURCE_DIR="$yyjson_src" -DTF_TEST_REDUCED_SWEEPS=ON >/dev/null
cmake --build build/aarch64 -j "$jobs" --target quobrix-textfile quobrix-textfile-cli

rm -rf "$dist" "$stage"
mkdir -p "$dist" "$stage"

# Deterministic archives: sorted names, no owners, the files' own times.
tarball() { # DIR NAME -> dist/NAME.tar.gz of DIR's contents under NAME/
  tar --sort=name --owner=0 --group=0 --numeric-owner --format=gnu \
    -C "$(dirname "$1")" -cf - "$(basename "$1")" | gzip -9n >"$dist/$2.tar.gz"
  echo "release: dist/$2.tar.gz"
}
zipball() { # DIR NAME -> dist/NAME.zip
  (cd "$(dirname "$1")" && python3 - "$(basename "$1")" "$dist/$2.zip" <<'PY'
import os, sys, zipfile
top, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for d, dirs, files in os.walk(top):
        dirs.sort()
        for f in sorted(files):
            z.write(os.path.join(d, f))
PY
  )
  echo "release: dist/$2.zip"
}
same_bytes() { # SHIPPED TESTED
  cmp -s "$1" "$2" || { echo "release: $1 differs from the tested $2" >&2; exit 1; }
}

# Linux: the install tree of each build, the debug files beside it.
lib=libquobrix-textfile.so.$version
linux() { # BUILD PLATFORM
  local build=$1 platform=$2 name=quobrix-textfile-$version-$2
  cmake --install "$build" --prefix "$stage/$name" >/dev/null
  same_bytes "$stage/$name/lib/$lib" "$build/src/$lib"
  tarball "$stage/$name" "$name"
  mkdir -p "$stage/$name-debug/lib" "$stage/$name-debug/bin"
  cp "$build/src/$lib.debug" "$stage/$name-debug/lib/"
  cp "$build/tools/quobrix-textfile.debug" "$stage/$name-debug/bin/"
  tarball "$stage/$name-debug" "$name-debug"
}
linux build/release linux-x86_64
linux build/aarch64 linux-aarch64
x64=$stage/quobrix-textfile-$version-linux-x86_64
arm64=$stage/quobrix-textfile-$version-linux-aarch64

# Windows.
win=$stage/quobrix-textfile-$version-windows-x64
cmake --install build/windows --prefix "$win" >/dev/null
same_bytes "$win/bin/quobrix-textfile.dll" build/windows/bin/quobrix-textfile.dll
zipball "$win" "quobrix-textfile-$version-windows-x64"
mkdir -p "$win-debug/bin"
cp build/windows/bin/quobrix-textfile.dll.debug build/windows/bin/quobrix-textfile.exe.debug \
  "$win-debug/bin/"
zipball "$win-debug" "quobrix-textfile-$version-windows-x64-debug"

# The glibc floor of everything shipped for Linux: measured, and never above
# the promised one (nor any import of the C++ runtime or libgcc).
promised=$(sed -n 's/^set(TF_GLIBC_FLOOR "\([0-9.]*\)".*/\1/p' cmake/GlibcFloor.cmake)
floor=$(bash scripts/glibc-floor.sh --max "$promised" "$x64/lib/$lib" "$x64/bin/quobrix-textfile" \
  "$arm64/lib/$lib" "$arm64/bin/quobrix-textfile" | tail -n 1) ||
  { echo "release: a Linux binary needs more than glibc $promised (above)" >&2; exit 1; }
echo "release: glibc floor $floor (promised $promised)"
echo "$floor" >"$stage/glibc-floor"

# The tool's manual page, from its own --help (the same text on every
# platform), dated with the release.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -d '2026-12-09 12:00:00 UTC' +%s)}
help2man --no-info --no-discard-stderr --version-string="$version" \
  --name="plain-text files in any encoding, decoded to UTF-8" \
  --output="$stage/quobrix-textfile.1" "$x64/bin/quobrix-textfile"

# Debian packages.
bash scripts/release-debs.sh "$x64" amd64 x86_64-linux-gnu "$floor" "$dist" "$stage/quobrix-textfile.1"
bash scripts/release-debs.sh "$arm64" arm64 aarch64-linux-gnu "$floor" "$dist" "$stage/quobrix-textfile.1"

# The language packages carry the same library files, and the tool beside
# each library: for them it finds the library in its own folder ($ORIGIN).
echo 'file(RPATH_CHANGE FILE "${FILE}" OLD_RPATH "$ORIGIN/../lib" NEW_RPATH "$ORIGIN")' \
  >"$stage/rpath-origin.cmake"
beside() { # TREE NAME -> $stage/NAME/quobrix-textfile
  mkdir -p "$stage/$2"
  cp "$1/bin/quobrix-textfile" "$stage/$2/"
  cmake -DFILE="$stage/$2/quobrix-textfile" -P "$stage/rpath-origin.cmake"
}
beside "$x64" tool-linux-x64
beside "$arm64" tool-linux-arm64
bash scripts/package-node.sh "$dist/npm" "$x64/lib/$lib" "$arm64/lib/$lib" \
  "$win/bin/quobrix-textfile.dll" "$stage/tool-linux-x64/quobrix-textfile" \
  "$stage/tool-linux-arm64/quobrix-textfile" "$win/bin/quobrix-textfile.exe"
bash scripts/package-python.sh "$dist/python" "$floor" "$x64/lib/$lib" "$arm64/lib/$lib" \
  "$win/bin/quobrix-textfile.dll" "$stage/tool-linux-x64/quobrix-textfile" \
  "$stage/tool-linux-arm64/quobrix-textfile" "$win/bin/quobrix-textfile.exe"

(cd "$dist" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
  xargs sha256sum >SHA256SUMS)
echo "== release: $(($(find "$dist" -type f | wc -l) - 1)) files in dist/ in $(($(date +%s) - start)) s"
