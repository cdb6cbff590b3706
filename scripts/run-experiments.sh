#!/usr/bin/env bash
# Builds the suite in its Release configuration, runs every experiment, and
# draws the figures and the summary, leaving everything in one output folder
# (default: output/ in the checkout; a folder given as the first argument
# instead).
#
# SUITE_BUILD_DIR=<build folder> skips the build and takes the programs from
# <build folder>/programs and the summary tool from <build folder>/tools.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mkdir -p "${1:-$root/output}" && cd "${1:-$root/output}" && pwd)

source "$root/scripts/suite-build.sh"
if [ -n "${SUITE_BUILD_DIR:-}" ]; then
  use_suite_build run-experiments "$out/build.log"
  echo "using the programs built in $build"
else
  echo "building the suite (log: $out/build.log)"
  use_suite_build run-experiments "$out/build.log"
  # Whether the Python module was built, and for which interpreter, or why not.
  sed -n 's/^-- \(Python module: .*\)/\1/p' "$out/build.log" | head -n 1
fi
# The bulk loops run on the widest instruction set the processor offers.
if [ -x "$build/tools/simd_target" ]; then
  echo "instruction set of the kernel: $("$build/tools/simd_target")"
fi

# The experiments of experiments.tsv, each writing its table into the output
# folder under the list's name (quadrature, which prints its table by
# default, too). A program's own error message reaches standard error as it
# is; the run stops at the first failure.
source "$root/scripts/experiments.sh"
cd "$out"
for i in "${!experiment_names[@]}"; do
  program=${experiment_names[$i]}
  start=$(date +%s.%N)
  status=0
  "$build/programs/$program" --output "${experiment_tables[$i]}" >/dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "run-experiments: $program failed (exit status $status); stopping" >&2
    exit "$status"
  fi
  end=$(date +%s.%N)
  printf '%-22s %6.2f s\n' "$program" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
done
echo "tables written to $out"

SUITE_BUILD_DIR="$build" "$root/scripts/draw-figures.sh" "$out"
