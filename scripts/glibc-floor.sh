#!/usr/bin/env bash
# Prints the glibc floor of ELF files (any architecture): the highest
# GLIBC_x.y version among the symbols they import, one line per file with the
# symbols that need it, then the highest of all on the last line (e.g.
# "2.34"). A program or library built here runs on any system whose glibc is
# at least that version.
#
#   bash scripts/glibc-floor.sh build/release/src/libquobrix-textfile.so.1 build/release/tools/quobrix-textfile
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: glibc-floor.sh FILE..." >&2
  exit 2
fi
floor=""
for f in "$@"; do
  # Only undefined (imported) symbols count, as name@GLIBC_x.y.
  imports=$(readelf --dyn-syms --wide "$f" | awk '$7 == "UND" {print $8}' |
    grep -E '@GLIBC_[0-9]+(\.[0-9]+)+' || true)
  if [ -z "$imports" ]; then
    echo "$f: no versioned glibc symbols" >&2
    continue
  fi
  top=$(printf '%s\n' "$imports" | sed -E 's/.*@GLIBC_([0-9.]+).*/\1/' | sort -uV | tail -n 1)
  symbols=$(printf '%s\n' "$imports" | grep -F "@GLIBC_$top" | sed -E 's/@.*//' | sort -u |
    tr '\n' ' ')
  echo "$f: GLIBC_$top (${symbols% })"
  floor=$(printf '%s\n%s\n' "$floor" "$top" | sed '/^$/d' | sort -V | tail -n 1)
done
if [ -z "$floor" ]; then
  echo "glibc-floor: no versioned glibc symbols in $*" >&2
  exit 1
fi
echo "$floor"
