#!/usr/bin/env bash
# Tests scripts/run-experiments.sh (and through it draw-figures.sh, the
# gnuplot scripts and the summary tool) without building or running the real
# programs: stand-ins write small tables of the right shape in a second.
#
# usage: run_experiments_test.sh figures|without_gnuplot|stops_on_failure SUITE_REPORT
#   figures           with gnuplot: a valid PNG per experiment of its intended size,
#                     no gnuplot warnings, the summary written and printed
#                     (exit 77, a skip, when gnuplot is not installed);
#   without_gnuplot   gnuplot hidden from PATH: every table still written,
#                     one line saying the figures were skipped, exit 0;
#   stops_on_failure  a failing program stops the run with its message and
#                     its nonzero status.
set -euo pipefail

mode=${1:?mode}
tool=${2:?path of the built suite_report}
tool=$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$root/tests/scripts/check.sh"

source "$root/scripts/experiments.sh"
programs=("${experiment_names[@]}")
tables=("${experiment_tables[@]}")
# The size each figure script asks for: the style's 1600x700, but for the
# two figures that choose their own.
declare -A sizes=()
for program in "${programs[@]}"; do
  sizes[$program]=1600x700
done
sizes[quadrature]=1100x800
sizes[metropolis]=1800x650

# A build folder whose programs are stand-ins and whose tool is the real one.
fake="$work/build"
mkdir -p "$fake/programs" "$fake/tools"
ln -s "$tool" "$fake/tools/suite_report"
stand_in() {  # stand_in PROGRAM AWK-PROGRAM [DEFAULT-FILE]
  {
    echo '#!/bin/sh'
    # Like the real ones, programs with a file of their own print the
    # generator's notice; quadrature's standard output is its table unless
    # --output names a file.
    if [ -n "${3:-}" ]; then echo 'echo "initializing the Random generator"'; fi
    echo "out=${3:-/dev/stdout}"
    echo 'if [ "${1:-}" = --output ]; then out=$2; fi'
    printf "awk 'BEGIN { pi = atan2(0, -1); %s }' >\"\$out\"\n" "$2"
  } >"$fake/programs/$1"
  chmod +x "$fake/programs/$1"
}
# Running means that settle on a value like c N^{-1/2}, chain traces in
# [0, 1), the jackknife's not-a-number first error and the bootstrap's
# zero-width first interval.
stand_in montecarlo1d 'for (i = 2; i < 300; i++) printf "%i\t%f\n", i, 2 / pi + 0.3 * sin(i) / sqrt(i)' tmontecarlo.dat
stand_in montecarlo3d 'for (i = 1; i < 300; i++) printf "%i\t%f\n", i, 1 + 0.5 * cos(i) / sqrt(i)' tmontecarlo3D.dat
stand_in montecarlo3d_weighted 'for (i = 1; i < 300; i++) printf "%i\t%f\n", i, 2.43 + 2 * sin(i) / sqrt(i)' tmontecarlo3D2.dat
stand_in quadrature 'for (n = 2; n < 10000; n *= 2) printf "%i\t%f\t%f\t%f\n", n, 2 / pi - 3.7 / n^2, 2 / pi - 2.1 / n^2, 2 / pi - 4.7 / n^2'
stand_in metropolis 'for (i = 1; i < 600; i++) printf "%i\t%f\t%f\n", i, 2.43 + 2 * sin(i) / sqrt(i), (i * 0.6180339887) % 1' tmetropolis5.dat
stand_in metropolis_jackknife 'print "1\t0.003173\t-nan"; for (i = 2; i < 300; i++) printf "%i\t%f\t%f\n", i, 2.43 + 2 * sin(i) / sqrt(i), 3 / sqrt(i)' tmjack.dat
stand_in metropolis_bootstrap 'print "1\t0.006024\t0.006024\t0.006024"; for (i = 2; i < 300; i++) printf "%i\t%f\t%f\t%f\n", i, 2.43 + 2 * sin(i) / sqrt(i), 2.43 - 3 / sqrt(i), 2.43 + 3 / sqrt(i)' tmerror2.dat
# The coverage chains: checkpoints N = 2^k (10^k), the mean and nine error
# columns, the jackknife's not-a-number below ten values.
for table in ar1_phi05:tar1phi05.dat ar1_phi09:tar1phi09.dat ar1_phi099:tar1phi099.dat; do
  stand_in "${table%%:*}" 'for (n = 2; n < 70000; n *= 2) printf "%i\t%f\t%f\t%s\t%f\t%f\t%f\t%f\t%f\t%f\t%f\n", n, sin(n) / sqrt(n), 0.5 / sqrt(n), (n < 10 ? "-nan" : sprintf("%f", 2 / sqrt(n))), -2 / sqrt(n), 2 / sqrt(n), 2 / sqrt(n), 2.1 / sqrt(n), -2 / sqrt(n), 2 / sqrt(n), 9.5' "${table#*:}"
done
stand_in metropolis_errors 'for (n = 10; n < 20000; n *= 10) printf "%i\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\n", n, 2.43 + sin(n) / sqrt(n), 0.7 / sqrt(n), 0.7 / sqrt(n), 2.43 - 0.7 / sqrt(n), 2.43 + 0.7 / sqrt(n), 0.7 / sqrt(n), 0.7 / sqrt(n), 2.43 - 0.7 / sqrt(n), 2.43 + 0.7 / sqrt(n), 0.6' tmerrors.dat

out="$work/output"
run() {  # runs the script into $out, keeping its output and status
  status=0
  SUITE_BUILD_DIR="$fake" bash "$root/scripts/run-experiments.sh" "$out" >"$work/stdout" 2>"$work/stderr" || status=$?
}
contains() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }

check_tables_and_progress() {
  local i
  for i in "${!programs[@]}"; do
    check "${tables[$i]} is written" test -s "$out/${tables[$i]}"
  done
  check "one progress line per program, in order" \
    test "$(grep -E '^[a-z0-9_]+ +[0-9]+\.[0-9]{2} s$' "$work/stdout" | awk '{ print $1 }' | tr '\n' ' ')" = "${programs[*]} "
  check "the table of quadrature is its standard output" test "$(wc -l <"$out/quadrature.dat")" -eq 13
}

# width x height of a PNG, or nothing if the file is not one: the 8-byte
# signature, then the IHDR chunk holding width and height as big-endian
# 32-bit integers at bytes 16 to 23, and an IEND chunk closing the file.
png_size() {
  local file=$1
  [ "$(head -c 8 "$file" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
  [ "$(head -c 16 "$file" | tail -c 4)" = IHDR ] || return 0
  [ "$(tail -c 8 "$file" | head -c 4)" = IEND ] || return 0
  local words
  words=$(head -c 24 "$file" | tail -c 8 | od -An -tu1 | tr -s ' \n' ' ')
  echo "$words" | awk '{ printf "%dx%d", (($1 * 256 + $2) * 256 + $3) * 256 + $4, (($5 * 256 + $6) * 256 + $7) * 256 + $8 }'
}

case "$mode" in
figures)
  if ! command -v gnuplot >/dev/null 2>&1; then
    echo "gnuplot is not installed; the figures cannot be tested here"
    exit 77
  fi
  run
  check "the run exits 0 (status $status)" test "$status" -eq 0
  check_tables_and_progress
  for program in "${programs[@]}"; do
    check "$program.png is a PNG of ${sizes[$program]}" test "$(png_size "$out/$program.png")" = "${sizes[$program]}"
    check "summary.md links $program.png" contains "$out/summary.md" "[$program.png]($program.png)"
  done
  check "no figure was skipped" lacks "$work/stdout" skipped
  check "gnuplot and the scripts are silent on standard error" test ! -s "$work/stderr"
  check "summary.md is also printed" contains "$work/stdout" "$(sed -n 7p "$out/summary.md")"
  ;;
without_gnuplot)
  # PATH with everything on it but gnuplot: symbolic links to every command
  # of every PATH folder, the first of each name winning.
  shim="$work/bin"
  mkdir "$shim"
  IFS=: read -ra folders <<<"$PATH"
  for folder in "${folders[@]}"; do
    [ -d "$folder" ] && cp -sn "$folder"/* "$shim"/ 2>/dev/null || true
  done
  rm -f "$shim"/gnuplot*
  check "gnuplot is hidden" test -z "$(PATH="$shim" command -v gnuplot || true)"
  # A figure left by an earlier run must not outlive its tables.
  mkdir -p "$out"
  echo stale >"$out/montecarlo1d.png"
  PATH="$shim" run
  check "the run exits 0 (status $status)" test "$status" -eq 0
  check_tables_and_progress
  check "exactly one line says the figures were skipped and which package brings them" \
    test "$(grep -c 'figures skipped: gnuplot is not installed (the Debian package gnuplot-nox brings it)' "$work/stdout")" -eq 1
  check "the notice is the only mention of gnuplot" test "$(grep -ci gnuplot "$work/stdout" "$work/stderr" | awk -F: '{ s += $2 } END { print s }')" -eq 1
  check "no figure is left in the folder" test -z "$(find "$out" -name '*.png')"
  check "summary.md is written, with no figure linked" contains "$out/summary.md" "| not drawn |"
  check "summary.md lists all thirteen estimates" test "$(grep -c 'not drawn' "$out/summary.md")" -eq 13
  ;;
stops_on_failure)
  cat >"$fake/programs/metropolis" <<'STANDIN'
#!/bin/sh
echo "metropolis: cannot create tmetropolis5.dat: Permission denied" >&2
exit 3
STANDIN
  run
  check "the run exits with the program's status 3 (got $status)" test "$status" -eq 3
  check "the program's own message is passed on" \
    contains "$work/stderr" "metropolis: cannot create tmetropolis5.dat: Permission denied"
  check "the run names the failing program" contains "$work/stderr" "run-experiments: metropolis failed"
  failing=0
  while [ "${programs[$failing]}" != metropolis ]; do failing=$((failing + 1)); done
  before=$(IFS='|'; echo "${programs[*]:0:$failing}")
  check "the programs before it report their times" \
    test "$(grep -cE "^($before) +[0-9.]+ s$" "$work/stdout")" -eq "$failing"
  for later in "${programs[@]:$((failing + 1))}"; do
    check "$later, after it, does not run" lacks "$work/stdout" "$later"
  done
  check "no summary is written" test ! -e "$out/summary.md"
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "--- standard output of the run:" >&2
  cat "$work/stdout" >&2
  echo "--- standard error of the run:" >&2
  cat "$work/stderr" >&2
  exit 1
fi
echo "run script ($mode): all checks passed"
