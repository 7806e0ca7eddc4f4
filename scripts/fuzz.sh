#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a bounded time.
#
#   FUZZ_SECONDS  seconds per target (default 60)
#   FUZZ_TARGETS  targets to run (default: all three)
#   FUZZ_NICE     niceness of the fuzzing processes (default 0; 19 for long
#                 runs beside other work)
#
# Each target starts from its seed corpus in fuzz/corpus/<target>/ and keeps
# what it finds in build/fuzz/corpus/<target>/ for the next run; a crashing
# input lands in build/fuzz/artifacts/. Prints the executions per target and
# exits non-zero when a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-"fuzz_open_query fuzz_decoders fuzz_utf16_save"}
niceness=${FUZZ_NICE:-0}
jobs=$(nproc 2>/dev/null || echo 2)

if [ ! -f build/fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTF_BUILD_FUZZ=ON -DTF_BUILD_TESTS=OFF >/dev/null
fi
# shellcheck disable=SC2086
cmake --build build/fuzz -j "$jobs" --target $targets

mkdir -p build/fuzz/artifacts
status=0
summary=""
for target in $targets; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work"
  log=build/fuzz/$target.log
  echo "== fuzz: $target for ${seconds}s"
  if nice -n "$niceness" "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=30 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
      "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 40 "$log"
  fi
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -n 1)
  units=$(find "$work" -type f | wc -l)
  summary+=$(printf '%-18s %-6s %12s executions, %6s inputs in its corpus' \
    "$target" "$result" "${runs:-?}" "$units")$'\n'
done
echo "== fuzz summary (${seconds}s per target)"
printf '%s' "$summary"
exit $status
