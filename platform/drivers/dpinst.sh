#!/bin/sh
# Stand-in for the DFU driver package installer (installed as dpinst_x86.exe and dpinst_amd64.exe). The
# real installer's options (/F, /SW, /SA, /q, /se, ...) are accepted and ignored.
#
# The bus is chosen as the programs choose it: TARNIX_BUS=usb or sim; unset, the simulated bus when
# TARNIX_SIM_DIR is set, else the real USB bus.
# - Simulated bus: every DFU device that carries another driver gets the right one (tarnix-sim fix-drivers).
# - Real bus: our udev rule (70-tarnix-sensors.rules, shipped beside this installer) goes into
#   ${TARNIX_UDEV_RULES_DIR:-/etc/udev/rules.d}, then udev reloads its rules and re-triggers the USB and
#   hidraw devices (${TARNIX_UDEVADM:-udevadm}). That needs root: a user runs it again through
#   ${TARNIX_PKEXEC:-pkexec}, with the rule folder and udevadm as arguments because pkexec clears the
#   environment:  dpinst_*.exe --rules-dir DIR --udevadm PROGRAM
folder=$(cd "$(dirname "$0")" && pwd)
rule=70-tarnix-sensors.rules

simulated_bus() {
    case "${TARNIX_BUS:-}" in
        usb) return 1 ;;
        sim) return 0 ;;
    esac
    [ -n "${TARNIX_SIM_DIR:-}" ]
}

# install_rule RULES_DIR UDEVADM
install_rule() {
    mkdir -p "$1" &&
        cp "$folder/$rule" "$1/$rule.new" && chmod 644 "$1/$rule.new" && mv -f "$1/$rule.new" "$1/$rule" &&
        "$2" control --reload-rules &&
        "$2" trigger --subsystem-match=usb --subsystem-match=hidraw --action=add
}

if [ "${1:-}" = "--rules-dir" ] && [ "${3:-}" = "--udevadm" ] && [ $# -ge 4 ]; then
    install_rule "$2" "$4"
    exit
fi

if simulated_bus; then
    exec "$folder/../../tarnix-sim" fix-drivers
fi

rules_dir=${TARNIX_UDEV_RULES_DIR:-/etc/udev/rules.d}
udevadm=${TARNIX_UDEVADM:-udevadm}
if [ "$(id -u)" -eq 0 ]; then
    install_rule "$rules_dir" "$udevadm"
    exit
fi
exec "${TARNIX_PKEXEC:-pkexec}" "$folder/$(basename "$0")" --rules-dir "$rules_dir" --udevadm "$udevadm"
