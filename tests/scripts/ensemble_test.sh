#!/usr/bin/env bash
# Tests the ensemble command end to end with the real programs beside it, on
# studies small enough to take a second (50 rows, 10 updates per sample).
#
# usage: ensemble_test.sh plan_collect|resume|failure|bad_arguments|standins|collect_rules|figures ENSEMBLE
#   plan_collect   a plan run through xargs -P 2, then collect, gives the
#                  built-in runner's aggregate, coverage and tables, and
#                  replica r's table is what the program writes with --seed
#                  r; `ensemble coverage` on the same folder runs nothing
#                  more, says where coverage.tsv is, and without gnuplot
#                  skips its figure with one line and status 0;
#   resume         a rerun redoes exactly the replicas whose tables were cut
#                  short or never renamed, and ends with the same aggregate;
#   failure        a replica that cannot write stops the study with one line
#                  naming it, status 1 and no aggregate;
#   bad_arguments  each kind of mistake (coverage of a program without an
#                  error bar too): one line, status 2, no folder made;
#                  --jobs and --rows accepted up to their limits, not beyond;
#   standins       with stand-ins for the program beside a copy of ensemble:
#                  a table short of a row fails the study, no replica starts
#                  after a failure, the failure quotes the program's line,
#                  a second run on a locked folder is refused at once, the
#                  progress line shows on a terminal only, and a plan line
#                  keeps no table of a replica that failed;
#   collect_rules  collect refuses names that are not canonical, a folder
#                  in a table's place and an estimate that is no number,
#                  names a missing replica (the last one too, by the count
#                  of study.txt), keeps the old aggregate when it cannot
#                  write (a file-size limit) only if it is still the
#                  folder's, leaves no lock in a folder without a study, and
#                  a smaller --replicas changes nothing;
#   figures        the README's figure of one's own study, its coverage
#                  figure by `ensemble coverage`, and the five
#                  figures of ensemble-study.sh, on tiny studies (status 77,
#                  skipped, without gnuplot).
set -euo pipefail

mode=${1:?mode}
source "$(dirname "${BASH_SOURCE[0]}")/check.sh"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ensemble=$(cd "$(dirname "${2:?path of the built ensemble}")" && pwd)/$(basename "$2")
programs=$(dirname "$ensemble")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

lines() { wc -l <"$1" | tr -d ' '; }

program=metropolis_jackknife
options=(--rows 50 --updates-per-sample 10)

case $mode in
plan_collect)
  "$ensemble" $program --replicas 6 --jobs 2 --dir runner "${options[@]}" >/dev/null 2>runner.err
  "$ensemble" plan $program --replicas 6 --dir planned "${options[@]}" >plan.txt
  check "the plan has one command per replica" [ "$(lines plan.txt)" = 6 ]
  xargs -d '\n' -P 2 -n 1 sh -c <plan.txt
  "$ensemble" collect planned >/dev/null
  check "collect after the plan gives the runner's aggregate" cmp runner/aggregate.dat planned/aggregate.dat
  check "and its coverage" cmp runner/coverage.tsv planned/coverage.tsv
  for seed in 1 2 3 4 5 6; do
    check "replica $seed's table is the same either way" cmp runner/$program-$seed.dat planned/$program-$seed.dat
  done
  "$programs/$program" --seed 4 "${options[@]}" --output direct.dat >/dev/null
  check "replica 4's table is the program's with --seed 4" cmp direct.dat runner/$program-4.dat
  check "the aggregate has a row per checkpoint" [ "$(grep -vc "^#" runner/aggregate.dat)" = 15 ]
  check "the last checkpoint is the last row" [ "$(tail -n 1 runner/aggregate.dat | cut -f 1)" = 50 ]
  check "nothing unfinished is left behind" [ -z "$(find runner planned -name '*.part*')" ]
  status=0
  PATH=$work/nothing "$ensemble" coverage $program --replicas 6 --dir runner "${options[@]}" >out.txt 2>err.txt ||
    status=$?
  check "coverage without gnuplot: status 0" [ "$status" = 0 ]
  check "having run nothing more" grep -q ': 0 to run' err.txt
  check "saying where the coverage is" grep -q 'coverage of each error bar is in runner/coverage.tsv' out.txt
  check "and that the figure was skipped" grep -q 'runner/coverage.png not drawn: gnuplot is not on PATH' err.txt
  check "coverage.tsv is the same" cmp runner/coverage.tsv planned/coverage.tsv
  check "under its header" [ "$(head -n 1 runner/coverage.tsv | tr '\t' ' ')" = \
    "method N replicas coverage wilson_low wilson_high mean_error_over_spread mean_error spread rms_error" ]
  check "a row per checkpoint with a jackknife error (none at N = 1)" \
    [ "$(grep -c '^jackknife' runner/coverage.tsv)" = 14 ]
  ;;
resume)
  "$ensemble" $program --replicas 4 --dir study "${options[@]}" >/dev/null 2>&1
  cp -r study first
  # Replica 2's table cut inside a row; replica 3 interrupted before its
  # rename; replica 1 is whole and must not be run again.
  head -c 700 first/$program-2.dat >study/$program-2.dat
  mv study/$program-3.dat study/$program-3.dat.part
  head -c 300 first/$program-3.dat >study/$program-3.dat.part
  touch -d '2001-01-01' study/$program-1.dat
  "$ensemble" $program --replicas 4 --dir study "${options[@]}" >/dev/null 2>resume.err
  check "the rerun runs the two incomplete replicas" grep -q ': 2 to run' resume.err
  check "the whole table was left alone" [ "$(stat -c %Y study/$program-1.dat)" = "$(date -d 2001-01-01 +%s)" ]
  for seed in 2 3; do
    check "replica $seed is whole again" cmp first/$program-$seed.dat study/$program-$seed.dat
  done
  check "the aggregate is the uninterrupted one" cmp first/aggregate.dat study/aggregate.dat
  # A cut table that someone collects is refused, naming it.
  head -c 700 first/$program-2.dat >first/$program-2.dat.cut && mv first/$program-2.dat.cut first/$program-2.dat
  status=0
  "$ensemble" collect first >/dev/null 2>collect.err || status=$?
  check "collect refuses a cut table by name" grep -q "$program-2.dat: the table is cut short" collect.err
  check "with status 1" [ "$status" = 1 ]
  ;;
failure)
  mkdir -p study/$program-2.dat.part  # the program cannot write over a folder
  echo stale >study/aggregate.dat
  status=0
  "$ensemble" $program --replicas 3 --jobs 1 --dir study "${options[@]}" >out.txt 2>err.txt || status=$?
  check "the study fails with status 1" [ "$status" = 1 ]
  check "one line names replica 2 and the program's reason" \
    [ "$(grep -c 'replica 2 failed (exit status 1): metropolis_jackknife: cannot create' err.txt)" = 1 ]
  check "no other replica is blamed" [ "$(grep -c 'failed' err.txt)" = 1 ]
  check "no aggregate is left as if complete" [ ! -e study/aggregate.dat ]
  ;;
bad_arguments)
  echo file >a-file
  expect_usage_error() {  # expect_usage_error WHAT ARGUMENTS...
    local what=$1 status=0
    shift
    "$ensemble" "$@" >out.txt 2>err.txt || status=$?
    check "$what: status 2" [ "$status" = 2 ]
    check "$what: one line on standard error" [ "$(lines err.txt)" = 1 ]
    check "$what: nothing on standard output" [ ! -s out.txt ]
  }
  expect_usage_error "unknown program" nosuch --replicas 2
  expect_usage_error "a program that draws nothing" quadrature --replicas 2
  expect_usage_error "coverage of a program without an error bar" coverage montecarlo3d --replicas 2
  check "naming it" grep -q 'montecarlo3d gives no error bar of its own' err.txt
  expect_usage_error "no replicas" $program --replicas 0
  expect_usage_error "not a number" $program --replicas 2x
  expect_usage_error "an option the program lacks" montecarlo3d --replicas 2 --updates-per-sample 5
  expect_usage_error "a folder that cannot be made" $program --replicas 2 --dir a-file/study
  expect_usage_error "an empty folder name" $program --replicas 2 --dir ''
  expect_usage_error "an option twice" $program --replicas 2 --replicas 3
  check "in the programs' words" grep -q -- '--replicas is given more than once' err.txt
  expect_usage_error "--version with a bad option" --version --bogus
  expect_usage_error "no jobs" $program --replicas 2 --jobs 0 "${options[@]}"
  expect_usage_error "more jobs than the limit" $program --replicas 2 --jobs 65 "${options[@]}"
  check "naming the limit" grep -q -- '--jobs: 65 is out of range (1 to 64)' err.txt
  max_rows=$(awk -F '\t' -v p=$program '$1 == p { print $5 }' "$root/experiments.tsv")
  expect_usage_error "more rows than the program writes" plan $program --replicas 1 --rows $((max_rows + 1))
  check "no folder made for a mistake" [ -z "$(find . -mindepth 1 -type d)" ]
  check "--rows at the program's most is a plan" "$ensemble" plan $program --replicas 1 --rows "$max_rows" \
    --dir most >/dev/null
  check "--jobs 64 is a run" "$ensemble" $program --replicas 1 --jobs 64 --dir jobs "${options[@]}" >/dev/null 2>&1
  "$ensemble" plan $program --replicas 1 --dir study "${options[@]}" >/dev/null
  expect_usage_error "a folder of another study" $program --replicas 1 --dir study --rows 40
  ;;
standins)
  # metropolis_jackknife as a script beside a copy of ensemble: it logs its
  # start, writes --rows rows, and misbehaves as STANDIN says.
  mkdir bin
  cp "$ensemble" bin/ensemble
  cat >bin/$program <<'SH'
#!/bin/sh
while [ $# -gt 0 ]; do
  case $1 in --seed) seed=$2 ;; --rows) rows=$2 ;; --output) out=$2 ;; esac
  shift 2
done
echo "$seed" >>"$STANDIN_LOG"
case $STANDIN:$seed in
  short:1) rows=$((rows - 1)) ;;
  block:1) echo "metropolis_jackknife: cannot write $out: No space left on device" >&2; exit 1 ;;
  block:2 | slow:*) sleep 1 ;;
esac
i=1
while [ "$i" -le "$rows" ]; do printf '%d\t0.5\t0.1\n' "$i"; i=$((i + 1)); done >"$out"
# A whole table, and a failure all the same.
[ "$STANDIN:$seed" != late:1 ] || exit 3
SH
  chmod +x bin/$program
  export STANDIN_LOG=$work/started.txt
  status=0
  STANDIN=short bin/ensemble $program --replicas 2 --jobs 1 --rows 50 --dir short >/dev/null 2>err.txt || status=$?
  check "a table of 49 rows fails the study" [ "$status" = 1 ]
  check "naming its replica" grep -q 'replica 1 failed (its table is not 50 whole rows)' err.txt
  check "leaving no table and no .part for it" [ -z "$(find short -name "$program-1.dat*")" ]
  : >"$STANDIN_LOG"
  status=0
  STANDIN=block bin/ensemble $program --replicas 4 --jobs 2 --rows 50 --dir block >/dev/null 2>err.txt || status=$?
  check "a failed replica fails the study" [ "$status" = 1 ]
  check "no replica starts after the failure" [ "$(sort "$STANDIN_LOG" | tr '\n' ' ')" = "1 2 " ]
  check "the one running finishes and is kept" [ -f block/$program-2.dat ]
  check "the failure quotes the program's own line" \
    grep -q "replica 1 failed (exit status 1): $program: cannot write block/$program-1.dat.part: No space left" err.txt
  STANDIN=slow bin/ensemble $program --replicas 2 --rows 50 --dir locked >/dev/null 2>locked.err &
  first=$!
  for _ in $(seq 50); do [ -s locked/study.lock ] && break; sleep 0.1; done
  status=0
  STANDIN=slow bin/ensemble $program --replicas 2 --rows 50 --dir locked >/dev/null 2>err.txt || status=$?
  check "a second run on a locked folder is refused with status 2" [ "$status" = 2 ]
  check "naming the folder and the holder" grep -q "locked is in use by process $first" err.txt
  wait "$first"
  check "the first run is not disturbed" [ -f locked/aggregate.dat ]
  check "a study of two seconds shows no progress into a file" [ "$(grep -c ' done, ' locked.err)" = 0 ]
  # On a terminal (script(1) gives it one) the line shows, rewritten.
  script -qec "STANDIN=slow bin/ensemble $program --replicas 2 --jobs 1 --rows 50 --dir shown" /dev/null >terminal.txt
  check "the progress line shows on a terminal" grep -qE $'\rensemble: 2 of 2 replicas done, [0-9]+ s elapsed' terminal.txt
  bin/ensemble plan $program --replicas 2 --rows 50 --dir planned >plan.txt
  status=0
  STANDIN=late sh -c "$(head -n 1 plan.txt)" || status=$?
  check "a plan line of a failed replica fails" [ "$status" != 0 ]
  check "and keeps no table for it" [ ! -e planned/$program-1.dat ]
  rm bin/$program
  status=0
  PATH=/usr/bin:/bin bin/ensemble $program --replicas 2 --dir missing >/dev/null 2>err.txt || status=$?
  check "a missing program fails" [ "$status" = 1 ]
  check "before a folder is made" [ ! -e missing ]
  ;;
collect_rules)
  "$ensemble" $program --replicas 3 --dir study "${options[@]}" >/dev/null 2>&1
  cp study/aggregate.dat aggregate.before
  collect_fails() {  # collect_fails WHAT PATTERN
    local status=0
    "$ensemble" collect study >/dev/null 2>err.txt || status=$?
    check "$1: status 1" [ "$status" = 1 ]
    check "$1: one line naming it" grep -q "$2" err.txt
    check "$1: no aggregate left" [ ! -e study/aggregate.dat ]
    check "$1: nor coverage" [ ! -e study/coverage.tsv ]
  }
  cp study/$program-1.dat study/$program-01.dat
  collect_fails "a leading zero" "$program-01.dat is not named as a replica table"
  mv study/$program-01.dat study/$program-007.dat
  collect_fails "a copy named for seed 7" "$program-007.dat is not named"
  rm study/$program-007.dat
  mv study/$program-2.dat held.dat
  collect_fails "a missing seed" "replica 2 is missing"
  mv held.dat study/$program-2.dat
  mv study/$program-3.dat held.dat
  collect_fails "the last seed missing, by the count of study.txt" "replica 3 is missing from study (1 of 3)"
  mv held.dat study/$program-3.dat
  mkdir study/$program-4.dat
  collect_fails "a folder in a table's place" "$program-4.dat is not a file"
  rmdir study/$program-4.dat
  cp study/$program-2.dat held.dat
  sed -i '10s/\t[^\t]*/\t-nan/' study/$program-2.dat
  collect_fails "an estimate that is no number" "$program-2.dat: line 10: the estimate is nan"
  mv held.dat study/$program-2.dat
  mkdir empty
  status=0
  "$ensemble" collect empty >/dev/null 2>err.txt || status=$?
  check "a folder without tables: status 1" [ "$status" = 1 ]
  check "naming it" grep -q "no replica tables .* in empty" err.txt
  check "and leaving nothing in it" [ -z "$(ls -A empty)" ]
  "$ensemble" collect study >/dev/null
  check "collect gives the run's aggregate" cmp aggregate.before study/aggregate.dat
  status=0
  (ulimit -f 1 && trap '' XFSZ && exec "$ensemble" collect study) >/dev/null 2>err.txt || status=$?
  check "collect under a file-size limit fails" [ "$status" = 1 ]
  check "with the system's reason" grep -q 'File too large' err.txt
  check "keeping the old aggregate byte for byte" cmp aggregate.before study/aggregate.dat
  check "and no .part" [ -z "$(find study -name '*.part')" ]
  "$ensemble" $program --replicas 1 --dir study "${options[@]}" >/dev/null 2>err.txt
  check "a smaller --replicas says the study keeps its count" grep -q 'holds a study of 3 replicas' err.txt
  check "and gives collect's aggregate" cmp aggregate.before study/aggregate.dat
  # A fourth replica: the aggregate of three is no longer the folder's, and
  # a failed write must not leave it.
  "$ensemble" plan $program --replicas 4 --dir study "${options[@]}" >/dev/null
  "$programs/$program" --seed 4 "${options[@]}" --output study/$program-4.dat >/dev/null
  status=0
  (ulimit -f 1 && trap '' XFSZ && exec "$ensemble" collect study) >/dev/null 2>err.txt || status=$?
  check "a failed write of a changed aggregate fails" [ "$status" = 1 ]
  check "and leaves no aggregate of the three" [ ! -e study/aggregate.dat ]
  ;;
figures)
  command -v gnuplot >/dev/null 2>&1 || { echo "gnuplot is not installed: skipped"; exit 77; }
  export SUITE_BUILD_DIR=$(dirname "$programs") PATH="$programs:$PATH"
  # As the README shows it, on a small study.
  ensemble $program --replicas 4 --dir k1000 "${options[@]}" >/dev/null 2>&1
  check "ensemble-figure.sh draws the README's study" "$root/scripts/ensemble-figure.sh" k1000
  check "into DIR/ensemble.png" [ -s k1000/ensemble.png ]
  check "ensemble coverage draws its figure" ensemble coverage $program --replicas 4 --dir k1000 "${options[@]}" \
    >/dev/null 2>&1
  check "into DIR/coverage.png" [ -s k1000/coverage.png ]
  check "ensemble-study.sh runs its studies and draws them" env JACKKNIFE_REPLICAS=2 BOOTSTRAP_REPLICAS=2 \
    UNIFORM_REPLICAS=2 ROWS=50 "$root/scripts/ensemble-study.sh" all >/dev/null 2>&1
  check "five figures" [ "$(ls all/ensemble_*.png | wc -l)" = 5 ]
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed in mode $mode" >&2
  exit 1
fi
echo "ensemble $mode: all checks passed"
