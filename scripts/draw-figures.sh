#!/usr/bin/env bash
# Draws one figure per experiment from the tables in a folder (the first
# argument) with the gnuplot scripts in plots/, then writes summary.md there
# and prints it. Without gnuplot the figures are skipped with a one-line
# notice and the summary is still written. Run by run-experiments.sh; run it
# alone to redraw from tables already there.
#
# The summary tool comes from the Release build, or from SUITE_BUILD_DIR.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
folder=$(cd "${1:?usage: draw-figures.sh FOLDER}" && pwd)
build=$(cd "${SUITE_BUILD_DIR:-$root/build/release}" && pwd)
tool="$build/tools/suite_report"

source "$root/scripts/experiments.sh"

# Figures of an earlier run would not match these tables.
for experiment in "${experiment_names[@]}"; do
  rm -f "$folder/$experiment.png"
done

if command -v gnuplot >/dev/null 2>&1; then
  # The exact values come from the list of experiments, through the tool.
  constants=$("$tool" constants)
  cd "$folder"
  for i in "${!experiment_names[@]}"; do
    experiment=${experiment_names[$i]}
    # Each script reads `table` and draws into `figure`.
    if ! GNUPLOT_LIB="$root/plots" gnuplot -e "$constants; exact = exact_$experiment; table = '${experiment_tables[$i]}'; figure = '$experiment.png'" \
         "$root/plots/$experiment.gp"; then
      echo "draw-figures: gnuplot failed on plots/$experiment.gp" >&2
      exit 1
    fi
  done
  echo "figures drawn: ${experiment_names[*]/%/.png}"
else
  echo "figures skipped: gnuplot is not installed (the Debian package gnuplot-nox brings it)"
fi

echo
"$tool" summary "$folder"
echo
echo "summary written to $folder/summary.md"
