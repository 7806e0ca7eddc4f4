#!/usr/bin/env bash
# The install stage: every artifact of dist/ (scripts/release.sh) installed
# as its user would, in a new folder of its own, with no build tree on any
# search path, none of QUOBRIX_TEXTFILE_LIBRARY, LD_LIBRARY_PATH,
# PKG_CONFIG_PATH or CMAKE_PREFIX_PATH inherited, and nothing of ours
# installed in the system:
#   Linux x86-64 tarball   a C consumer through pkg-config and through
#                          find_package, the tool, then the folder moved and
#                          the tool again;
#   ... on glibc 2.31      Debian 11's C library and C development files
#                          (scripts/debian11-root.sh, cached in build/): a C
#                          consumer built against them and the tool, both run
#                          by Debian 11's loader;
#   Linux aarch64 tarball  the consumer cross-compiled through pkg-config and
#                          the tool, under qemu;
#   Windows zip            a C consumer linked with the Microsoft-format
#                          quobrix-textfile.lib, and one through the zip's CMake
#                          package, run under wine; the .lib's exports and
#                          the version resources;
#   Debian packages        lintian; dpkg -i of the three, a consumer through
#                          pkg-config against /usr and the tool, then
#                          dpkg --purge and a check that nothing is left.
# Each shipped library must be byte-identical to the one the suite tested in
# build/release, build/aarch64 and build/windows, when those trees are here.
# Needs root for the Debian part (and to install lintian).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")/.."
root=$PWD
start=$(date +%s)
version=$(sed -n 's/^project(quobrix-textfile VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
major=${version%%.*}
dist=$root/dist
lib=libquobrix-textfile.so.$version

fail() {
  echo "test-release: $*" >&2
  exit 1
}
[ -f "$dist/SHA256SUMS" ] || fail "no dist/SHA256SUMS: run scripts/release.sh first"
(cd "$dist" && sha256sum --quiet --strict -c SHA256SUMS) || fail "dist/SHA256SUMS does not match"

if ! command -v lintian >/dev/null; then
  [ "$(id -u)" -eq 0 ] || fail "lintian missing; run as root to install it"
  apt-get -y -q install --no-install-recommends lintian </dev/null >/dev/null ||
    { apt-get -y -q update </dev/null >/dev/null &&
      apt-get -y -q install --no-install-recommends lintian </dev/null >/dev/null; }
fi

unset QUOBRIX_TEXTFILE_LIBRARY LD_LIBRARY_PATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH LIBRARY_PATH \
  CPATH C_INCLUDE_PATH
for f in /usr/lib/*/libquobrix-textfile* /usr/local/lib/libquobrix-textfile* \
  /usr/include/quobrix_textfile.h /usr/local/include/quobrix_textfile.h; do
  [ -e "$f" ] && fail "$f is installed in the system: the stage needs a system without it"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tf-release-XXXXXX")
wine_up=0
debs_in=0
cleanup() {
  if [ "$debs_in" = 1 ]; then
    dpkg --purge quobrix-textfile libquobrix-textfile-dev "libquobrix-textfile$major" \
      >/dev/null 2>&1 || true
  fi
  [ "$wine_up" = 1 ] && /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# A folder with a random name, new for each artifact.
fresh() { mktemp -d "$work/$1-XXXXXX"; }

# The sample file and what the consumer prints for it.
sample=$work/sample.txt
cp examples/sample-utf8.txt "$sample"
size=$(stat -c %s "$sample")
info="{\"encoding\":\"utf8\",\"had_bom\":0,\"line_ending\":\"lf\",\"bytes\":$size,\
\"raw_bytes\":$size,\"lines\":3,\"sanitized\":0}"
expected=$(printf 'version %s\n%s' "$version" "$info")
consumer=$root/tests/package/consumer
expect() { # WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: expected
$3
got
$2"
}
exports=$(grep -oE '^ +tf_[a-z_]+;' src/exports.map | tr -d ' ;' | sort)

tested() { # SHIPPED TESTED
  if [ -f "$2" ]; then
    cmp -s "$1" "$2" || fail "$1 is not the library the suite tested ($2)"
    echo "   $(basename "$1"): the bytes the suite tested"
  else
    echo "   $(basename "$1"): no $2 here to compare with"
  fi
}

linux_checks() { # PREFIX
  local p=$1 needed
  for f in bin/quobrix-textfile "lib/$lib" "lib/libquobrix-textfile.so.$major" \
    lib/libquobrix-textfile.so include/quobrix_textfile.h \
    lib/cmake/quobrix-textfile/quobrix-textfile-config.cmake \
    lib/cmake/quobrix-textfile/quobrix-textfile-config-version.cmake \
    lib/pkgconfig/quobrix-textfile.pc share/doc/quobrix-textfile/LICENSE \
    share/doc/quobrix-textfile/README.md; do
    [ -e "$p/$f" ] || fail "missing in the archive: $f"
  done
  expect "libquobrix-textfile.so.$major" "$(readlink "$p/lib/libquobrix-textfile.so.$major")" "$lib"
  expect "libquobrix-textfile.so" "$(readlink "$p/lib/libquobrix-textfile.so")" \
    "libquobrix-textfile.so.$major"
  needed=$(readelf -d "$p/lib/$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
    grep -vE '^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|ld-linux-[a-z0-9-]+\.so\.[0-9]+)$' || true)
  [ -z "$needed" ] || fail "the library needs more than the C library: $needed"
  expect "exports" "$(readelf --dyn-syms -W "$p/lib/$lib" |
    awk '$7 != "UND" && $5 == "GLOBAL" {print $8}' | sed 's/@.*//' | sort)" "$exports"
  expect "the tool's RUNPATH" \
    "$(readelf -d "$p/bin/quobrix-textfile" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')" '$ORIGIN/../lib'
  sections=$(readelf -S "$p/lib/$lib")
  grep -q '\.gnu_debuglink' <<<"$sections" || fail "no debug link in the library"
  grep -q ' \.symtab' <<<"$sections" && fail "the library is not stripped"
  return 0
}

pkg_config_build() { # PREFIX CC OUT
  local pc="env PKG_CONFIG_PATH=$1/lib/pkgconfig pkg-config"
  expect "pkg-config --modversion" "$($pc --modversion quobrix-textfile)" "$version"
  # shellcheck disable=SC2046
  "$2" -std=c99 -Wall -Wextra -pedantic-errors $($pc --cflags quobrix-textfile) \
    "$consumer/consumer.c" -o "$3" $($pc --libs quobrix-textfile) \
    "-Wl,-rpath,$($pc --variable=libdir quobrix-textfile)"
}

# --- Linux x86-64 ------------------------------------------------------------
echo "== release: linux-x86_64 tarball"
t0=$(date +%s)
dir=$(fresh linux-x86_64)
tar -xzf "$dist/quobrix-textfile-$version-linux-x86_64.tar.gz" -C "$dir"
p=$dir/quobrix-textfile-$version-linux-x86_64
linux_checks "$p"
tested "$p/lib/$lib" "build/release/src/$lib"
pkg_config_build "$p" cc "$dir/pc-consumer"
expect "consumer built with pkg-config" "$("$dir/pc-consumer" "$sample")" "$expected"
cmake -S "$consumer" -B "$dir/cmake-consumer" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$p" -DEXPECTED_PREFIX="$p" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$dir/cmake-consumer" >/dev/null
expect "consumer built with find_package" "$("$dir/cmake-consumer/consumer" "$sample")" "$expected"
expect "the tool" "$("$p/bin/quobrix-textfile" info "$sample")" "$info"
moved=$(fresh moved)
mv "$p" "$moved/"
p=$moved/quobrix-textfile-$version-linux-x86_64
expect "the tool, moved" "$("$p/bin/quobrix-textfile" info "$sample")" "$info"
# The .pc file follows its folder.
pkg_config_build "$p" cc "$moved/pc-consumer"
expect "consumer built with pkg-config, moved" "$("$moved/pc-consumer" "$sample")" "$expected"
echo "   pkg-config and find_package consumers, the tool, moved: passed ($(($(date +%s) - t0)) s)"

# --- Linux x86-64 on an older glibc -----------------------------------------
# Debian 11 (glibc 2.31) is the oldest Debian its registry still serves; the
# floor below it (2.17) rests on the symbol check of scripts/release.sh.
echo "== release: linux-x86_64 tarball on glibc 2.31 (Debian 11's C library)"
t0=$(date +%s)
if old=$(bash scripts/debian11-root.sh "$root/build/package-cache/debian11" 2>"$work/debian11.log"); then
  old_libs=$old/lib/x86_64-linux-gnu:$old/usr/lib/x86_64-linux-gnu
  old_run() { "$old/lib64/ld-linux-x86-64.so.2" --library-path "$old_libs:$p/lib" "$@"; }
  expect "Debian 11's C library" "$(old_run "$old/lib/x86_64-linux-gnu/libc.so.6" | head -n 1 |
    grep -oE 'version [0-9]+\.[0-9]+')" "version 2.31"
  dir=$(fresh glibc-2.31)
  # Debian 11's start files, C library and linker scripts; the host's compiler.
  cc --sysroot="$old" -B"$old/usr/lib/x86_64-linux-gnu/" -L"$old/usr/lib/x86_64-linux-gnu" \
    -L"$old/lib/x86_64-linux-gnu" -Wl,-rpath-link,"$old/lib/x86_64-linux-gnu" \
    -std=c99 -Wall -Wextra -pedantic-errors -I "$p/include" "$consumer/consumer.c" -o "$dir/consumer" \
    -L "$p/lib" -lquobrix-textfile
  expect "consumer built against glibc 2.31" "$(old_run "$dir/consumer" "$sample")" "$expected"
  expect "the tool on glibc 2.31" "$(old_run "$p/bin/quobrix-textfile" info "$sample")" "$info"
  expect "the tool's search on glibc 2.31" "$(old_run "$p/bin/quobrix-textfile" search "$sample" line)" \
    "$("$p/bin/quobrix-textfile" search "$sample" line)"
  echo "   consumer built against glibc 2.31 and the tool, run by its loader: passed ($(($(date +%s) - t0)) s)"
else
  echo "   no Debian 11 packages to run ($(tail -n 1 "$work/debian11.log")): left out"
fi

# --- Linux aarch64 -----------------------------------------------------------
echo "== release: linux-aarch64 tarball under qemu"
t0=$(date +%s)
qemu="qemu-aarch64 -L /usr/aarch64-linux-gnu"
dir=$(fresh linux-aarch64)
tar -xzf "$dist/quobrix-textfile-$version-linux-aarch64.tar.gz" -C "$dir"
p=$dir/quobrix-textfile-$version-linux-aarch64
linux_checks "$p"
grep -q 'AArch64' <<<"$(readelf -h "$p/lib/$lib")" || fail "the aarch64 library is not for AArch64"
tested "$p/lib/$lib" "build/aarch64/src/$lib"
pkg_config_build "$p" aarch64-linux-gnu-gcc "$dir/pc-consumer"
expect "aarch64 consumer built with pkg-config" "$($qemu "$dir/pc-consumer" "$sample")" "$expected"
expect "the aarch64 tool" "$($qemu "$p/bin/quobrix-textfile" info "$sample")" "$info"
echo "   cross-compiled pkg-config consumer and the tool under qemu: passed ($(($(date +%s) - t0)) s)"

# --- Windows x64 -------------------------------------------------------------
echo "== release: windows-x64 zip under wine"
t0=$(date +%s)
dir=$(fresh windows-x64)
python3 -m zipfile -e "$dist/quobrix-textfile-$version-windows-x64.zip" "$dir"
p=$dir/quobrix-textfile-$version-windows-x64
for f in bin/quobrix-textfile.dll bin/quobrix-textfile.exe lib/quobrix-textfile.lib \
  lib/libquobrix-textfile.dll.a lib/quobrix-textfile.def include/quobrix_textfile.h \
  lib/cmake/quobrix-textfile/quobrix-textfile-config.cmake share/doc/quobrix-textfile/LICENSE; do
  [ -e "$p/$f" ] || fail "missing in the zip: $f"
done
tested "$p/bin/quobrix-textfile.dll" build/windows/bin/quobrix-textfile.dll
expect "the DLL's imports" "$(x86_64-w64-mingw32-objdump -p "$p/bin/quobrix-textfile.dll" |
  sed -n 's/.*DLL Name: //p' | sort | tr '\n' ' ')" "KERNEL32.dll msvcrt.dll "
expect "the import library's functions" \
  "$(python3 tests/install/import_library.py "$p/lib/quobrix-textfile.lib")" \
  "$(sed 's/^/quobrix-textfile.dll /' <<<"$exports")"
expect "the .def's names" "$(sed -n 's/^ *\(tf_[a-z_]*\)$/\1/p' "$p/lib/quobrix-textfile.def" |
  sort)" "$exports"
for f in quobrix-textfile.dll quobrix-textfile.exe; do
  expect "$f version resource" "$(python3 tests/install/version_resource.py "$p/bin/$f")" \
    "$version.0 $version.0"
  grep -qx 'the quobrix-textfile authors' <<<"$(x86_64-w64-mingw32-strings -el "$p/bin/$f")" ||
    fail "$f: no company name in its version resource"
done
# A consumer linked with the Microsoft-format import library alone.
mkdir "$dir/run"
x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -pedantic-errors -I "$p/include" \
  "$consumer/consumer.c" "$p/lib/quobrix-textfile.lib" -o "$dir/run/consumer.exe"
grep -q 'DLL Name: quobrix-textfile.dll' <<<"$(x86_64-w64-mingw32-objdump -p "$dir/run/consumer.exe")" ||
  fail "the consumer does not import quobrix-textfile.dll"
cp "$p/bin/quobrix-textfile.dll" "$dir/run/"
cp "$sample" "$dir/run/sample.txt"
# And one through the zip's CMake package, with a toolchain file of the user's.
cmake -S "$consumer" -B "$dir/cmake-consumer" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/tests/install/mingw-consumer.cmake" \
  -DCMAKE_PREFIX_PATH="$p" -DEXPECTED_PREFIX="$p" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$dir/cmake-consumer" >/dev/null
grep -rl "quobrix-textfile.lib" "$dir/cmake-consumer/CMakeFiles" >/dev/null ||
  fail "the CMake consumer did not link quobrix-textfile.lib"
cp "$dir/cmake-consumer/consumer.exe" "$dir/run/cmake-consumer.exe"
# wine, in a prefix of its own (or the Windows stage's, already made), quiet
# and with one server for the runs.
export WINEDEBUG=-all WINEPREFIX=$root/build/windows/wineprefix
[ -d "$WINEPREFIX" ] || WINEPREFIX=$work/wineprefix
unset DISPLAY
wine_up=1
# A new prefix is made by a first run (about 11 s); the server then stays.
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
run_wine() { (cd "$dir/run" && /usr/lib/wine/wine64 "$@" </dev/null 2>/dev/null | tr -d '\r'); }
expect "consumer linked with quobrix-textfile.lib" "$(run_wine ./consumer.exe sample.txt)" "$expected"
expect "consumer built with find_package" "$(run_wine ./cmake-consumer.exe sample.txt)" "$expected"
cp "$p/bin/quobrix-textfile.exe" "$dir/run/"
expect "the Windows tool" "$(run_wine ./quobrix-textfile.exe info sample.txt)" "$info"
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
wine_up=0
echo "   .lib and find_package consumers and the tool under wine, exports, version: passed ($(($(date +%s) - t0)) s)"

# --- Debian packages ---------------------------------------------------------
echo "== release: Debian packages"
t0=$(date +%s)
debs=$(ls "$dist"/*.deb)
# Errors fail the stage; the warnings kept are listed in TESTING.md.
lintian_out=$(lintian --tag-display-limit 0 $debs 2>&1 || true)
[ -n "$lintian_out" ] && printf '%s\n' "$lintian_out" | sed 's/^/   lintian: /'
grep -q '^E: ' <<<"$lintian_out" && fail "lintian reports errors"
if [ "$(id -u)" -ne 0 ]; then
  echo "   not root: dpkg -i and --purge left out"
else
  names="libquobrix-textfile$major libquobrix-textfile-dev quobrix-textfile"
  for n in $names; do
    state=$(dpkg-query -W -f='${db:Status-Status}' "$n" 2>/dev/null || true)
    [ -n "$state" ] && [ "$state" != "not-installed" ] &&
      fail "$n is installed already: the stage needs a system without it"
  done
  amd64=$(ls "$dist"/*_amd64.deb)
  files=$(for d in $amd64; do dpkg-deb -c "$d"; done | awk '$1 !~ /^d/ {print $6}' | sed 's/^\.//')
  debs_in=1
  dpkg -i $amd64 >/dev/null
  dir=$(fresh deb)
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Wextra -pedantic-errors $(pkg-config --cflags quobrix-textfile) \
    "$consumer/consumer.c" -o "$dir/consumer" $(pkg-config --libs quobrix-textfile)
  expect "consumer built against /usr" "$("$dir/consumer" "$sample")" "$expected"
  expect "the packaged tool" "$(quobrix-textfile info "$sample")" "$info"
  # Its manual page (from its --help) and the README.
  zcat /usr/share/man/man1/quobrix-textfile.1.gz | grep -q '^\.TH QUOBRIX-TEXTFILE "1"' ||
    fail "no manual page for the tool"
  [ -f /usr/share/doc/quobrix-textfile/README.md.gz ] || fail "no README in /usr/share/doc/quobrix-textfile"
  tested "/usr/lib/x86_64-linux-gnu/$lib" "build/release/src/$lib"
  dpkg --purge quobrix-textfile libquobrix-textfile-dev "libquobrix-textfile$major" >/dev/null
  debs_in=0
  for f in $files; do
    [ -e "$f" ] || [ -L "$f" ] && fail "$f is left after dpkg --purge"
  done
  echo "   installed, consumer through pkg-config against /usr, the tool, purged clean: passed"
fi
echo "   ($(($(date +%s) - t0)) s)"
echo "== release: install stage took $(($(date +%s) - start)) s"
