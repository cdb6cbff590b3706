#!/usr/bin/env bash
# Whole-program benchmark: runs each of the seven programs several times and
# prints its median wall time and peak memory. With --baseline REV it also
# builds revision REV of this repository and times it side by side, runs
# interleaved, so that a speed-up is a ratio measured under the same load.
#
#     bench/compare-programs.sh [--runs N] [--baseline REV] [--cxx COMPILER]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=5
baseline=""
cxx=${CXX:-c++}
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    --cxx) cxx=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--baseline REV] [--cxx COMPILER]" >&2; exit 2 ;;
  esac
done

source "$root/scripts/experiments.sh"
programs=("${experiment_names[@]}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A Release build with the default (portable) flags, programs only.
build() {  # source-dir build-dir [extra-target]
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
        -DBUILD_TESTING=OFF -DSUITE_BUILD_BENCHMARKS=OFF >"$work/build.log" 2>&1 &&
  cmake --build "$2" -j "$(nproc)" --target "${programs[@]}" ${3:+"$3"} >>"$work/build.log" 2>&1 ||
    { cat "$work/build.log" >&2; echo "compare-programs: build of $1 failed" >&2; exit 1; }
}

echo "building the working tree" >&2
build "$root" "$root/build/bench-current" run_timer
current_bin="$root/build/bench-current/programs"
timer="$root/build/bench-current/bench/run_timer"

baseline_bin=""
if [ -n "$baseline" ]; then
  rev=$(git -C "$root" rev-parse --short "$baseline")
  echo "building baseline revision $rev" >&2
  # The revision's sources stay beside its build, so a later comparison
  # against the same revision reuses both.
  baseline_dir="$root/build/bench-baseline-$rev"
  rm -rf "$baseline_dir/src" && mkdir -p "$baseline_dir/src"
  git -C "$root" archive "$rev" | tar -x -C "$baseline_dir/src"
  build "$baseline_dir/src" "$baseline_dir/build"
  baseline_bin="$baseline_dir/build/programs"
fi

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One run in a fresh folder; appends "seconds kilobytes" to the given file.
# The folder keeps the tables and standard output for the comparison.
measure() {  # bin program results-file folder
  rm -rf "$4" && mkdir -p "$4"
  "$timer" "$4" "$1/$2" >>"$3"
}

machine=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
echo "## $(date -u +%Y-%m-%d), $machine, $(nproc) cores, $runs runs each, medians"
if [ -n "$baseline_bin" ]; then
  echo "| program | baseline ($rev) | now | speed-up | peak memory before | now | same tables |"
  echo "|---|---:|---:|---:|---:|---:|---|"
else
  echo "| program | time | peak memory |"
  echo "|---|---:|---:|"
fi
for program in "${programs[@]}"; do
  : >"$work/now" ; : >"$work/before"
  for ((r = 0; r < runs; r++)); do
    [ -n "$baseline_bin" ] && measure "$baseline_bin" "$program" "$work/before" "$work/out-before"
    measure "$current_bin" "$program" "$work/now" "$work/out-now"
  done
  now_s=$(cut -d' ' -f1 "$work/now" | median)
  now_kb=$(cut -d' ' -f2 "$work/now" | median)
  if [ -n "$baseline_bin" ]; then
    before_s=$(cut -d' ' -f1 "$work/before" | median)
    before_kb=$(cut -d' ' -f2 "$work/before" | median)
    same=yes
    diff -r -q "$work/out-before" "$work/out-now" >/dev/null || same=NO
    awk -v p="$program" -v b="$before_s" -v n="$now_s" -v bk="$before_kb" -v nk="$now_kb" -v s="$same" \
      'BEGIN { printf "| `%s` | %.3f s | %.3f s | %.1f× | %.1f MB | %.1f MB | %s |\n", p, b, n, b / n, bk / 1024, nk / 1024, s }'
  else
    awk -v p="$program" -v n="$now_s" -v nk="$now_kb" \
      'BEGIN { printf "| `%s` | %.3f s | %.1f MB |\n", p, n, nk / 1024 }'
  fi
done
