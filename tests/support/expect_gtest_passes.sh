#!/bin/sh
# Runs a command that runs a GoogleTest program (the program itself, or a wrapper that starts it) and passes
# its output through. It fails when the command fails, and also when the program's summary does not show
# exactly COUNT test cases run and passed: a filter that matches no test, or a test that is skipped or
# renamed, otherwise ends a run with exit code 0 without testing anything.
# Usage: expect_gtest_passes.sh COUNT COMMAND [ARGS...]
set -eu
count=$1
shift
output=$(mktemp)
status_file=$(mktemp)
trap 'rm -f "$output" "$status_file"' EXIT
{
  status=0
  "$@" || status=$?
  echo "$status" >"$status_file"
} 2>&1 | tee "$output"
status=$(cat "$status_file")
if [ "$status" -ne 0 ]; then
  exit "$status"
fi
# GoogleTest counts skipped test cases among those that ran, not among those that passed.
if [ "$count" -eq 1 ]; then
  cases="1 test"
else
  cases="$count tests"
fi
if ! grep -q "^\[==========\] $cases from .* ran\." "$output" || ! grep -q "^\[  PASSED  \] $cases\.\$" "$output"; then
  echo "FAIL: expected $cases to run and pass; GoogleTest's summary says otherwise (see above)" >&2
  exit 1
fi
