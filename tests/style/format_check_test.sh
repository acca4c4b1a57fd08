#!/usr/bin/env bash
# Checks that the layout check skips, with its reason, where it cannot check as the layout was made (no
# clang-format, or one of another major version), and still fails on a file that is not laid out; run by ctest:
#
#   format_check_test.sh SOURCE_DIR SKIP_CODE
#
# SKIP_CODE is the exit code ctest takes for a skip of the check (its SKIP_RETURN_CODE). Each case runs the
# check with a PATH of the tools it uses and stand-ins for clang-format.
set -euo pipefail

source_dir=$1
skip_code=$2
check=$source_dir/tests/style/format_check.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A folder for PATH with the tools the check needs besides clang-format.
tools=$work/tools
mkdir -p "$tools"
for tool in bash find sort grep sed head; do
  ln -s "$(command -v "$tool")" "$tools/$tool"
done

# stand_in DIR NAME VERSION_LINE DRY_RUN_EXIT: a clang-format that prints the version line for --version and,
# for a check, exits with the given code, naming one file as not laid out when that is not 0.
stand_in() {
  mkdir -p "$1"
  cat >"$1/$2" <<STAND_IN
#!/bin/sh
if [ "\$1" = --version ]; then echo "$3"; exit 0; fi
[ $4 -eq 0 ] || echo "core/Dfu.cpp:3:1: error: code should be clang-formatted [-Wclang-format-violations]" >&2
exit $4
STAND_IN
  chmod +x "$1/$2"
}

# expect NAME CODE TEXT PATH: the check, run with PATH, exits with CODE and says TEXT.
expect() {
  local output code=0
  output=$(PATH=$4 bash "$check" "$source_dir" 2>&1) || code=$?
  [ "$code" -eq "$2" ] || fail "$1: exit code $code, expected $2: $output"
  grep -qF -- "$3" <<<"$output" || fail "$1: does not say \"$3\": $output"
}

expect "no clang-format" "$skip_code" "SKIP: clang-format is not installed" "$tools"

stand_in "$work/v15" clang-format "Debian clang-format version 15.0.7" 0
expect "clang-format 15" "$skip_code" \
  "SKIP: clang-format is version 15; the layout was made with version 14" "$work/v15:$tools"

stand_in "$work/unknown" clang-format "a formatter of no known version" 0
expect "a version that cannot be read" "$skip_code" "SKIP: cannot tell the version of clang-format" \
  "$work/unknown:$tools"

# Debian installs each version under its own name too; the check takes version 14 where it is.
stand_in "$work/both" clang-format "Ubuntu clang-format version 15.0.7" 1
stand_in "$work/both" clang-format-14 "Ubuntu clang-format version 14.0.0-1ubuntu1.1" 0
expect "clang-format-14 beside clang-format 15" 0 "PASS:" "$work/both:$tools"

stand_in "$work/v14" clang-format "clang-format version 14.0.6" 1
expect "a file not laid out" 1 "not laid out as .clang-format says: core/Dfu.cpp" "$work/v14:$tools"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: the check skips without clang-format 14 and fails on a file not laid out"
