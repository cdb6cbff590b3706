#!/bin/sh
# A replica study as Slurm job arrays: plans it, submits one task per
# replica, waits, and collects.
#
# usage: scripts/slurm/study.sh DIR PROGRAM --replicas R [PROGRAM OPTIONS...]
#   DIR must be on a file system that every node sees, under the same path,
#   and `ensemble` and the programs must be on PATH there (or give ENSEMBLE).
#   Environment: CPUS_PER_TASK (default 1; metropolis_bootstrap runs a thread
#   per CPU it is given), MAX_RUNNING (tasks at once, default 100), and
#   SBATCH_OPTIONS (more words for sbatch, e.g. "--partition=long").
# Exits 0 with the aggregate in DIR/aggregate.dat; 1 when a task failed,
# naming the failed tasks (run the same command again: it submits only the
# replicas whose tables are missing).
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
# is already whole, so submitting a study again redoes only what is missing.
plan=$("$ensemble" plan "$@" --dir "$dir")
printf '%s\n' "$plan" >"$dir/plan.txt"
total=$(printf '%s\n' "$plan" | wc -l | tr -d ' ')

# One array per thousand plan lines, each task's index counted from its
# array's offset.
jobs=""
offset=0
while [ "$offset" -lt "$total" ]; do
  size=$((total - offset < array_size ? total - offset : array_size))
  # shellcheck disable=SC2086 # SBATCH_OPTIONS are words
  job=$(sbatch --parsable --array="1-$size%$max_running" --cpus-per-task="$cpus" \
    --export=ALL,PLAN_OFFSET="$offset" --output="$dir/slurm-%A_%a.log" ${SBATCH_OPTIONS:-} \
    "$here/study.sbatch" "$dir/plan.txt")
  jobs="$jobs${jobs:+,}${job%%;*}"
  offset=$((offset + size))
done
echo "study.sh: $total replicas submitted as job(s) $jobs" >&2

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
