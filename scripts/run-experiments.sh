#!/usr/bin/env bash
# Builds the suite in its Release configuration and runs every experiment,
# leaving all tables in one output folder (default: output/ in the checkout;
# a folder given as the first argument instead).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mkdir -p "${1:-$root/output}" && cd "${1:-$root/output}" && pwd)
log="$out/build.log"

echo "building the suite (log: $log)"
if ! { cmake --preset release -S "$root" && cmake --build --preset release; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "run-experiments: the build failed; see $log" >&2
  exit 1
fi
bin="$root/build/release/programs"

# Each program writes its table into the working directory; quadrature
# prints its table, which is kept as quadrature.dat.
cd "$out"
for program in montecarlo1d montecarlo3d montecarlo3d_weighted quadrature \
               metropolis metropolis_jackknife metropolis_bootstrap; do
  start=$(date +%s.%N)
  if [ "$program" = quadrature ]; then
    "$bin/$program" >quadrature.dat || { echo "run-experiments: $program failed" >&2; exit 1; }
  else
    "$bin/$program" >/dev/null || { echo "run-experiments: $program failed" >&2; exit 1; }
  fi
  end=$(date +%s.%N)
  printf '%-22s %6.2f s\n' "$program" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
done

echo "tables written to $out"
