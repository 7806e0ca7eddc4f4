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
          clang libclang-rt-14-dev python3 python3-pip libyyjson-dev)
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

# Prints "URIS<TAB>KEYRING" of the machine's main Debian entry (not security),
# read from deb822 .sources files or from one-line sources.list entries.
debian_entry() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v RS= '
      /(^|\n)Suites:[^\n]*(bookworm|stable)([ \n]|$)/ && !/security/ {
        uris = ""; key = ""
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^URIs:/)      { sub(/^URIs:[ \t]*/, "", lines[i]); uris = lines[i] }
          if (lines[i] ~ /^Signed-By:/) { sub(/^Signed-By:[ \t]*/, "", lines[i]); key = lines[i] }
        }
        if (uris != "") { print uris "\t" key; exit }
      }' "$f" && return 0
  done | head -n 1
}

debian_entry_list() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" && $0 !~ /security/ && ($0 ~ / bookworm / || $0 ~ / stable /) {
           key = ""; uri = ""
           for (i = 2; i <= NF; i++) {
             if ($i ~ /^\[/ || key == "open") {
               if ($i ~ /signed-by=/) { k = $i; sub(/.*signed-by=/, "", k); sub(/\].*/, "", k); key = k }
               if ($i ~ /\]$/) key = (key == "open" ? "" : key); else if (key == "") key = "open"
               continue
             }
             uri = $i; break
           }
           if (key == "open") key = ""
           print uri "\t" key; exit
         }' "$f"
  done | head -n 1
}

add_trixie_source() {
  local entry uris key
  entry=$(debian_entry)
  [ -n "$entry" ] || entry=$(debian_entry_list)
  if [ -z "$entry" ]; then
    echo "install-deps: no Debian bookworm source entry found to derive a trixie source from" >&2
    exit 1
  fi
  uris=${entry%%$'\t'*}
  key=${entry#*$'\t'}
  [ -n "$key" ] || key=/usr/share/keyrings/debian-archive-keyring.gpg
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
