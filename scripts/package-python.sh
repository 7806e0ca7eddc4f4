#!/usr/bin/env bash
# Makes the Python package's platform wheels, with the shared library and the
# command-line tool inside the package folder, and its source distribution:
#   bash scripts/package-python.sh DIST GLIBC_FLOOR LINUX_X64_SO LINUX_ARM64_SO WIN_X64_DLL \
#     LINUX_X64_TOOL LINUX_ARM64_TOOL WIN_X64_EXE
# writes into DIST
#   quobrix_textfile-<v>-py3-none-manylinux_2_17_x86_64.manylinux2014_x86_64.whl
#   quobrix_textfile-<v>-py3-none-manylinux_2_17_aarch64.manylinux2014_aarch64.whl
#   quobrix_textfile-<v>-py3-none-win_amd64.whl
#   quobrix_textfile-<v>.tar.gz                                 (no library inside)
# (the manylinux tags of the floor given: manylinux_2_17 and its older name
# manylinux2014, which pip before 20.3 reads; another floor has the first
# alone), each library and tool byte for byte the file given. The package's
# own build backend makes them (standard library only); `pip install
# bindings/python` still builds the pure wheel for users who bring their own
# library. Each wheel is checked after writing: its RECORD against its files,
# its WHEEL tags, its library and tool against the ones given.
set -euo pipefail
if [ $# -ne 8 ]; then
  echo "usage: $0 DIST GLIBC_FLOOR LINUX_X64_SO LINUX_ARM64_SO WIN_X64_DLL LINUX_X64_TOOL LINUX_ARM64_TOOL WIN_X64_EXE" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
dist=$(cd "$1" && pwd)
floor=$2
if ! [[ $floor =~ ^2\.[0-9]+$ ]]; then
  echo "package-python: GLIBC_FLOOR must look like 2.17, not '$floor'" >&2
  exit 2
fi
for f in "$3" "$4" "$5" "$6" "$7" "$8"; do
  [ -f "$f" ] || { echo "package-python: no such file: $f" >&2; exit 1; }
done
manylinux() { # ARCH -> the wheel's platform tags for the floor
  if [ "$floor" = 2.17 ]; then
    echo "manylinux_2_17_$1.manylinux2014_$1"
  else
    echo "manylinux_${floor/./_}_$1"
  fi
}
# The tag promises that glibc $floor suffices: no Linux library may ask for a
# newer symbol version than that.
for f in "$3" "$4" "$6" "$7"; do
  needed=$(grep -haoE 'GLIBC_2\.[0-9]+' "$f" | cut -d_ -f2 | sort -V | tail -n 1)
  if [ -n "$needed" ] && [ "$(printf '%s\n%s\n' "$needed" "$floor" | sort -V | tail -n 1)" != "$floor" ]; then
    echo "package-python: $f needs glibc $needed, above the floor $floor given" >&2
    exit 1
  fi
done

# A copy of the package with the project's LICENSE beside it, so that the
# source tree is left as it is.
stage=$root/build/package-python
rm -rf "$stage"
mkdir -p "$stage"
(cd "$root/bindings/python" && tar --exclude=__pycache__ --exclude=tests -cf - .) | tar -xf - -C "$stage"
[ -f "$root/LICENSE" ] && cp "$root/LICENSE" "$stage/"
backend=$stage/build_backend/quobrix_textfile_build.py

wheels=()
for entry in "$(manylinux x86_64):$3:$6" "$(manylinux aarch64):$4:$7" "win_amd64:$5:$8"; do
  IFS=: read -r tag library tool <<<"$entry"
  library=$(readlink -f "$library")
  tool=$(readlink -f "$tool")
  wheel=$(python3 "$backend" platform-wheel "$stage" "$tag" "$library" "$tool")
  rm -f "$dist/$wheel"
  mv "$stage/$wheel" "$dist/$wheel"
  wheels+=("$dist/$wheel:$library:$tool")
done
sdist=$(python3 "$backend" sdist "$stage")
rm -f "$dist/$sdist"
mv "$stage/$sdist" "$dist/$sdist"

python3 - "${wheels[@]}" <<'EOF'
import base64, hashlib, os, sys, zipfile
for entry in sys.argv[1:]:
    wheel, library, tool = entry.rsplit(":", 2)
    name = os.path.basename(wheel)
    tag = name[:-len(".whl")].split("-", 2)[2]
    with zipfile.ZipFile(wheel) as z:
        names = z.namelist()
        record = [n for n in names if n.endswith(".dist-info/RECORD")]
        assert len(record) == 1, (name, "RECORD")
        listed = {}
        for line in z.read(record[0]).decode().splitlines():
            path, digest, size = line.rsplit(",", 2)
            listed[path] = (digest, size)
        assert set(listed) == set(names), (name, "RECORD lists other files", set(listed) ^ set(names))
        for n in names:
            if n == record[0]:
                assert listed[n] == ("", ""), (name, n)
                continue
            data = z.read(n)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            assert listed[n] == ("sha256=" + digest, str(len(data))), (name, n, "hash or size")
        wheel_file = z.read([n for n in names if n.endswith(".dist-info/WHEEL")][0]).decode()
        python, abi, platforms = tag.split("-")
        tags = ["Tag: %s-%s-%s" % (python, abi, p) for p in platforms.split(".")]
        assert "Root-Is-Purelib: false" in wheel_file.splitlines(), (name, wheel_file)
        assert [l for l in wheel_file.splitlines() if l.startswith("Tag: ")] == tags, (name, wheel_file)
        entry_points = z.read([n for n in names if n.endswith(".dist-info/entry_points.txt")][0]).decode()
        assert "quobrix-textfile = quobrix_textfile._command:main" in entry_points, (name, entry_points)
        inside = sorted(n for n in names if n.startswith("quobrix_textfile/") and not n.endswith(".py")
                        and not n.endswith("py.typed"))
        assert len(inside) == 2, (name, inside)
        for n in inside:
            given = tool if os.path.basename(n) in ("quobrix-textfile", "quobrix-textfile.exe") else library
            with open(given, "rb") as f:
                assert z.read(n) == f.read(), (name, n, "differs from", given)
            assert z.getinfo(n).external_attr >> 16 == 0o100755, (name, n, "mode")
EOF
for entry in "${wheels[@]}"; do
  w=${entry%%:*}
  echo "package-python: $w ($(du -k "$w" | cut -f1) kB)"
done
echo "package-python: $dist/$sdist ($(du -k "$dist/$sdist" | cut -f1) kB)"
rm -rf "$stage"
