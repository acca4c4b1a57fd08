#!/usr/bin/env bash
# Checks that every C++ source and header of the project is laid out as the project's .clang-format says, run by
# ctest:
#
#   format_check.sh SOURCE_DIR
#
# Lists the files clang-format would change, with the first places in each. The layout was made with
# clang-format 14, and other major versions lay some code out differently: without version 14 (as
# clang-format-14 or as clang-format) the check is skipped with its reason, exit code 77, which ctest reports
# as a skip.
set -euo pipefail

wanted_major=14
skip_code=77

source_dir=$1
cd "$source_dir"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

skip() {
  echo "SKIP: $*"
  exit $skip_code
}

formatter=
for candidate in clang-format-$wanted_major clang-format; do
  if command -v "$candidate" >/dev/null; then
    formatter=$candidate
    break
  fi
done
[ -n "$formatter" ] || skip "clang-format is not installed (scripts/setup installs it)"
version=$("$formatter" --version 2>&1 || true)
major=$(sed -n 's/.*clang-format version \([0-9][0-9]*\)\..*/\1/p' <<<"$version" | head -n 1)
[ -n "$major" ] || skip "cannot tell the version of $formatter from: $version"
[ "$major" = $wanted_major ] ||
  skip "$formatter is version $major; the layout was made with version $wanted_major (install clang-format-$wanted_major)"
[ -f .clang-format ] || fail "no .clang-format in $source_dir"

mapfile -d '' files < <(find bench cli core dfuse fuzz gui io platform sim tests \
  -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | LC_ALL=C sort -z)
[ ${#files[@]} -gt 100 ] || fail "only ${#files[@]} C++ files found under $source_dir"

if ! report=$("$formatter" --style=file --dry-run --Werror "${files[@]}" 2>&1); then
  grep -o '^[^ :]*\.\(cpp\|h\):[0-9]*' <<<"$report" | LC_ALL=C sort -u -t: -k1,1 | sed 's/^/not laid out as .clang-format says: /' >&2
  fail "run clang-format -i on the files above"
fi
echo "PASS: ${#files[@]} files laid out as .clang-format says"
