#!/usr/bin/env bash
# Debian 11's C library (glibc 2.31), its C development files and its Python
# 3.9 with pip, unpacked into a folder, to run the release's binaries on an
# older glibc without changing the system: apt reads a bullseye list of its
# own (the machine's own Debian URI and keyring, scripts/debian-entry.sh)
# under DIR, downloads the packages and dpkg -x unpacks them into DIR/root.
# Prints DIR/root; a second run finds it there and downloads nothing.
#   ROOT/lib64/ld-linux-x86-64.so.2 --library-path ROOT/lib/x86_64-linux-gnu:ROOT/usr/lib/x86_64-linux-gnu PROGRAM
# runs a program on that glibc; `cc --sysroot=ROOT` builds one against it;
# ROOT/usr/share/python-wheels/pip-*.whl is Debian 11's pip, run from its wheel.
#   bash scripts/debian11-root.sh DIR
set -euo pipefail
dir=${1:?usage: $0 DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -f "$dir/root/.complete" ]; then
  echo "$dir/root"
  exit 0
fi
# shellcheck source=scripts/debian-entry.sh
source "$root/scripts/debian-entry.sh"
debian_entry || { echo "debian11-root: no Debian entry in the machine's apt sources" >&2; exit 1; }
rm -rf "$dir/root" "$dir/debs" "$dir/state" "$dir/cache"
mkdir -p "$dir/state/lists/partial" "$dir/cache/archives/partial" "$dir/debs"
: >"$dir/state/status"
echo "deb [signed-by=$DEBIAN_KEYRING] ${DEBIAN_URIS%% *} bullseye main" >"$dir/sources.list"
apt_private=(-o APT::Architecture=amd64 -o APT::Architectures::=amd64
  -o Dir::Etc::sourcelist="$dir/sources.list" -o Dir::Etc::sourceparts=-
  -o Dir::State="$dir/state" -o Dir::State::Status="$dir/state/status"
  -o Dir::Cache="$dir/cache" -o Debug::NoLocking=1 -o APT::Get::List-Cleanup=0
  -o APT::Sandbox::User=root)
apt-get -q "${apt_private[@]}" update </dev/null >/dev/null
# Only bullseye is in these lists, so each name resolves to its version there.
(cd "$dir/debs" && apt-get -q "${apt_private[@]}" download \
  libc6 libc6-dev linux-libc-dev libcrypt1 libcrypt-dev libgcc-s1 \
  python3.9-minimal libpython3.9-minimal libpython3.9-stdlib libffi7 zlib1g libexpat1 libssl1.1 \
  python3-distutils python3-lib2to3 python-pip-whl </dev/null >/dev/null)
for deb in "$dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$dir/root"
done
rm -rf "$dir/cache" "$dir/debs" "$dir/state"
# Links to absolute paths (the loader's /lib64 link) point inside the root.
find "$dir/root" -type l -lname '/*' | while read -r link; do
  ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$dir/root$(readlink "$link")")" "$link"
done
[ -x "$dir/root/usr/bin/python3.9" ] && ls "$dir"/root/usr/share/python-wheels/pip-*.whl >/dev/null ||
  { echo "debian11-root: the packages lack python3.9 or pip" >&2; exit 1; }
touch "$dir/root/.complete"
echo "$dir/root"
