#!/usr/bin/env bash
# Tests chain_errors end to end on small chains.
#
# usage: chain_errors_test.sh results|bad_input|outputs CHAIN_ERRORS
#   results    the same chain as a text column, a one-column file, a .npy
#              array and a pipe of either gives the same results; an AR(1)
#              chain's tau_int comes out near (1 + phi) / (2 (1 - phi));
#              binning alone on a pipe does not keep the chain;
#   bad_input  each kind of bad input or command line: one line naming the
#              file and the line, status 2;
#   outputs    a full standard output, an unwritable figure and a missing
#              gnuplot each fail with one line; a figure is drawn, and an
#              old one survives a failed run.
set -euo pipefail

mode=${1:?mode}
source "$(dirname "${BASH_SOURCE[0]}")/check.sh"
program=$(cd "$(dirname "${2:?path of the built chain_errors}")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

lines() { wc -l <"$1" | tr -d ' '; }

# An AR(1) chain x' = phi x + noise, phi = 0.9: tau_int = 9.5.
awk 'BEGIN { srand(7); x = 0; for (i = 1; i <= 20000; ++i) { x = 0.9 * x + rand() - 0.5; printf "%.17g\n", x } }' >chain.txt
awk '{ printf "%d\t%s\t%.6f\n", NR, $1, $1 * $1 }' chain.txt >table.txt
# The same values as a .npy array (float64, version 1), without NumPy.
to_npy() {
  python3 -c '
import struct, sys
values = [float(line) for line in open(sys.argv[1])]
header = "{\x27descr\x27: \x27<f8\x27, \x27fortran_order\x27: False, \x27shape\x27: (%d,), }" % len(values)
header += " " * (117 - len(header)) + "\n"
sys.stdout.buffer.write(b"\x93NUMPY\x01\x00" + struct.pack("<H", len(header)) + header.encode()
                        + struct.pack("<%dd" % len(values), *values))' "$1"
}

case $mode in
results)
  to_npy chain.txt >chain.npy
  "$program" chain.txt --method all --format json >from_text.json
  "$program" chain.npy --method all --format json >from_npy.json
  "$program" table.txt --column 2 --method all --format json >from_table.json
  "$program" --method all --format json <chain.npy >from_npy_pipe.json
  cat chain.txt | "$program" - --method all --format json >from_text_pipe.json
  check "a .npy array gives what its text gives" cmp from_text.json from_npy.json
  check "a table's column gives what the column alone gives" cmp from_text.json from_table.json
  check "a pipe of .npy gives what the file gives" cmp from_text.json from_npy_pipe.json
  check "a pipe of text gives what the file gives" cmp from_text.json from_text_pipe.json
  for key in method mean error tau_int tau_int_error effective_samples naive_error window level bin_size block_length; do
    check "the JSON has \"$key\"" grep -q "\"$key\": " from_text.json
  done
  # The chain is clearly correlated: one warning that the naive error is
  # too small, on standard error only; independent values draw none.
  "$program" chain.txt --format json >gamma.json 2>warning.txt
  check "one warning for a correlated chain" [ "$(grep -c 'naive error σ/√N = .* too small' warning.txt)" = 1 ]
  check "the naive error is below the Γ-method's" awk -F'[:,] *' '{ for (i = 1; i < NF; ++i) {
      if ($i ~ /"error"/) e = $(i + 1); if ($i ~ /"naive_error"/) n = $(i + 1) } } END { exit !(n > 0 && n < e / 3) }' gamma.json
  awk 'BEGIN { srand(3); for (i = 1; i <= 20000; ++i) printf "%.17g\n", rand() }' | "$program" - >/dev/null 2>warning.txt
  check "no warning for independent values" [ ! -s warning.txt ]
  tau=$("$program" chain.txt --format tsv | awk '!/^#/ { print $4 }')
  check "tau_int of the AR(1) chain, $tau, is near 9.5" awk -v tau="$tau" 'BEGIN { exit !(tau > 7 && tau < 12) }'
  "$program" table.txt --format tsv --method all >all.tsv
  check "a header and a line per method" [ "$(lines all.tsv)" = 4 ]
  check "the last column by default" [ "$(awk '!/^#/ { print $4; exit }' all.tsv)" != "$tau" ]
  # Binning alone streams: 4 million values (32 MB as doubles) take no
  # more memory than a hundred.
  if [ -x /usr/bin/time ]; then
    peak() { seq 1 "$1" | /usr/bin/time -f %M -o peak.txt "$program" --method binning >/dev/null && cat peak.txt; }
    small=$(peak 100) large=$(peak 4000000)
    check "binning on a pipe keeps no chain ($small KB, then $large KB)" [ $((large - small)) -lt 16000 ]
  fi
  ;;
bad_input)
  expect_failure() {  # expect_failure WHAT STATUS TEXT ARGUMENTS... (standard input: input.txt)
    local what=$1 expected=$2 text=$3 status=0
    shift 3
    "$program" "$@" <input.txt >out.txt 2>err.txt || status=$?
    check "$what: status $expected ($status)" [ "$status" = "$expected" ]
    check "$what: one line" [ "$(lines err.txt)" = 1 ]
    check "$what: says '$text' ($(cat err.txt))" grep -qF -- "chain_errors: $text" err.txt
    check "$what: no results" [ ! -s out.txt ]
  }
  : >input.txt
  printf '1\n2\n# comment\nx3\n' >word.txt
  expect_failure "a word" 2 "word.txt: line 4: 'x3' is not a number" word.txt
  printf '1 2\n3 nan\n' >nan.txt
  expect_failure "not a number" 2 "nan.txt: line 2: 'nan' is not a finite number" nan.txt
  expect_failure "a missing column" 2 "table.txt: line 1: has 3 fields, no column 4" table.txt --column 4
  head -n 5 chain.txt >input.txt
  expect_failure "a short chain" 2 "standard input: line 5: the chain ends after 5 values" -
  printf '# nothing\n\n' >input.txt
  expect_failure "no numbers" 2 "standard input: line 2: no numbers" --method binning
  awk 'BEGIN { for (i = 0; i < 50; ++i) print 1.5 }' >input.txt
  expect_failure "a constant chain" 2 "standard input: line 50: all 50 values are 1.5" --method binning
  printf '1\n2\nnan\n' >input.txt
  to_npy input.txt >nan.npy
  expect_failure "not a number in an array" 2 "nan.npy: row 3: not a finite number" nan.npy
  expect_failure "no such file" 2 "cannot open missing.txt" missing.txt
  expect_failure "an unknown method" 2 "--method" chain.txt --method bayes
  expect_failure "column 0" 2 "--column" chain.txt --column 0
  expect_failure "two files" 2 "unexpected argument 'table.txt'" chain.txt table.txt
  ;;
outputs)
  status=0
  "$program" chain.txt >/dev/full 2>err.txt || status=$?
  check "a full standard output: a nonzero status" [ "$status" != 0 ]
  check "a full standard output: one line" grep -q "^chain_errors: cannot write the results" err.txt
  status=0
  PATH=/nonexistent "$program" chain.txt --plot figure.png >out.txt 2>err.txt || status=$?
  check "no gnuplot: status 1" [ "$status" = 1 ]
  check "no gnuplot: one line" grep -q "^chain_errors: --plot needs gnuplot" err.txt
  check "no gnuplot: no results" [ ! -s out.txt ]
  if command -v gnuplot >/dev/null; then
    status=0
    "$program" chain.txt --plot no/such/folder/figure.png >out.txt 2>err.txt || status=$?
    check "an unwritable figure: status 1, at once" [ "$status" = 1 ] && [ ! -s out.txt ]
    check "an unwritable figure: one line" grep -q "^chain_errors: cannot write the figure no/such/folder/figure.png" err.txt
    "$program" chain.txt --plot figure.png >/dev/null
    check "the figure is a PNG" [ "$(head -c 4 figure.png | tail -c 3)" = PNG ]
    cp figure.png old.png
    printf '1\nx\n' >bad.txt
    status=0
    "$program" bad.txt --plot figure.png >/dev/null 2>&1 || status=$?
    check "a failed run: status 2" [ "$status" = 2 ]
    check "a failed run keeps the old figure" cmp figure.png old.png
    check "and leaves nothing behind" [ "$(ls)" = "$(printf 'bad.txt\nchain.txt\nerr.txt\nold.png\nfigure.png\nout.txt\ntable.txt\n' | sort)" ]
  fi
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
echo "chain_errors $mode: all checks passed"
