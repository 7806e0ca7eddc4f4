#!/usr/bin/env bash
# Whole-process comparisons with hyperfine: the command-line tool
# (quobrix-textfile) against what a user would run instead, on the corpora
# tf_bench generates. Every command reads a file that is in the page cache
# and writes to /dev/null, except the conversions, which write a file.
#
#   bench/compare-tools.sh [--build DIR] [--size 200MB] [--runs N] [--out FILE.md]
#
# DIR is a build tree configured with -DTF_BUILD_BENCH=ON (default
# build/bench); the tool and tf_bench are built there if needed. hyperfine
# and ripgrep are optional extras (TF_INSTALL_EXTRAS=1 scripts/install-deps.sh);
# comparisons whose tools are missing are skipped with a note.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/bench
size=200MB
runs=10
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--size 200MB] [--runs N] [--out FILE.md]" >&2; exit 2 ;;
  esac
done

if ! command -v hyperfine >/dev/null; then
  echo "compare-tools: hyperfine is not installed (TF_INSTALL_EXTRAS=1 scripts/install-deps.sh)" >&2
  exit 1
fi
have_rg=1
command -v rg >/dev/null || { have_rg=0; echo "compare-tools: ripgrep absent, its rows are skipped" >&2; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_BENCH=ON -DTF_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target tf_bench quobrix-textfile-cli >/dev/null
tool=$(realpath "$build/tools/quobrix-textfile")
data=build/bench-data
mkdir -p "$data"

declare -A file
while read -r name path bytes; do
  file[$name]=$(realpath "$path")
done < <("$build/bench/tf_bench" --size "$size" --dir "$data" --prepare-only)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

report=$scratch/report.md
: >"$report"
# One comparison: a title, then hyperfine commands (the library's tool first).
compare() {
  local title=$1
  shift
  echo "== $title" >&2
  printf '\n### %s\n\n' "$title" >>"$report"
  hyperfine --style basic --warmup 2 --runs "$runs" --export-markdown "$scratch/one.md" \
    "$@" >&2
  cat "$scratch/one.md" >>"$report"
}

# Warm the page cache.
cat "${file[@]}" >/dev/null

for corpus in english mixed; do
  f=${file[$corpus]}
  compare "stats, $corpus ($size)" \
    -n "quobrix-textfile stats" "$tool stats $f" \
    -n "LC_ALL=C wc -lwm" "LC_ALL=C wc -lwm $f"
  if [ $have_rg = 1 ]; then
    compare "search, rare word, every hit, $corpus" \
      -n "quobrix-textfile search --max-hits 100000" "$tool search --max-hits 100000 $f quixotic" \
      -n "rg -c -F" "rg -c -F quixotic $f"
    compare "folded search, rare word, every hit, $corpus" \
      -n "quobrix-textfile search -i --max-hits 100000" \
      "$tool search -i --max-hits 100000 $f QUIXOTIC" \
      -n "rg -i -c -F" "rg -i -c -F QUIXOTIC $f"
    compare "folded search, frequent word, every hit, $corpus" \
      -n "quobrix-textfile search -i --max-hits 100000" \
      "$tool search -i --max-hits 100000 $f LIBRARY" \
      -n "rg -i -c -F" "rg -i -c -F LIBRARY $f" \
      -n "quobrix-textfile info (tf_open alone, the floor of every command)" "$tool info $f"
  fi
done

compare "cat UTF-16LE as UTF-8, english-utf16" \
  -n "quobrix-textfile cat" "$tool cat ${file[english-utf16]}" \
  -n "iconv -f UTF-16LE -t UTF-8" "iconv -f UTF-16LE -t UTF-8 ${file[english-utf16]}"
compare "cat UTF-16LE as UTF-8, mixed-utf16" \
  -n "quobrix-textfile cat" "$tool cat ${file[mixed-utf16]}" \
  -n "iconv -f UTF-16LE -t UTF-8" "iconv -f UTF-16LE -t UTF-8 ${file[mixed-utf16]}"
compare "cat Latin-1 as UTF-8, latin1" \
  -n "quobrix-textfile cat" "$tool cat ${file[latin1]}" \
  -n "iconv -f ISO-8859-1 -t UTF-8" "iconv -f ISO-8859-1 -t UTF-8 ${file[latin1]}"
# The tool's save syncs the new file before it replaces the target; iconv
# with a redirection does not, so it is timed both ways.
for corpus in english mixed; do
  compare "convert UTF-8 to UTF-16LE into a new file, $corpus" \
    -n "quobrix-textfile convert --to utf16le -o" \
    "$tool convert --to utf16le -o $scratch/ours.txt ${file[$corpus]}" \
    -n "iconv -f UTF-8 -t UTF-16LE >" \
    "iconv -f UTF-8 -t UTF-16LE ${file[$corpus]} > $scratch/theirs.txt" \
    -n "iconv -f UTF-8 -t UTF-16LE > and sync" \
    "iconv -f UTF-8 -t UTF-16LE ${file[$corpus]} > $scratch/theirs.txt && sync $scratch/theirs.txt"
done

if [ -n "$out" ]; then
  cp "$report" "$out"
else
  cat "$report"
fi
