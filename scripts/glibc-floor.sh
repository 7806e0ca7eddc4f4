#!/usr/bin/env bash
# Prints the glibc floor of ELF files (any architecture): the highest
# GLIBC_x.y version among the symbols they import, one line per file with the
# symbols that need it, then the highest of all on the last line (e.g.
# "2.17"). A program or library built here runs on any system whose glibc is
# at least that version.
#
# With --max FLOOR it also fails (exit 1, naming the symbols) when a file
# imports a GLIBC_ version above FLOOR, or any version of the C++ runtime or
# of libgcc (GLIBCXX_, CXXABI_, GCC_): the self-contained binaries link those
# in, so such an import means a system library would be needed after all.
# The build runs it after linking each self-contained binary
# (cmake/GlibcFloor.cmake), the release on everything it ships.
#
#   bash scripts/glibc-floor.sh build/release/src/libquobrix-textfile.so.1 build/release/tools/quobrix-textfile
#   bash scripts/glibc-floor.sh --max 2.17 FILE...
set -euo pipefail
max=""
if [ "${1:-}" = "--max" ]; then
  max=${2:?usage: glibc-floor.sh [--max FLOOR] FILE...}
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: glibc-floor.sh [--max FLOOR] FILE..." >&2
  exit 2
fi
floor=""
bad=0
for f in "$@"; do
  # Only undefined (imported) symbols count, as name@VERSION.
  undefined=$(readelf --dyn-syms --wide "$f" | awk '$7 == "UND" {print $8}')
  imports=$(grep -E '@GLIBC_[0-9]+(\.[0-9]+)+' <<<"$undefined" || true)
  runtime=$(grep -E '@(GLIBCXX|CXXABI|GCC)_' <<<"$undefined" || true)
  if [ -n "$runtime" ]; then
    echo "$f: imports the C++ runtime or libgcc: $(tr '\n' ' ' <<<"$runtime")" >&2
    bad=1
  fi
  if [ -z "$imports" ]; then
    echo "$f: no versioned glibc symbols" >&2
    continue
  fi
  top=$(printf '%s\n' "$imports" | sed -E 's/.*@GLIBC_([0-9.]+).*/\1/' | sort -uV | tail -n 1)
  symbols=$(printf '%s\n' "$imports" | grep -F "@GLIBC_$top" | sed -E 's/@.*//' | sort -u |
    tr '\n' ' ')
  echo "$f: GLIBC_$top (${symbols% })"
  floor=$(printf '%s\n%s\n' "$floor" "$top" | sed '/^$/d' | sort -V | tail -n 1)
  if [ -n "$max" ]; then
    above=$(printf '%s\n' "$imports" | awk -v max="$max" '{
        v = $0; sub(/.*@GLIBC_/, "", v); n = split(v, a, "."); split(max, m, ".")
        for (i = 1; i <= 3; i++) { x = (i <= n ? a[i] : 0) + 0; y = (m[i] == "" ? 0 : m[i]) + 0
          if (x != y) { if (x > y) print; break } }
      }' | tr '\n' ' ')
    if [ -n "$above" ]; then
      echo "$f: imports above the glibc floor $max: ${above% } (bind them to an older version in src/platform/glibc/glibc_floor.c)" >&2
      bad=1
    fi
  fi
done
if [ -z "$floor" ]; then
  echo "glibc-floor: no versioned glibc symbols in $*" >&2
  exit 1
fi
echo "$floor"
exit "$bad"
