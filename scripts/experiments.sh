# Sourced by the scripts (bash): reads the list of experiments,
# experiments.tsv at the top of the checkout, into arrays indexed alike, in
# the list's order:
#   experiment_names    the programs
#   experiment_tables   the file each table goes to, or is kept under
#   experiment_outputs  file or stdout: where the table goes without --output
#   experiment_options  the options each program takes, comma-separated
# The list's header describes every field.
read_experiment_list() {
  local list name table output rows max_rows options rest
  list="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/experiments.tsv"
  experiment_names=() experiment_tables=() experiment_outputs=() experiment_options=()
  while IFS=$'\t' read -r name table output rows max_rows options rest; do
    case $name in '' | '#'*) continue ;; esac
    experiment_names+=("$name")
    experiment_tables+=("$table")
    experiment_outputs+=("$output")
    experiment_options+=("$options")
  done <"$list"
  if [ "${#experiment_names[@]}" -eq 0 ]; then
    echo "no experiments in $list" >&2
    return 1
  fi
}
read_experiment_list
