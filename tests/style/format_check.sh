#!/usr/bin/env bash
# Checks that every C++ source and header of the project is laid out as the project's .clang-format says, run by
# ctest:
#
#   format_check.sh SOURCE_DIR
#
# Lists the files clang-format would change, with the first places in each.
set -euo pipefail

source_dir=$1
cd "$source_dir"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

command -v clang-format >/dev/null || fail "clang-format is not installed (scripts/setup installs it)"
[ -f .clang-format ] || fail "no .clang-format in $source_dir"

mapfile -d '' files < <(find bench cli core dfuse fuzz gui io platform sim tests \
  -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | LC_ALL=C sort -z)
[ ${#files[@]} -gt 100 ] || fail "only ${#files[@]} C++ files found under $source_dir"

if ! report=$(clang-format --style=file --dry-run --Werror "${files[@]}" 2>&1); then
  grep -o '^[^ :]*\.\(cpp\|h\):[0-9]*' <<<"$report" | LC_ALL=C sort -u -t: -k1,1 | sed 's/^/not laid out as .clang-format says: /' >&2
  fail "run clang-format -i on the files above"
fi
echo "PASS: ${#files[@]} files laid out as .clang-format says"
