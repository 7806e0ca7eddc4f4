#!/usr/bin/env bash
# Debian's arm64 Python 3 unpacked into a folder, for running the aarch64
# wheel under qemu-user, without changing the system: apt reads the
# machine's Debian sources for the arm64 architecture into lists of its own
# under DIR, downloads the few packages (the interpreter, its standard
# library, and the libraries those link beyond the C library) and unpacks
# them with dpkg -x. Prints DIR/root, whose usr/bin/python3.11 runs with
#   qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=DIR/root/usr/lib/aarch64-linux-gnu
# A second run finds it there and downloads nothing.
#   bash scripts/python-arm64.sh DIR
set -euo pipefail
dir=${1:?usage: $0 DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
python=python3.11
if [ -x "$dir/root/usr/bin/$python" ]; then
  echo "$dir/root"
  exit 0
fi
sources=/etc/apt/sources.list.d/debian.sources
[ -f "$sources" ] || { echo "python-arm64: no $sources" >&2; exit 1; }
rm -rf "$dir/root" "$dir/debs"
mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/debs"
: >"$dir/status"
apt_private=(-o APT::Architecture=arm64 -o APT::Architectures::=arm64
  -o Dir::Etc::sourcelist="$sources" -o Dir::Etc::sourceparts=-
  -o Dir::State::Lists="$dir/lists" -o Dir::State::Status="$dir/status"
  -o Dir::Cache="$dir/cache" -o Debug::NoLocking=1 -o APT::Get::List-Cleanup=0
  -o APT::Sandbox::User=root)
apt-get -q "${apt_private[@]}" update </dev/null >/dev/null
(cd "$dir/debs" && apt-get -q "${apt_private[@]}" download \
  "$python-minimal:arm64" "lib$python-minimal:arm64" "lib$python-stdlib:arm64" \
  libexpat1:arm64 zlib1g:arm64 libffi8:arm64 libssl3:arm64 </dev/null >/dev/null)
for deb in "$dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$dir/root"
done
rm -rf "$dir/cache" "$dir/debs" "$dir/lists" "$dir/status"
[ -x "$dir/root/usr/bin/$python" ] || { echo "python-arm64: no $python in the packages" >&2; exit 1; }
echo "$dir/root"
