#!/bin/sh
# Runs test cases of a GoogleTest binary inside tarnix-sim usb-run over a fresh, empty simulated bus, so that
# the core reaches the sensors the tests plug through the real-bus backend (udev, hidraw, usbfs).
# Usage: usb_run_tests.sh BIN_FOLDER TEST_BINARY GTEST_FILTER
set -eu
bin=$1
test_binary=$2
filter=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARNIX_SIM_DIR="$work/bus"
mkdir -p "$TARNIX_SIM_DIR"
cd "$bin"
"$bin/tarnix-sim" usb-run -- "$test_binary" --gtest_filter="$filter"
