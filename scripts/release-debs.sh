#!/usr/bin/env bash
# Debian packages of one Linux release tree (an installed prefix with bin/,
# lib/, include/), made with dpkg-deb alone:
#   libquobrix-textfile1      the library in /usr/lib/<multiarch>/
#   libquobrix-textfile-dev   the header, the .so link, the CMake and pkg-config files
#   quobrix-textfile          the command-line tool, its manual page (MAN_PAGE,
#                             made by help2man from its --help) and the README
# The library file is the tree's, byte for byte.
#
#   bash scripts/release-debs.sh TREE DEB_ARCH MULTIARCH GLIBC_FLOOR OUT_DIR MAN_PAGE
set -euo pipefail
tree=$1 arch=$2 multiarch=$3 floor=$4 out=$5 man=$6
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(quobrix-textfile VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
major=${version%%.*}
debver=$version-1
# No project address exists yet: a reserved domain says so.
maintainer="quobrix-textfile authors <authors@quobrix-textfile.invalid>"
work=$(mktemp -d "$out/.debs.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The changelog's date is the version's (the file is reproducible).
date_rfc="Wed, 09 Dec 2026 12:00:00 +0000"

# common NAME: the control directory, the documentation of the package.
common() {
  local name=$1 dir=$work/$1
  mkdir -p "$dir/DEBIAN" "$dir/usr/share/doc/$name"
  install -m 0644 "$root/packaging/debian/copyright" "$dir/usr/share/doc/$name/copyright"
  cat >"$work/changelog" <<LOG
quobrix-textfile ($debver) unstable; urgency=medium

  * Release $version: self-contained library, command-line tool and
    development files.

 -- $maintainer  $date_rfc
LOG
  gzip -9n <"$work/changelog" >"$dir/usr/share/doc/$name/changelog.Debian.gz"
  chmod 0644 "$dir/usr/share/doc/$name/changelog.Debian.gz"
}

# control NAME SECTION DEPENDS MULTI-ARCH SUMMARY DESCRIPTION
control() {
  local name=$1 section=$2 depends=$3 multi=$4 summary=$5 description=$6 dir=$work/$1
  local size
  size=$(du -k -s --exclude=DEBIAN "$dir" | cut -f1)
  {
    echo "Package: $name"
    echo "Source: quobrix-textfile"
    echo "Version: $debver"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $size"
    echo "Depends: $depends"
    [ -n "$multi" ] && echo "Multi-Arch: $multi"
    echo "Section: $section"
    echo "Priority: optional"
    echo "Description: $summary"
    printf '%s\n' "$description" | fold -s -w 72 | sed 's/ *$//; s/^/ /'
  } >"$dir/DEBIAN/control"
  (cd "$dir" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
  chmod 0644 "$dir/DEBIAN/control" "$dir/DEBIAN/md5sums"
  find "$dir" -type d -exec chmod 0755 {} +
  dpkg-deb --root-owner-group -Zxz --build "$dir" "$out/${name}_${debver}_${arch}.deb" >/dev/null
  echo "release: $out/${name}_${debver}_${arch}.deb"
}

about="quobrix-textfile opens plain-text files whatever their encoding (UTF-8, \
UTF-8 with BOM, UTF-16LE with BOM or a single-byte fallback), detects their \
line endings, decodes them to UTF-8 and answers queries as compact JSON; it \
saves text back atomically in a chosen encoding."
lib=libquobrix-textfile.so

# The runtime library.
name=libquobrix-textfile$major
common "$name"
d=$work/$name/usr/lib/$multiarch
mkdir -p "$d"
cp "$tree/lib/$lib.$version" "$d/"
chmod 0644 "$d/$lib.$version"
ln -s "$lib.$version" "$d/$lib.$major"
echo "libquobrix-textfile $major $name (>= $version)" >"$work/$name/DEBIAN/shlibs"
echo "activate-noawait ldconfig" >"$work/$name/DEBIAN/triggers"
chmod 0644 "$work/$name/DEBIAN/shlibs" "$work/$name/DEBIAN/triggers"
control "$name" libs "libc6 (>= $floor)" same \
  "plain-text files in any encoding, decoded to UTF-8 (library)" \
  "$about This package holds the shared library; it needs nothing but the C library."

# The development files.
name=libquobrix-textfile-dev
common "$name"
d=$work/$name/usr
mkdir -p "$d/include" "$d/lib/$multiarch/pkgconfig" "$d/lib/$multiarch/cmake"
install -m 0644 "$tree/include/quobrix_textfile.h" "$d/include/"
ln -s "$lib.$major" "$d/lib/$multiarch/$lib"
cp -r "$tree/lib/cmake/quobrix-textfile" "$d/lib/$multiarch/cmake/"
find "$d/lib/$multiarch/cmake" -type f -exec chmod 0644 {} +
cat >"$d/lib/$multiarch/pkgconfig/quobrix-textfile.pc" <<PC
prefix=/usr
exec_prefix=\${prefix}
libdir=\${prefix}/lib/$multiarch
includedir=\${prefix}/include

Name: quobrix-textfile
Description: Uniform access to plain-text files whatever their encoding
Version: $version
Libs: -L\${libdir} -lquobrix-textfile
Cflags: -I\${includedir}
PC
chmod 0644 "$d/lib/$multiarch/pkgconfig/quobrix-textfile.pc"
control "$name" libdevel "libquobrix-textfile$major (= $debver)" same \
  "plain-text files in any encoding, decoded to UTF-8 (development files)" \
  "$about This package holds the C header, the CMake package (find_package(quobrix-textfile)) and the pkg-config file."

# The command-line tool, without the archive's RUNPATH (the library is in
# the system's own directory here).
name=quobrix-textfile
common "$name"
d=$work/$name/usr/bin
mkdir -p "$d"
install -m 0755 "$tree/bin/quobrix-textfile" "$d/"
echo 'file(RPATH_REMOVE FILE "${FILE}")' >"$work/norpath.cmake"
cmake -DFILE="$d/quobrix-textfile" -P "$work/norpath.cmake"
mkdir -p "$work/$name/usr/share/man/man1"
gzip -9n <"$man" >"$work/$name/usr/share/man/man1/quobrix-textfile.1.gz"
gzip -9n <"$root/README.md" >"$work/$name/usr/share/doc/$name/README.md.gz"
chmod 0644 "$work/$name/usr/share/man/man1/quobrix-textfile.1.gz" "$work/$name/usr/share/doc/$name/README.md.gz"
control "$name" text "libquobrix-textfile$major (>= $version), libc6 (>= $floor)" foreign \
  "plain-text files in any encoding, decoded to UTF-8 (command-line tool)" \
  "$about This package holds the command-line tool: detect, info, stats, search, replace preview, cat and convert."
