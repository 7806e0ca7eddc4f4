#!/usr/bin/env bash
# Fetches the sources a cross build needs and that Debian ships no cross
# binaries of: yyjson, from Debian's own trixie source package (the same
# version as the host's libyyjson-dev), and libeditorconfig with PCRE2 (the
# tool's check command), unpacked into build/cross-deps/.
# GoogleTest needs nothing here: its sources are /usr/src/googletest
# (libgtest-dev, installed by install-deps.sh).
#
# Runs as root without prompts and is idempotent: once the source is unpacked
# it returns at once without touching apt. apt checks the tarball against the
# signed Sources index. Prints the unpacked directory on its last line, the
# value for -DTF_YYJSON_SOURCE_DIR (the presets' default already).
#
#   bash scripts/cross-deps.sh            # then configure with TF_DEPS_FROM_SOURCE=ON
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TF_CROSS_DEPS_DIR:-$root/build/cross-deps}
src=$cache/yyjson

present() {
  [ -f "$src/src/yyjson.c" ] && [ -f "$src/CMakeLists.txt" ] &&
    [ -f "$cache/editorconfig/src/lib/editorconfig.c" ] &&
    [ -f "$cache/pcre2/src/pcre2_compile.c" ]
}
if present; then
  echo "cross-deps: yyjson, editorconfig and pcre2 sources present"
  echo "$src"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "cross-deps: must run as root to fetch the yyjson, editorconfig and pcre2 sources" >&2
  exit 1
fi

# shellcheck source=scripts/debian-entry.sh
source "$root/scripts/debian-entry.sh"
if ! debian_entry; then
  echo "cross-deps: no Debian bookworm source entry found to derive a trixie source from" >&2
  exit 1
fi
list=/etc/apt/sources.list.d/quobrix-trixie-src.sources
wanted="Types: deb-src
URIs: $DEBIAN_URIS
Suites: trixie
Components: main
Signed-By: $DEBIAN_KEYRING"
if [ ! -f "$list" ] || [ "$(cat "$list")" != "$wanted" ]; then
  echo "cross-deps: adding a trixie deb-src entry ($DEBIAN_URIS)"
  printf '%s\n' "$wanted" >"$list"
fi

# Refresh only that list: nothing else on the machine moves.
apt-get -q update -o Dir::Etc::sourcelist="$list" -o Dir::Etc::sourceparts=- \
  -o APT::Get::List-Cleanup=0 </dev/null

# Unpacks Debian's source package PACKAGE into $cache/DIR, unless FILE is
# already there. Only the .orig tarballs are served for these packages; apt
# still verifies a tarball's hash against the signed Sources index before
# keeping it, so a partial failure with the tarball present is fine.
#   fetch PACKAGE[=VERSION] DIR FILE
fetch() {
  local package=$1 dir=$cache/$2 file=$3 tarball
  if [ -f "$dir/$file" ]; then
    return 0
  fi
  mkdir -p "$cache/download"
  (cd "$cache/download" && apt-get -q source --download-only "$package" </dev/null) || true
  tarball=$(ls -1 "$cache/download/${package%%=*}"_*.orig.tar.* 2>/dev/null | tail -n 1)
  if [ -z "$tarball" ]; then
    echo "cross-deps: apt-get source $package gave no .orig tarball" >&2
    exit 1
  fi
  rm -rf "$dir.tmp"
  mkdir -p "$dir.tmp"
  tar -xf "$tarball" -C "$dir.tmp" --strip-components=1
  rm -rf "$dir"
  mv "$dir.tmp" "$dir"
  echo "cross-deps: $2 unpacked from $tarball"
}

# The version of the host's package when it is installed, so the cross build
# and the native one compile the same yyjson.
version=$(dpkg-query -W -f='${source:Version}' libyyjson-dev 2>/dev/null || true)
fetch "yyjson${version:+=$version}" yyjson src/yyjson.c
fetch editorconfig-core editorconfig src/lib/editorconfig.c
fetch pcre2 pcre2 src/pcre2_compile.c
echo "$src"
