# Sourced by the scripts (bash): `use_suite_build SCRIPT LOG` sets `build` to
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
