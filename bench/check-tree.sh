#!/usr/bin/env bash
# How fast `quobrix-textfile check` goes over a real tree, beside the tools
# people use for the same job. Not part of the test suite; figures go into
# bench/RESULTS.md by hand.
#
#   bash bench/check-tree.sh [TOOL]     (default: build/release/tools/quobrix-textfile)
#
# The tree: copies of /usr/share/doc, /usr/share/i18n and /usr/lib/python3.11
# in $TF_BENCH_DIR (default /tmp/check-bench), made once. Every figure is the
# best of $RUNS runs (default 3) of wall time: the machine is shared, so the
# numbers are noisy.
#
# 1. check (.editorconfig: utf-8, lf) against `file --mime-encoding` plus
#    `dos2unix -i` (the same questions: encoding, line endings, binary), and
#    against `eclint check` (npm's eclint, when $ECLINT names it or it is on
#    PATH: `npm install --prefix /tmp/eclint eclint`).
# 2. check --fix (to UTF-8 and LF) on a fresh copy against a loop of `file`,
#    `iconv` and `dos2unix` per file.
# 3. check with 1 and 2 threads on a tree of large files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/release/tools/quobrix-textfile}
dir=${TF_BENCH_DIR:-/tmp/check-bench}
runs=${RUNS:-3}
eclint=${ECLINT:-$(command -v eclint || echo /tmp/eclint/node_modules/.bin/eclint)}
tree=$dir/tree
large=$dir/large

mkdir -p "$dir"
if [ ! -d "$tree" ]; then
  mkdir -p "$tree.tmp"
  for src in /usr/share/doc /usr/share/i18n /usr/lib/python3.11; do
    [ -d "$src" ] && cp -a "$src" "$tree.tmp/$(basename "$src")"
  done
  mv "$tree.tmp" "$tree"
fi
printf 'root = true\n[*]\ncharset = utf-8\nend_of_line = lf\n' >"$tree/.editorconfig"
if [ ! -d "$large" ]; then
  mkdir -p "$large.tmp"
  # 24 files of 16 MiB: Python sources end to end.
  find /usr/lib/python3.11 -name '*.py' -size +20k | head -n 200 | xargs cat >"$dir/seed.txt"
  for i in $(seq -w 1 24); do
    while [ "$(stat -c %s "$large.tmp/f$i.txt" 2>/dev/null || echo 0)" -lt 16777216 ]; do
      cat "$dir/seed.txt" >>"$large.tmp/f$i.txt"
    done
    truncate -s 16777216 "$large.tmp/f$i.txt"
  done
  mv "$large.tmp" "$large"
fi

files=$(find "$tree" -type f | wc -l)
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
large_files=$(find "$large" -type f | wc -l)
large_bytes=$(find "$large" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "tree: $files files, $((bytes / 1048576)) MiB; large: $large_files files, $((large_bytes / 1048576)) MiB"
echo "tool: $tool; best of $runs; $(nproc) processors"

# best COMMAND...: "WALL CPU", the best wall time and the best CPU time
# (user + system, children included) of $runs runs, in seconds.
# best_fresh SETUP COMMAND...: the same, SETUP run (untimed) before each run.
best_fresh() {
  local setup=$1 bw="" bc="" w c
  shift
  for _ in $(seq "$runs"); do
    eval "$setup"
    /usr/bin/time -f '%e %U %S' -o "$dir/time.out" "$@" >/dev/null 2>&1 || true
    read -r w u s <"$dir/time.out" || true
    case $w in *[!0-9.]*) read -r w u s < <(tail -n 1 "$dir/time.out") ;; esac
    c=$(echo "$u + $s" | bc -l)
    if [ -z "$bw" ] || [ "$(echo "$w < $bw" | bc -l)" = 1 ]; then bw=$w; fi
    if [ -z "$bc" ] || [ "$(echo "$c < $bc" | bc -l)" = 1 ]; then bc=$c; fi
  done
  echo "$bw $bc"
}
best() { best_fresh : "$@"; }

row() { # name "wall cpu" files bytes ["baseline-wall baseline-cpu"]
  local w c bw bc ratio=""
  read -r w c <<<"$2"
  if [ -n "${5:-}" ]; then
    read -r bw bc <<<"$5"
    ratio=$(printf '%5.1fx wall %5.1fx cpu' "$(echo "$bw / $w" | bc -l)" \
      "$(echo "$bc / ($c + 0.001)" | bc -l)")
  fi
  printf '%-40s %7.2f s wall %7.2f s cpu %7.0f files/s %7.1f MB/s %s\n' "$1" "$w" "$c" \
    "$(echo "$3 / $w" | bc -l)" "$(echo "$4 / $w / 1000000" | bc -l)" "$ratio"
}

file_alone() {
  find "$tree" -type f -print0 | xargs -0 file --mime-encoding >/dev/null
}
file_and_dos2unix() {
  find "$tree" -type f -print0 | xargs -0 file --mime-encoding >/dev/null
  find "$tree" -type f -print0 | xargs -0 dos2unix -i >/dev/null 2>&1 || true
}
loop_fix() {
  find "$dir/fix" -type f -print0 | while IFS= read -r -d '' f; do
    enc=$(file -b --mime-encoding "$f")
    case $enc in
      binary) continue ;;
      iso-8859-1 | unknown-8bit)
        iconv -f latin1 -t utf-8 "$f" >"$f.iconv" && cat "$f.iconv" >"$f" && rm -f "$f.iconv" ;;
    esac
    dos2unix -q "$f" 2>/dev/null || true
  done
}
# eclint stops at the first dangling link of a glob: it gets the regular files.
eclint_check() {
  find "$tree" -type f -print0 | xargs -0 "$eclint" check >/dev/null 2>&1 || true
}
check_listed() {
  find "$tree" -type f -print0 | xargs -0 "$tool" check >/dev/null 2>&1 || true
}
export tree dir tool eclint
export -f file_alone file_and_dos2unix eclint_check check_listed loop_fix

echo
echo "== check (reading every file) =="
t_alone=$(best bash -c file_alone)
row "file --mime-encoding" "$t_alone" "$files" "$bytes"
t_file=$(best bash -c file_and_dos2unix)
row "file --mime-encoding + dos2unix -i" "$t_file" "$files" "$bytes"
t_check=$(best "$tool" check "$tree")
row "quobrix-textfile check, against file" "$t_check" "$files" "$bytes" "$t_alone"
row "quobrix-textfile check, against both" "$t_check" "$files" "$bytes" "$t_file"
if [ -x "$eclint" ]; then
  t_eclint=$(best bash -c eclint_check)
  row "eclint check FILE..." "$t_eclint" "$files" "$bytes"
  t_listed=$(best bash -c check_listed)
  row "quobrix-textfile check FILE..." "$t_listed" "$files" "$bytes" "$t_eclint"
fi

echo
echo "== check --fix to UTF-8 and LF, on a fresh copy each run =="
copy="rm -rf $dir/fix && cp -a $tree $dir/fix"
t_loop=$(best_fresh "$copy" bash -c loop_fix)
row "file + iconv + dos2unix loop" "$t_loop" "$files" "$bytes"
t_fix=$(best_fresh "$copy" "$tool" check --fix --charset utf-8 --eol lf --ansi latin1 "$dir/fix")
row "quobrix-textfile check --fix" "$t_fix" "$files" "$bytes" "$t_loop"
rm -rf "$dir/fix"

echo
echo "== threads, on the large files =="
t1=$(best "$tool" check -j 1 "$large")
row "quobrix-textfile check -j 1" "$t1" "$large_files" "$large_bytes"
t2=$(best "$tool" check -j 2 "$large")
row "quobrix-textfile check -j 2" "$t2" "$large_files" "$large_bytes" "$t1"
t1=$(best "$tool" check -j 1 "$tree")
row "quobrix-textfile check -j 1 (the tree)" "$t1" "$files" "$bytes"
t2=$(best "$tool" check -j 2 "$tree")
row "quobrix-textfile check -j 2 (the tree)" "$t2" "$files" "$bytes" "$t1"
