#!/bin/sh
# A replica study as Slurm job arrays: plans it, submits one task per
# replica whose table is missing, waits, and collects.
#
# usage: scripts/slurm/study.sh DIR PROGRAM --replicas R [PROGRAM OPTIONS...]
#   DIR must be on a file system that every node sees, under the same path,
#   and `ensemble` and the programs must be on PATH there (or give ENSEMBLE).
#   Environment: CPUS_PER_TASK (default 1; metropolis_bootstrap runs a thread
#   per CPU it is given), MAX_RUNNING (tasks at once, default 100), and
#   SBATCH_OPTIONS (more words for sbatch, e.g. "--partition=long").
# Exits 0 with the aggregate in DIR/aggregate.dat; 1 when a task failed,
# naming the failed tasks. Run the same command again: it submits only the
# replicas whose tables are missing (an array of their indices), and when
# none is, says so and collects.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
ensemble=${ENSEMBLE:-ensemble}
dir=${1:?usage: study.sh DIR PROGRAM --replicas R [OPTIONS...]}
shift
cpus=${CPUS_PER_TASK:-1}
max_running=${MAX_RUNNING:-100}
# Slurm's default MaxArraySize takes indexes up to 1000 in one array.
array_size=1000

# The plan: line r runs replica r into DIR, and does nothing when its table
# is already there.
plan=$("$ensemble" plan "$@" --dir "$dir")
printf '%s\n' "$plan" >"$dir/plan.txt"
total=$(printf '%s\n' "$plan" | wc -l | tr -d ' ')
program=$1

# The replicas whose tables are missing, by seed: only those are submitted.
missing=$(r=1; while [ "$r" -le "$total" ]; do
  [ -f "$dir/$program-$r.dat" ] || echo "$r"
  r=$((r + 1))
done)
if [ -z "$missing" ]; then
  echo "study.sh: all $total replicas are in $dir: nothing to submit" >&2
  exec "$ensemble" collect "$dir"
fi

# Indices of one array as Slurm writes them: runs of consecutive numbers as
# first-last, joined by commas (1-6,9,12-13).
ranges() {
  awk 'NR == 1 { first = $1; last = $1; next }
       $1 == last + 1 { last = $1; next }
       { printf "%s%s,", first, (last > first ? "-" last : ""); first = $1; last = $1 }
       END { if (NR > 0) printf "%s%s\n", first, (last > first ? "-" last : "") }'
}

# One array per thousand plan lines, each task's index counted from its
# array's offset, holding the missing replicas among those lines.
jobs=""
submitted=""
offset=0
while [ "$offset" -lt "$total" ]; do
  size=$((total - offset < array_size ? total - offset : array_size))
  seeds=$(printf '%s\n' "$missing" | awk -v low="$offset" -v high="$((offset + size))" '$1 > low && $1 <= high')
  if [ -n "$seeds" ]; then
    # shellcheck disable=SC2086 # SBATCH_OPTIONS are words
    job=$(sbatch --parsable --array="$(printf '%s\n' "$seeds" | awk -v low="$offset" '{ print $1 - low }' | ranges)%$max_running" \
      --cpus-per-task="$cpus" --export=ALL,PLAN_OFFSET="$offset" --output="$dir/slurm-%A_%a.log" \
      ${SBATCH_OPTIONS:-} "$here/study.sbatch" "$dir/plan.txt")
    jobs="$jobs${jobs:+,}${job%%;*}"
    submitted="$submitted${submitted:+,}$(printf '%s\n' "$seeds" | ranges)"
  fi
  offset=$((offset + size))
done
count=$(printf '%s\n' "$missing" | wc -l | tr -d ' ')
echo "study.sh: $count of $total replicas missing, submitted as job(s) $jobs: replicas $submitted" >&2

# Waits by asking squeue each second (sbatch --wait asks ever more rarely:
# after 2, 10, 42, 74 ... s). Slurm keeps a finished task's record for
# MinJobAge (300 s by default), long enough to read its state here.
while :; do
  active=$(squeue --noheader --jobs="$jobs" --states=PENDING,RUNNING,CONFIGURING,COMPLETING,SUSPENDED --format=%i)
  [ -n "$active" ] || break
  sleep 1
done
failed=$(squeue --noheader --jobs="$jobs" --states=all --format='%i %T' | awk '$2 != "COMPLETED"')
if [ -n "$failed" ]; then
  echo "study.sh: tasks that did not complete (task i ran line i of $dir/plan.txt):" >&2
  printf '%s\n' "$failed" | sed 's/^/  /' >&2
  # collect names the replicas that are missing.
  "$ensemble" collect "$dir" >&2 || true
  exit 1
fi
exec "$ensemble" collect "$dir"
