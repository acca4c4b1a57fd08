#!/usr/bin/env bash
# Checks that the README's install command names exactly the Debian packages that scripts/setup installs for
# the build (its build_packages list), run by ctest:
#
#   readme_packages_test.sh SOURCE_DIR
set -euo pipefail

source_dir=$1

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# One word a line, sorted.
words() {
  tr -s ' \t' '\n\n' | sed '/^$/d' | LC_ALL=C sort
}

setup_list=$(sed -n '/^build_packages=(/,/^)/p' "$source_dir/scripts/setup" | sed '1d;$d' | words)
[ -n "$setup_list" ] || fail "scripts/setup has no build_packages list"

install_lines=$(grep -E '^ +sudo apt-get install ' "$source_dir/README.md" || true)
[ "$(grep -c . <<<"$install_lines")" -eq 1 ] || fail "the README has not one apt-get install command: $install_lines"
readme_list=$(sed 's/^ *sudo apt-get install //' <<<"$install_lines" | words)

diff -u <(echo "$setup_list") <(echo "$readme_list") ||
  fail "the README's apt-get install (+) differs from scripts/setup's build_packages (-)"
echo "PASS: the README installs scripts/setup's build packages"
