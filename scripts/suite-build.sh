# Sourced by the scripts (bash). `use_suite_build SCRIPT LOG` sets `build` to
# the build folder whose programs they run: SUITE_BUILD_DIR when it is set,
# else build/release of this checkout, configured and built first with the
# output in LOG. A failed build ends the script with the log's last lines.
use_suite_build() {
  local script=$1 log=$2 root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ -n "${SUITE_BUILD_DIR:-}" ]; then
    build=$(cd "$SUITE_BUILD_DIR" && pwd)
    return
  fi
  build="$root/build/release"
  if ! { cmake --preset release -S "$root" && cmake --build --preset release; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "$script: the build failed; see $log" >&2
    exit 1
  fi
}

# `timed_study NAME REPLICAS ENSEMBLE-WORDS...` runs one replica study with
# the build's ensemble (its words after the command, e.g. `coverage PROGRAM
# --replicas R --dir D`), quietly, and prints its name, replicas and time.
timed_study() {
  local name=$1 replicas=$2 start
  shift 2
  start=$(date +%s.%N)
  "$build/programs/ensemble" "$@" >/dev/null
  printf '%-28s %5s replicas  %5s s\n' "$name" "$replicas" "$(seconds_since "$start")"
}

# Whole seconds since a `date +%s.%N`.
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }'; }
