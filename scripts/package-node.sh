#!/usr/bin/env bash
# Packs the Node package with the prebuilt libraries inside:
#   bash scripts/package-node.sh DIST LINUX_X64_SO LINUX_ARM64_SO WIN_X64_DLL [WASM]
# writes DIST/quobrix-textfile-<version>.tgz holding
#   prebuilds/linux-x64/libquobrix-textfile.so.1
#   prebuilds/linux-arm64/libquobrix-textfile.so.1
#   prebuilds/win32-x64/quobrix-textfile.dll
#   prebuilds/wasm32-wasi/quobrix-textfile.wasm (the fallback everywhere else;
#     built by scripts/build-wasm.sh when WASM is not given)
# (the <process.platform>-<process.arch> layout the package's loader reads),
# byte for byte the files given. The package is staged in a fresh folder
# under build/, so the source tree never holds a prebuilds/ folder. Needs npm;
# nothing is fetched.
set -euo pipefail
if [ $# -ne 4 ] && [ $# -ne 5 ]; then
  echo "usage: $0 DIST LINUX_X64_SO LINUX_ARM64_SO WIN_X64_DLL [WASM]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
dist=$(cd "$1" && pwd)
wasm=${5:-$(bash "$root/scripts/build-wasm.sh" 2>/dev/null | tail -n 1)}
for f in "$2" "$3" "$4" "$wasm"; do
  [ -f "$f" ] || { echo "package-node: no such file: $f" >&2; exit 1; }
done

stage=$root/build/package-node
rm -rf "$stage"
mkdir -p "$stage/prebuilds/linux-x64" "$stage/prebuilds/linux-arm64" "$stage/prebuilds/win32-x64" \
  "$stage/prebuilds/wasm32-wasi"
cp -r "$root/bindings/node/lib" "$stage/lib"
cp "$root/bindings/node/package.json" "$root/bindings/node/index.d.ts" "$root/bindings/node/README.md" "$stage/"
[ -f "$root/LICENSE" ] && cp "$root/LICENSE" "$stage/"
# -L: the .so.1 given may be a link to the versioned file.
cp -L "$2" "$stage/prebuilds/linux-x64/libquobrix-textfile.so.1"
cp -L "$3" "$stage/prebuilds/linux-arm64/libquobrix-textfile.so.1"
cp -L "$4" "$stage/prebuilds/win32-x64/quobrix-textfile.dll"
cp -L "$wasm" "$stage/prebuilds/wasm32-wasi/quobrix-textfile.wasm"
chmod 0644 "$stage"/prebuilds/*/*

version=$(node -p "require('$stage/package.json').version")
tgz=quobrix-textfile-$version.tgz
rm -f "$dist/$tgz"
(cd "$stage" && npm pack --silent --pack-destination "$dist" >/dev/null)
[ -f "$dist/$tgz" ] || { echo "package-node: npm pack wrote no $tgz" >&2; exit 1; }

# What was packed: each prebuild, byte-identical to its source.
listing=$(tar -tzf "$dist/$tgz")
for entry in prebuilds/linux-x64/libquobrix-textfile.so.1:"$2" \
  prebuilds/linux-arm64/libquobrix-textfile.so.1:"$3" prebuilds/win32-x64/quobrix-textfile.dll:"$4" \
  prebuilds/wasm32-wasi/quobrix-textfile.wasm:"$wasm"; do
  name=${entry%%:*}
  grep -qx "package/$name" <<<"$listing" || { echo "package-node: $tgz lacks $name" >&2; exit 1; }
  cmp -s <(tar -xzOf "$dist/$tgz" "package/$name") "${entry#*:}" ||
    { echo "package-node: $name differs from ${entry#*:}" >&2; exit 1; }
done
rm -rf "$stage"
echo "package-node: $dist/$tgz ($(du -k "$dist/$tgz" | cut -f1) kB)"
