#!/usr/bin/env bash
# Installs everything the build, the tests and the fuzzers need on Debian 12,
# as root, without prompts. Safe to run again: when every package is already
# present it touches apt not at all and returns in a moment.
#
# yyjson (libyyjson-dev 0.10+) only exists from Debian 13 on. When apt has no
# candidate for it, a trixie source is added that reuses the URIs and keyring of
# this machine's own Debian entry, pinned so that only libyyjson0 and
# libyyjson-dev may come from it; nothing else on the system moves.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(g++ make cmake pkg-config libgtest-dev libbenchmark-dev
          clang libclang-rt-14-dev python3 python3-pip libyyjson-dev
          libeditorconfig-dev pre-commit mypy)
# libeditorconfig-dev: the tool's check command reads .editorconfig through it;
# pre-commit: the check hooks' round trip in the tool's tests; mypy: the Python
# package's type test.
# Optional extras: the benchmark compares against these when present.
extras=(hyperfine ripgrep)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}" ${TF_INSTALL_EXTRAS:+"${extras[@]}"}; do
  installed "$p" || missing+=("$p")
done
# Node.js and npm for the Node package's tests: Debian's, unless the machine
# already has a node and an npm (from any source; they are left alone).
command -v node >/dev/null 2>&1 || installed nodejs || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || installed npm || missing+=(npm)
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: must run as root to install: ${missing[*]}" >&2
  exit 1
fi

apt_get() { apt-get -y -q -o Dpkg::Options::=--force-confold "$@" </dev/null; }

has_candidate() {
  local c
  c=$(apt-cache policy "$1" 2>/dev/null | awk '/Candidate:/ {print $2}')
  [ -n "$c" ] && [ "$c" != "(none)" ]
}

# shellcheck source=scripts/debian-entry.sh
source "$(dirname "$0")/debian-entry.sh"

add_trixie_source() {
  if ! debian_entry; then
    echo "install-deps: no Debian bookworm source entry found to derive a trixie source from" >&2
    exit 1
  fi
  local uris=$DEBIAN_URIS key=$DEBIAN_KEYRING
  echo "install-deps: adding a pinned trixie source for yyjson ($uris)"
  cat >/etc/apt/sources.list.d/quobrix-trixie.sources <<SRC
Types: deb
URIs: $uris
Suites: trixie
Components: main
Signed-By: $key
SRC
  cat >/etc/apt/preferences.d/quobrix-trixie <<PIN
Package: libyyjson0 libyyjson-dev
Pin: release n=trixie
Pin-Priority: 500

Package: *
Pin: release n=trixie
Pin-Priority: 1
PIN
  apt_get update
}

apt_get update
if [[ " ${missing[*]} " == *" libyyjson-dev "* ]] && ! has_candidate libyyjson-dev; then
  add_trixie_source
  if ! has_candidate libyyjson-dev; then
    echo "install-deps: libyyjson-dev still has no candidate after adding trixie" >&2
    exit 1
  fi
fi
apt_get install --no-install-recommends "${missing[@]}"
echo "install-deps: done"
