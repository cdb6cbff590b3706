#!/usr/bin/env bash
# Which error bar to trust: replica studies of the chains whose answers are
# known (AR(1) at phi = 0.5, 0.9, 0.99, the Metropolis chain at K = 1 and
# 1000 updates a sample), each counting how often every error method of the
# suite covers the exact value.
#
# usage: scripts/coverage-study.sh [--docs] [FOLDER]
#   Runs `ensemble coverage` for each chain into FOLDER (default
#   output/coverage), one sub-folder each with its replica tables,
#   coverage.tsv and coverage.png, then writes FOLDER/coverage.md, the
#   table at a few N per chain with the figures beside it as
#   coverage_<chain>.png, and prints the time of each study. --docs also
#   copies both to docs/. An interrupted study resumes where it stopped.
#
# REPLICAS (default 2000) and JOBS (default: every core) change the size;
# SUITE_BUILD_DIR=<build folder> skips the build, as in run-experiments.sh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
docs=0
if [ "${1:-}" = --docs ]; then
  docs=1
  shift
fi
out=$(mkdir -p "${1:-$root/output/coverage}" && cd "${1:-$root/output/coverage}" && pwd)
replicas=${REPLICAS:-2000}
jobs=${JOBS:+--jobs $JOBS}

source "$root/scripts/suite-build.sh"
use_suite_build coverage-study "$out/build.log"

# chain, tau_int (exact for AR(1); the Gamma method's for the Metropolis
# chain, read from its tables below), the N shown in the table, program and
# options. The AR(1) chains run to 2^17 = 131072 >= 1000 tau_int at phi =
# 0.99; the Metropolis chain forgets within a sample or two.
chains=(
  "ar1_phi05    1.5    256,4096,131072 ar1_phi05 --rows 17"
  "ar1_phi09    9.5    256,4096,131072 ar1_phi09 --rows 17"
  "ar1_phi099   99.5   256,4096,131072 ar1_phi099 --rows 17"
  "metropolis_K1    -  100,1000,100000 metropolis_errors --updates-per-sample 1 --rows 5"
  "metropolis_K1000 -  100,1000,10000  metropolis_errors --updates-per-sample 1000 --rows 4"
)

start_all=$(date +%s.%N)
for chain in "${chains[@]}"; do
  read -r name _ _ program options <<<"$chain"
  # shellcheck disable=SC2086 # the options are words
  timed_study "$name" "$replicas" coverage "$program" --replicas "$replicas" --dir "$out/$name" $options $jobs
done
echo "all studies: $(seconds_since "$start_all") s on $(nproc) cores"

# The mean of the Gamma method's tau_int at the last checkpoint, over the
# replicas: the Metropolis chain's, which has no closed form.
measured_tau() {
  awk -F'\t' 'FNR == 1 && NR > 1 { s += last; n++ } { last = $NF } END { s += last; n++; printf "%.2f", s / n }' \
    "$1"/*-[0-9]*.dat
}

{
  echo "# Which error bar to trust: the measured coverage"
  echo
  echo "Part of the [Convergence suite](../README.md); made by \`scripts/coverage-study.sh --docs\`."
  echo
  echo "Coverage of the nominal 68.3 % by each error bar of the mean, over $replicas replicas per chain, with the"
  echo "95 % Wilson band of the measured coverage, and the mean stated error over the actual spread of the"
  echo "replicas' means (1 is honest). The ten-block jackknife's Student-t level is 65.7 %."
  for chain in "${chains[@]}"; do
    read -r name tau shown _ <<<"$chain"
    if [ "$tau" = - ]; then
      tau="$(measured_tau "$out/$name") (measured)"
    fi
    echo
    echo "**$name** (τ_int = $tau)"
    echo
    awk -F'\t' -v shown=",$shown," '
      NR == 1 { next }
      index(shown, "," $2 ",") > 0 {
        if (!($2 in seen)) { seen[$2] = 1; order[++n] = $2 }
        if (!($1 in known)) { known[$1] = 1; methods[++m] = $1 }
        cell[$1, $2] = sprintf("%.1f %% [%.1f, %.1f], %.2f", 100 * $4, 100 * $5, 100 * $6, $7)
      }
      END {
        printf "| method |"; for (i = 1; i <= n; i++) printf " N = %s |", order[i]; print ""
        printf "|---|"; for (i = 1; i <= n; i++) printf "---|"; print ""
        for (j = 1; j <= m; j++) {
          printf "| %s |", methods[j]
          for (i = 1; i <= n; i++) printf " %s |", ((methods[j], order[i]) in cell ? cell[methods[j], order[i]] : "—")
          print ""
        }
      }' "$out/$name/coverage.tsv"
    if [ -f "$out/$name/coverage.png" ]; then
      cp "$out/$name/coverage.png" "$out/coverage_$name.png"
      echo
      echo "![coverage of $name](coverage_$name.png)"
    fi
  done
} >"$out/coverage.md"
echo "table: $out/coverage.md"

if [ "$docs" = 1 ]; then
  cp "$out"/coverage_*.png "$out/coverage.md" "$root/docs/"
  echo "copied to $root/docs/"
fi
