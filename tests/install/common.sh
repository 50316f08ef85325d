# Shared by the install checks: sourced, not run.
set -euo pipefail

failures=0

# Reports one failed expectation and goes on; finish() gives the verdict.
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

expect_eq() {  # what, expected, actual
  [[ $2 == "$3" ]] || fail "$1: expected [$2], got [$3]"
}

finish() {
  if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
}

# Every long option that a program's --help names.
help_options() {  # program
  ASAN_OPTIONS=detect_leaks=0 "$1" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u
}
