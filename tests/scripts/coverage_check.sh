#!/usr/bin/env bash
# A small coverage study at fixed seeds: 300 replicas of the AR(1) chain at
# phi = 0.9 (tau_int = 9.5) up to N = 2^14, about 1700 tau_int. There the
# Gamma method and binning must cover the exact mean 0 as often as their
# 68.27 % claims, within three binomial standard errors of 300 replicas
# (sqrt(p (1 - p) / 300) = 2.7 %, so within 8.1 %); sigma/sqrt(N) and the
# i.i.d. bootstrap, too small by sqrt(2 tau_int) = 4.36, cover only
# P(|Z| <= 1 / 4.36) = 18 %: they must stay below 30 %. Fixed seeds: the
# numbers are the same on every run, so the check cannot flake.
#
# usage: coverage_check.sh ENSEMBLE
set -euo pipefail
ensemble=${1:?path of the built ensemble command}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/tests/scripts/check.sh"

"$ensemble" coverage ar1_phi09 --replicas 300 --rows 14 --dir "$work/study" >"$work/stdout" 2>"$work/stderr" || {
  cat "$work/stderr" >&2
  exit 1
}
table="$work/study/coverage.tsv"
# The coverage of METHOD at N = 2^14.
coverage() { awk -F'\t' -v m="$1" '$1 == m && $2 == 16384 { print $4 }' "$table"; }
within() { awk -v c="$1" -v low="$2" -v high="$3" 'BEGIN { exit !(c != "" && c >= low && c <= high) }'; }

for method in gamma binning; do
  check "$method covers $(coverage $method), within 68.27 % +- 8.1 %" within "$(coverage $method)" 0.6017 0.7637
done
for method in naive bootstrap; do
  check "$method covers $(coverage $method), below 30 %" within "$(coverage $method)" 0 0.30
done
exit $((failures > 0))
