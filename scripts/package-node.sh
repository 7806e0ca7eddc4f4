#!/usr/bin/env bash
# Packs the Node package with the prebuilt libraries and tools inside:
#   bash scripts/package-node.sh DIST LINUX_X64_SO LINUX_ARM64_SO WIN_X64_DLL \
#     LINUX_X64_TOOL LINUX_ARM64_TOOL WIN_X64_EXE [WASM]
# writes DIST/quobrix-textfile-<version>.tgz holding
#   prebuilds/linux-x64/libquobrix-textfile.so.1, quobrix-textfile
#   prebuilds/linux-arm64/libquobrix-textfile.so.1, quobrix-textfile
#   prebuilds/win32-x64/quobrix-textfile.dll, quobrix-textfile.exe
#   prebuilds/wasm32-wasi/quobrix-textfile.wasm (the library's fallback
#     everywhere else; built by scripts/build-wasm.sh when WASM is not given)
# (the <process.platform>-<process.arch> layout the package's loader and its
# command, bin/quobrix-textfile.js, read; each Linux tool finds the library
# beside it through its RUNPATH $ORIGIN), byte for byte the files given. The
# package is staged in a fresh folder under build/, so the source tree never
# holds a prebuilds/ folder. Needs npm; nothing is fetched.
set -euo pipefail
if [ $# -ne 7 ] && [ $# -ne 8 ]; then
  echo "usage: $0 DIST LINUX_X64_SO LINUX_ARM64_SO WIN_X64_DLL LINUX_X64_TOOL LINUX_ARM64_TOOL WIN_X64_EXE [WASM]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
dist=$(cd "$1" && pwd)
wasm=${8:-$(bash "$root/scripts/build-wasm.sh" 2>/dev/null | tail -n 1)}
for f in "$2" "$3" "$4" "$5" "$6" "$7" "$wasm"; do
  [ -f "$f" ] || { echo "package-node: no such file: $f" >&2; exit 1; }
done

stage=$root/build/package-node
rm -rf "$stage"
mkdir -p "$stage/prebuilds/linux-x64" "$stage/prebuilds/linux-arm64" "$stage/prebuilds/win32-x64" \
  "$stage/prebuilds/wasm32-wasi"
cp -r "$root/bindings/node/lib" "$stage/lib"
cp -r "$root/bindings/node/bin" "$stage/bin"
cp "$root/bindings/node/package.json" "$root/bindings/node/index.d.ts" "$root/bindings/node/README.md" "$stage/"
[ -f "$root/LICENSE" ] && cp "$root/LICENSE" "$stage/"
# -L: the .so.1 given may be a link to the versioned file.
cp -L "$2" "$stage/prebuilds/linux-x64/libquobrix-textfile.so.1"
cp -L "$3" "$stage/prebuilds/linux-arm64/libquobrix-textfile.so.1"
cp -L "$4" "$stage/prebuilds/win32-x64/quobrix-textfile.dll"
cp -L "$wasm" "$stage/prebuilds/wasm32-wasi/quobrix-textfile.wasm"
chmod 0644 "$stage"/prebuilds/*/*
cp -L "$5" "$stage/prebuilds/linux-x64/quobrix-textfile"
cp -L "$6" "$stage/prebuilds/linux-arm64/quobrix-textfile"
cp -L "$7" "$stage/prebuilds/win32-x64/quobrix-textfile.exe"
chmod 0755 "$stage"/prebuilds/*/quobrix-textfile* "$stage/bin/quobrix-textfile.js"

version=$(node -p "require('$stage/package.json').version")
tgz=quobrix-textfile-$version.tgz
rm -f "$dist/$tgz"
(cd "$stage" && npm pack --silent --pack-destination "$dist" >/dev/null)
[ -f "$dist/$tgz" ] || { echo "package-node: npm pack wrote no $tgz" >&2; exit 1; }

# What was packed: each prebuild, byte-identical to its source.
listing=$(tar -tzf "$dist/$tgz")
for entry in prebuilds/linux-x64/libquobrix-textfile.so.1:"$2" \
  prebuilds/linux-arm64/libquobrix-textfile.so.1:"$3" prebuilds/win32-x64/quobrix-textfile.dll:"$4" \
  prebuilds/linux-x64/quobrix-textfile:"$5" prebuilds/linux-arm64/quobrix-textfile:"$6" \
  prebuilds/win32-x64/quobrix-textfile.exe:"$7" bin/quobrix-textfile.js:"$root/bindings/node/bin/quobrix-textfile.js" \
  prebuilds/wasm32-wasi/quobrix-textfile.wasm:"$wasm"; do
  name=${entry%%:*}
  grep -qx "package/$name" <<<"$listing" || { echo "package-node: $tgz lacks $name" >&2; exit 1; }
  cmp -s <(tar -xzOf "$dist/$tgz" "package/$name") "${entry#*:}" ||
    { echo "package-node: $name differs from ${entry#*:}" >&2; exit 1; }
done
# The command's files keep their executable mode in the package.
modes=$(tar -tvzf "$dist/$tgz" | awk '/prebuilds\/linux-[a-z0-9]+\/quobrix-textfile$|bin\/quobrix-textfile.js$/ {print $1}' |
  sort -u)
[ "$modes" = "-rwxr-xr-x" ] || { echo "package-node: the command lost its mode: $modes" >&2; exit 1; }
rm -rf "$stage"
echo "package-node: $dist/$tgz ($(du -k "$dist/$tgz" | cut -f1) kB)"
