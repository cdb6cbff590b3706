# Sourced by the script tests (bash): `check DESCRIPTION COMMAND...` runs the
# command and, when it fails, names the check and counts it in `failures`,
# so that one run reports every failed check, not just the first.
failures=0
check() {
  local what=$1
  shift
  if ! "$@"; then
    echo "FAILED: $what" >&2
    failures=$((failures + 1))
  fi
}
