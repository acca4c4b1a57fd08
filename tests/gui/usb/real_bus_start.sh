#!/bin/sh
# Plugs one sensor into a fresh simulated bus and runs the desktop start test inside tarnix-sim usb-run, so
# that the program reaches the sensor through the real-bus backend. The run fails unless the program's one
# test case ran and passed.
# Usage: real_bus_start.sh BIN_FOLDER TEST_BINARY
set -eu
bin=$1
test_binary=$2
expect_passes="$(cd "$(dirname "$0")/../../support" && pwd)/expect_gtest_passes.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TARNIX_SIM_DIR="$work/bus" TARNIX_MUTEX_PREFIX="$work:" QT_QPA_PLATFORM=offscreen
mkdir -p "$TARNIX_SIM_DIR"
"$bin/tarnix-sim" plug --serial TNXUSB1 --product "Tarnix TS-210" --firmware 3.7 --mcu 0A1B2C3D >/dev/null
cd "$bin"
sh "$expect_passes" 1 "$bin/tarnix-sim" usb-run -- "$test_binary"
