#!/usr/bin/env bash
# The replica study shown in the README: how far the estimates spread from
# seed to seed, and whether the jackknife error and the bootstrap interval
# say so honestly, with nearly independent samples (K = 1000 updates between
# samples) and with strongly correlated ones (K = 1); and, for uniform Monte
# Carlo, the spread against sigma/sqrt(N).
#
# usage: scripts/ensemble-study.sh [--docs] [FOLDER]
#   Runs the five studies into FOLDER (default output/ensemble), one
#   sub-folder each with the replica tables and aggregate.dat, draws one
#   figure per study as FOLDER/ensemble_<study>.png, and prints the number of
#   replicas and the time of each study. --docs also copies the figures to
#   docs/. A study that was interrupted resumes where it stopped.
#
# The replica counts and the rows can be changed for a quicker look, e.g.
#   JACKKNIFE_REPLICAS=100 BOOTSTRAP_REPLICAS=20 ROWS=1000 scripts/ensemble-study.sh
# (ROWS, the --rows of every study; by default each program's own.)
# SUITE_BUILD_DIR=<build folder> skips the build, as in run-experiments.sh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
docs=0
if [ "${1:-}" = --docs ]; then
  docs=1
  shift
fi
out=$(mkdir -p "${1:-$root/output/ensemble}" && cd "${1:-$root/output/ensemble}" && pwd)

jackknife_replicas=${JACKKNIFE_REPLICAS:-1000}
bootstrap_replicas=${BOOTSTRAP_REPLICAS:-200}
uniform_replicas=${UNIFORM_REPLICAS:-1000}
rows=${ROWS:+--rows $ROWS}

source "$root/scripts/suite-build.sh"
use_suite_build ensemble-study "$out/build.log"

# study name, replicas, program, the program's options
studies=(
  "metropolis_jackknife_K1000 $jackknife_replicas metropolis_jackknife --updates-per-sample 1000"
  "metropolis_jackknife_K1 $jackknife_replicas metropolis_jackknife --updates-per-sample 1"
  "metropolis_bootstrap_K1000 $bootstrap_replicas metropolis_bootstrap --updates-per-sample 1000"
  "metropolis_bootstrap_K1 $bootstrap_replicas metropolis_bootstrap --updates-per-sample 1"
  "montecarlo3d $uniform_replicas montecarlo3d"
)

start_all=$(date +%s.%N)
for study in "${studies[@]}"; do
  read -r name replicas program options <<<"$study"
  # shellcheck disable=SC2086 # the options are words
  timed_study "$name" "$replicas" "$program" --replicas "$replicas" --dir "$out/$name" $options $rows
done
echo "all studies: $(seconds_since "$start_all") s on $(nproc) cores"

if ! command -v gnuplot >/dev/null 2>&1; then
  echo "figures skipped: gnuplot is not installed (the Debian package gnuplot-nox brings it)"
  exit 0
fi
for study in "${studies[@]}"; do
  read -r name _ <<<"$study"
  SUITE_BUILD_DIR="$build" "$root/scripts/ensemble-figure.sh" "$out/$name" "$out/ensemble_$name.png" >/dev/null
done
echo "figures: $out/ensemble_*.png"
if [ "$docs" = 1 ]; then
  cp "$out"/ensemble_*.png "$root/docs/"
  echo "copied to $root/docs/"
fi
