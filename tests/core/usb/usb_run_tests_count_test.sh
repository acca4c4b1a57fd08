#!/bin/sh
# usb_run_tests.sh passes only when its one test case ran and passed: a name that matches no test case fails,
# and so does a filter that runs two; the same runner with one existing test case passes.
# Usage: usb_run_tests_count_test.sh BIN_FOLDER TEST_BINARY
set -u
runner="$(cd "$(dirname "$0")" && pwd)/usb_run_tests.sh"
bin=$1
test_binary=$2
one=HandleLifetimeTest.ClearingTheNamesClosesTheHandlesOfTheRecordsDropped
other=HandleLifetimeTest.ASecondOpenClosesTheSessionTheRecordStillHolds
failed=0

# expect pass|fail FILTER: runs the runner with the filter and checks its outcome.
expect() {
  output=$(sh "$runner" "$bin" "$test_binary" "$2" 2>&1)
  status=$?
  if [ "$1" = pass ] && [ $status -eq 0 ]; then
    echo "PASS: $2 passes"
  elif [ "$1" = fail ] && [ $status -ne 0 ] && printf '%s\n' "$output" | grep -q '^FAIL: expected 1 test to run and pass'; then
    echo "PASS: $2 fails"
  else
    echo "FAIL: $2 was expected to $1 (exit code $status):" >&2
    printf '%s\n' "$output" >&2
    failed=1
  fi
}

expect fail HandleLifetimeTest.NoSuchTestCase
expect fail "$one:$other"
expect pass "$one"
exit $failed
