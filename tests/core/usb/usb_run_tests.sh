#!/bin/sh
# Runs one test case of a GoogleTest binary inside tarnix-sim usb-run over a fresh, empty simulated bus, so
# that the core reaches the sensors the tests plug through the real-bus backend (udev, hidraw, usbfs). The
# run fails unless that one test case ran and passed (a name that matches no test, or a skipped test, fails).
# Usage: usb_run_tests.sh BIN_FOLDER TEST_BINARY TEST_NAME
set -eu
bin=$1
test_binary=$2
test_name=$3
expect_passes="$(cd "$(dirname "$0")/../../support" && pwd)/expect_gtest_passes.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARNIX_SIM_DIR="$work/bus"
mkdir -p "$TARNIX_SIM_DIR"
cd "$bin"
sh "$expect_passes" 1 "$bin/tarnix-sim" usb-run -- "$test_binary" --gtest_filter="$test_name"
