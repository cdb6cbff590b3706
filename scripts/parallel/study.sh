#!/bin/sh
# A replica study run by GNU parallel: plans it, runs the plan's lines, and
# collects.
#
# usage: scripts/parallel/study.sh DIR PROGRAM --replicas R [PROGRAM OPTIONS...]
#   Environment: HOSTS, a file of ssh logins, one a line, "N/" before one to
#   run N at a time there (without it, everything runs on this machine; with
#   it, DIR and the programs must have the same path on every host); JOBS,
#   replicas at once per host (default: one per core, and one for a program
#   that keeps every core busy by itself, such as metropolis_bootstrap);
#   ENSEMBLE, the ensemble command (default: the one on PATH).
# Exits 0 with the aggregate in DIR/aggregate.dat, else with the status of
# the first failure. Run again, it reruns only the replicas whose tables are
# missing.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
ensemble=${ENSEMBLE:-ensemble}
dir=${1:?usage: study.sh DIR PROGRAM --replicas R [OPTIONS...]}
shift
program=${1:?the program}

# The list of experiments says which programs use every core ("all" in its
# cores column); run beside it, the recipe reads it there.
jobs=${JOBS:-}
list="$here/../../experiments.tsv"
if [ -z "$jobs" ]; then
  jobs=100%
  if [ -f "$list" ] && awk -F '\t' -v p="$program" '$1 == p && $10 == "all" { found = 1 } END { exit !found }' "$list"; then
    jobs=1
  fi
fi
echo "parallel: $program, at most $jobs at a time per host" | sed 's/100%/one per core/' >&2

plan=$("$ensemble" plan "$@" --dir "$dir")
printf '%s\n' "$plan" >"$dir/plan.txt"
# --halt soon,fail=1: the first failed replica stops the study, as ensemble's
# own runner.
if [ -n "${HOSTS:-}" ]; then
  parallel --will-cite --jobs "$jobs" --halt soon,fail=1 --sshloginfile "$HOSTS" --workdir . <"$dir/plan.txt"
else
  parallel --will-cite --jobs "$jobs" --halt soon,fail=1 <"$dir/plan.txt"
fi
exec "$ensemble" collect "$dir"
