#!/usr/bin/env bash
# Whole-program benchmark: runs each of the seven programs several times and
# prints its median wall time and peak memory (the kernel's maximum resident
# set size of the process, as /usr/bin/time -v reports it). Beside it, in
# the same interleaved rounds, so that ratios are measured under the same
# load:
#   - the straightforward program (bench/plain/, plain printf, g++ -O2) of
#     each of the four small ones, which must write the same table;
#   - with --baseline REV, revision REV of this repository, built alike;
#   - with --ensemble R, a study `ensemble montecarlo1d --replicas R`, as
#     replicas per second.
# Two start-up rows time `montecarlo1d --rows 1` and `quadrature --rows 1`.
# --programs limits the run to some programs; --avx2 builds both revisions
# without their AVX-512 targets (SUITE_SIMD_DISABLED_TARGETS), to measure
# the AVX2 path on a processor that has AVX-512; the header names the
# instruction set each build runs.
#
#     bench/compare-programs.sh [--runs N] [--baseline REV] [--cxx COMPILER] [--programs "P ..."] [--avx2]
#                               [--ensemble R]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=5
baseline=""
cxx=${CXX:-c++}
only=""
path=""
replicas=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --baseline) baseline=$2; shift 2 ;;
    --cxx) cxx=$2; shift 2 ;;
    --programs) only=$2; shift 2 ;;
    --avx2) path=-avx2; shift ;;
    --ensemble) replicas=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--baseline REV] [--cxx COMPILER] [--programs \"P ...\"] [--avx2] [--ensemble R]" >&2
       exit 2 ;;
  esac
done

source "$root/scripts/experiments.sh"
programs=("${experiment_names[@]}")
if [ -n "$only" ]; then
  read -r -a programs <<<"$only"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A Release build with the default (portable) flags, programs only.
build() {  # source-dir build-dir
  local narrower=()
  [ -z "$path" ] || narrower=(-DSUITE_SIMD_DISABLED_TARGETS="HWY_AVX3|HWY_AVX3_DL")
  local targets=("${programs[@]}" simd_target run_timer)
  [ "$replicas" -eq 0 ] || targets+=(ensemble montecarlo1d)
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" "${narrower[@]}" \
        -DBUILD_TESTING=OFF -DSUITE_BUILD_BENCHMARKS=OFF >"$work/build.log" 2>&1 &&
  cmake --build "$2" -j 2 --target "${targets[@]}" >>"$work/build.log" 2>&1 ||
    { cat "$work/build.log" >&2; echo "compare-programs: build of $1 failed" >&2; exit 1; }
}

echo "building the working tree" >&2
build "$root" "$root/build/bench-current$path"
current_bin="$root/build/bench-current$path/programs"
timer="$root/build/bench-current$path/bench/run_timer"
current_simd=$("$root/build/bench-current$path/tools/simd_target")

baseline_bin=""
if [ -n "$baseline" ]; then
  rev=$(git -C "$root" rev-parse --short "$baseline")
  echo "building baseline revision $rev" >&2
  # The revision's sources stay beside its build, so a later comparison
  # against the same revision reuses both.
  baseline_dir="$root/build/bench-baseline-$rev$path"
  rm -rf "$baseline_dir/src" && mkdir -p "$baseline_dir/src"
  git -C "$root" archive "$rev" | tar -x -C "$baseline_dir/src"
  build "$baseline_dir/src" "$baseline_dir/build"
  baseline_bin="$baseline_dir/build/programs"
  baseline_simd=$("$baseline_dir/build/tools/simd_target")
  if [ "$baseline_simd" != "$current_simd" ]; then
    echo "compare-programs: the baseline runs $baseline_simd, the working tree $current_simd" >&2
    exit 1
  fi
fi

# The straightforward programs, built as their authors would.
plain_bin="$work/plain-bin"
mkdir -p "$plain_bin"
for source in "$root"/bench/plain/plain_*.cpp; do
  name=$(basename "$source" .cpp)
  name=${name#plain_}
  g++ -O2 -ffp-contract=off -o "$plain_bin/$name" "$source"
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One run in a fresh folder; appends "seconds kilobytes" to the given file.
# The folder keeps the tables and standard output for the comparison.
measure() {  # results-file folder command...
  local results=$1 folder=$2
  shift 2
  rm -rf "$folder" && mkdir -p "$folder"
  "$timer" "$folder" "$@" >>"$results"
}

# The table a run left: its file, or its standard output.
table_of() {  # folder program
  local i
  for i in "${!experiment_names[@]}"; do
    if [ "${experiment_names[$i]}" = "$2" ]; then
      if [ "${experiment_outputs[$i]}" = stdout ]; then cat "$1/stdout"; else cat "$1/${experiment_tables[$i]}"; fi
    fi
  done
}

ms() { awk -v s="$1" 'BEGIN { printf (s < 0.1 ? "%.2f ms" : "%.0f ms"), s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

machine=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
echo "## $(date -u +%Y-%m-%d), $machine, $(nproc) cores, $runs interleaved runs each, medians, instruction set $current_simd"
echo "Load while measuring: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
echo
if [ -n "$baseline_bin" ]; then
  echo "| run | straightforward | baseline ($rev) | now | straightforward / now | baseline / now | peak memory: straightforward, baseline, now | same tables |"
  echo "|---|---:|---:|---:|---:|---:|---:|---|"
else
  echo "| run | straightforward | now | straightforward / now | peak memory: straightforward, now | same tables |"
  echo "|---|---:|---:|---:|---:|---|"
fi
runs_to_time=()
for program in "${programs[@]}"; do runs_to_time+=("$program"); done
for program in montecarlo1d quadrature; do
  if printf '%s\n' "${programs[@]}" | grep -qx "$program"; then runs_to_time+=("$program --rows 1"); fi
done
for run in "${runs_to_time[@]}"; do
  read -r -a words <<<"$run"
  program=${words[0]}
  arguments=("${words[@]:1}")
  plain=""
  [ ${#arguments[@]} -eq 0 ] && [ -x "$plain_bin/$program" ] && plain="$plain_bin/$program"
  : >"$work/now"; : >"$work/before"; : >"$work/plain"
  for ((r = 0; r < runs; r++)); do
    [ -z "$plain" ] || measure "$work/plain" "$work/out-plain" "$plain"
    [ -z "$baseline_bin" ] || measure "$work/before" "$work/out-before" "$baseline_bin/$program" ${arguments[@]+"${arguments[@]}"}
    measure "$work/now" "$work/out-now" "$current_bin/$program" ${arguments[@]+"${arguments[@]}"}
  done
  now_s=$(cut -d' ' -f1 "$work/now" | median)
  now_kb=$(cut -d' ' -f2 "$work/now" | median)
  same=yes
  plain_cells="– | –"
  plain_kb="–"
  if [ -n "$plain" ]; then
    plain_s=$(cut -d' ' -f1 "$work/plain" | median)
    plain_kb=$(mb "$(cut -d' ' -f2 "$work/plain" | median)")
    plain_cells="$(ms "$plain_s") | $(ratio "$plain_s" "$now_s")×"
    cmp -s <(table_of "$work/out-plain" "$program") <(table_of "$work/out-now" "$program") || same=NO
  fi
  plain_time=${plain_cells%% | *}
  plain_ratio=${plain_cells##* | }
  if [ -n "$baseline_bin" ]; then
    before_s=$(cut -d' ' -f1 "$work/before" | median)
    before_kb=$(cut -d' ' -f2 "$work/before" | median)
    diff -r -q "$work/out-before" "$work/out-now" >/dev/null || same=NO
    echo "| \`$run\` | $plain_time | $(ms "$before_s") | $(ms "$now_s") | $plain_ratio | $(ratio "$before_s" "$now_s")× |" \
         "$plain_kb, $(mb "$before_kb"), $(mb "$now_kb") MB | $same |"
  else
    echo "| \`$run\` | $plain_time | $(ms "$now_s") | $plain_ratio | $plain_kb, $(mb "$now_kb") MB | $same |"
  fi
done

if [ "$replicas" -gt 0 ]; then
  echo
  echo "| \`ensemble montecarlo1d --replicas $replicas\` | replicas per second | peak memory | same aggregate |"
  echo "|---|---:|---:|---|"
  : >"$work/now"; : >"$work/before"
  for ((r = 0; r < runs; r++)); do
    [ -z "$baseline_bin" ] ||
      measure "$work/before" "$work/ens-before" "$baseline_bin/ensemble" montecarlo1d --replicas "$replicas" --dir study
    measure "$work/now" "$work/ens-now" "$current_bin/ensemble" montecarlo1d --replicas "$replicas" --dir study
  done
  rate() { awk -v n="$replicas" -v s="$1" 'BEGIN { printf "%.0f", n / s }'; }
  now_s=$(cut -d' ' -f1 "$work/now" | median)
  if [ -n "$baseline_bin" ]; then
    before_s=$(cut -d' ' -f1 "$work/before" | median)
    same=yes
    cmp -s "$work/ens-before/study/aggregate.dat" "$work/ens-now/study/aggregate.dat" || same=NO
    echo "| baseline ($rev) | $(rate "$before_s") | $(mb "$(cut -d' ' -f2 "$work/before" | median)") MB | |"
    echo "| now | $(rate "$now_s") | $(mb "$(cut -d' ' -f2 "$work/now" | median)") MB | $same |"
  else
    echo "| now | $(rate "$now_s") | $(mb "$(cut -d' ' -f2 "$work/now" | median)") MB | |"
  fi
fi
