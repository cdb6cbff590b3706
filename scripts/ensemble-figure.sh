#!/usr/bin/env bash
# Draws the figure of one replica study from its aggregate: the spread of the
# estimates against their errors and, for a program with its own error
# estimate, the coverage (plots/ensemble.gp).
#
# usage: scripts/ensemble-figure.sh DIR [FIGURE]
#   DIR is the study's folder (ensemble's --dir), holding aggregate.dat;
#   FIGURE is the PNG to write, by default DIR/ensemble.png. Needs gnuplot
#   (Debian package gnuplot-nox) and the built summary tool, from the
#   Release build or SUITE_BUILD_DIR, for the figures' constants.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:?usage: ensemble-figure.sh DIR [FIGURE]}
figure=${2:-$dir/ensemble.png}
table="$dir/aggregate.dat"
tool="${SUITE_BUILD_DIR:-$root/build/release}/tools/suite_report"
[ -f "$table" ] || { echo "ensemble-figure: no $table (run ensemble or ensemble collect first)" >&2; exit 1; }
command -v gnuplot >/dev/null 2>&1 ||
  { echo "ensemble-figure: gnuplot is not installed (the Debian package gnuplot-nox brings it)" >&2; exit 1; }
[ -x "$tool" ] || { echo "ensemble-figure: no $tool: build first (cmake --workflow --preset test)" >&2; exit 1; }

# The title from the aggregate's first line: "# ensemble: R replicas of
# PROGRAM OPTIONS, seeds 1 to R".
study=$(head -n 1 "$table" | sed -e 's/^# ensemble: //' -e 's/, seeds .*//')
program=$(sed -e 's/.* replicas* of //' -e 's/ .*//' <<<"$study")
# The exact values come from the list of experiments, through the tool.
constants=$("$tool" constants)
grep -q "exact_$program = " <<<"$constants" ||
  { echo "ensemble-figure: $table is not the aggregate of a study of a known program" >&2; exit 1; }
# The jackknife's ten blocks: its coverage is that of t with 9 degrees of
# freedom, drawn beside the nominal one.
blocks=""
[ "$program" != metropolis_jackknife ] || blocks="blocks = 10; "
# Single quotes doubled inside gnuplot's quotes; underscores in the title
# escaped from its subscripts.
quoted() { sed "s/'/''/g" <<<"$1"; }
GNUPLOT_LIB="$root/plots" gnuplot -e "$constants; exact = exact_$program; ${blocks}table = '$(quoted "$table")'; \
  figure = '$(quoted "$figure")'; study = '$(quoted "${study//_/\\_}")'" "$root/plots/ensemble.gp"
echo "$figure"
