#!/bin/sh
# Stand-in for the DFU driver package installer (installed as dpinst_x86.exe and dpinst_amd64.exe). Of the
# real installer's options only /SW counts (no window of its own: failures go to the caller's terminal only);
# the others (/F, /SA, /q, /se, ...) are accepted and ignored.
#
# The bus is chosen as the programs choose it: TARNIX_BUS=usb or sim; unset, the simulated bus when
# TARNIX_SIM_DIR is set, else the real USB bus.
# - Simulated bus: every DFU device that carries another driver gets the right one (fix-drivers of the
#   simulator tool tarnix-sim beside the programs; an installation does not carry it).
# - Real bus: our udev rule (70-tarnix-sensors.rules, shipped beside this installer) goes into
#   /etc/udev/rules.d, unless the same rule is already in one of udev's rule folders; then udev reloads its
#   rules and triggers "change" for the sensor's and the bootloader's devices only. That needs root: a user
#   runs this script's elevated entry through pkexec (${TARNIX_PKEXEC:-pkexec}).
#
# What runs as root takes nothing from its caller: the elevated entry reads no argument beyond its own name
# and no environment; it uses udev's folders, udev's own udevadm from a fixed path and the rule file beside
# this script (found from the script's own resolved location), and writes the rule as a fresh file in the
# rule folder, renamed into place, so no link is followed.
#
# Failures are told to the user on standard error and, without /SW, in a dialog when a display is there.
# The exit code is 0 when the rule is in place and udev has been told, 1 otherwise.
#
# For tests: TARNIX_UDEV_ROOT=FOLDER does the whole install as the caller, never elevated, with FOLDER in
# place of the file-system root (FOLDER/etc/udev/rules.d, FOLDER/usr/bin/udevadm, ...). The elevated entry
# and a run started by pkexec never read it.

rule=70-tarnix-sensors.rules
marker="# Copy made by the Tarnix driver installer; the tarnix-programmer package removes it."
rule_folders="usr/lib/udev/rules.d lib/udev/rules.d etc/udev/rules.d run/udev/rules.d"
system_path=/usr/sbin:/usr/bin:/sbin:/bin

elevated=no
if [ "${1:-}" = --elevated ] || [ -n "${PKEXEC_UID:-}" ]; then
    # Started by pkexec (or asking for its entry): the caller's environment is not used at all, nor its umask,
    # which pkexec passes on: the folders made for the rule must be writable by root alone.
    umask 022
    elevated=yes
    PATH=$system_path
    export PATH
    unset TARNIX_UDEV_ROOT TARNIX_BUS TARNIX_SIM_DIR TARNIX_PKEXEC
fi

self=$(readlink -f -- "$0")
folder=${self%/*}
source_rule=$folder/$rule

say() {
    echo "Driver installer: $*" >&2
}

simulated_bus() {
    case "${TARNIX_BUS:-}" in
        usb) return 1 ;;
        sim) return 0 ;;
    esac
    [ -n "${TARNIX_SIM_DIR:-}" ]
}

# ---- The install itself, with ROOT in place of the file-system root ("" for the system) -------------------

# udev's own udevadm under ROOT.
find_udevadm() {
    for candidate in "$1/usr/bin/udevadm" "$1/bin/udevadm"; do
        if [ -x "$candidate" ]; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

# Whether FILE holds our rule, as shipped or as this installer's copy of it.
same_rule() {
    [ -f "$1" ] || return 1
    cmp -s "$source_rule" "$1" && return 0
    { echo "$marker"; cat "$source_rule"; } | cmp -s - "$1"
}

rule_in_place() {
    for rules in $rule_folders; do
        if same_rule "$1/$rules/$rule"; then
            return 0
        fi
    done
    return 1
}

# The rule that pkexec's root installs must be root's: a file or folder that another user can change would
# let that user choose what udev runs.
owned_by_root() {
    # shellcheck disable=SC2046
    set -- $(stat -L -c '%u %a' "$1" 2>/dev/null)
    [ "${1:-}" = 0 ] && [ $((0${2:-2} & 022)) -eq 0 ]
}

# Writes the rule into FOLDER as a fresh file, then renames it over the rule's name (replacing, never
# following, whatever is there).
write_rule() {
    mkdir -p "$1" || return 1
    temporary=$(mktemp "$1/.$rule.XXXXXX") || return 1
    if { echo "$marker"; cat "$source_rule"; } >"$temporary" && chmod 644 "$temporary" &&
        mv -fT "$temporary" "$1/$rule"; then
        return 0
    fi
    rm -f "$temporary"
    return 1
}

# The hidraw nodes of the sensor: each lies in sysfs below its HID device, which is named
# BUS:VENDOR:PRODUCT.INSTANCE.
sensor_hidraw_nodes() {
    for node in /sys/class/hidraw/*; do
        case $(readlink -f "$node") in
            */0003:3C9E:0101.*/hidraw/*) echo "$node" ;;
        esac
    done
}

trigger_devices() {
    "$1" trigger --action=change --attr-match=idVendor=3c9e --attr-match=idProduct=0101 &&
        "$1" trigger --action=change --attr-match=idVendor=0483 --attr-match=idProduct=df11 || return 1
    nodes=$(sensor_hidraw_nodes)
    if [ -n "$nodes" ]; then
        # The node names are hidrawN: no blanks to split on.
        # shellcheck disable=SC2086
        "$1" trigger --action=change $nodes || return 1
    fi
}

install_rule() {
    root=$1
    if ! udevadm=$(find_udevadm "$root"); then
        say "udev's udevadm was found neither at $root/usr/bin/udevadm nor at $root/bin/udevadm."
        return 1
    fi
    if [ ! -f "$source_rule" ]; then
        say "the rule file $source_rule is missing."
        return 1
    fi
    if [ "$elevated" = yes ] && ! { owned_by_root "$source_rule" && owned_by_root "$folder"; }; then
        say "$source_rule can be changed by users other than root: it is not installed."
        return 1
    fi
    if ! rule_in_place "$root"; then
        if ! write_rule "$root/etc/udev/rules.d"; then
            say "could not write $root/etc/udev/rules.d/$rule."
            return 1
        fi
    fi
    if ! "$udevadm" control --reload-rules; then
        say "udevadm could not reload udev's rules."
        return 1
    fi
    if ! trigger_devices "$udevadm"; then
        say "udevadm could not trigger the sensors' devices."
        return 1
    fi
}

# ---- The simulated bus ---------------------------------------------------------------------------------

# The simulator tool lies in the program folder, two above this script's folder.
simulator_tool=${folder%/*/*}/tarnix-sim

fix_simulated_drivers() {
    if [ ! -x "$simulator_tool" ]; then
        say "the simulator tool tarnix-sim is not installed beside the programs (looked for $simulator_tool)."
        return 1
    fi
    "$simulator_tool" fix-drivers
}

# ---- Getting root --------------------------------------------------------------------------------------

elevate() {
    pkexec=${TARNIX_PKEXEC:-pkexec}
    if ! command -v "$pkexec" >/dev/null 2>&1; then
        say "pkexec is not installed, so root rights cannot be asked for. Install pkexec, or run as root:"
        say "sudo TarnixProgrammer_CLI -i"
        return 1
    fi
    "$pkexec" "$self" --elevated
    status=$?
    case $status in
        0) return 0 ;;
        126) say "the request for root rights was cancelled." ;;
        127) say "root rights were not granted (refused, or no authentication agent: run the command in a" \
                 "terminal or from the desktop)." ;;
    esac
    return 1
}

# ---- Telling the user ----------------------------------------------------------------------------------

title="Tarnix DFU driver installer"

# Shows TEXT in a dialog through the first desktop tool at hand; false when there is none or no display.
show_dialog() {
    [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || return 1
    if command -v zenity >/dev/null 2>&1; then
        zenity --error --no-markup --title="$title" --text="$1"
    elif command -v kdialog >/dev/null 2>&1; then
        kdialog --title "$title" --error "$1"
    elif command -v xmessage >/dev/null 2>&1; then
        printf '%s\n' "$1" | xmessage -center -title "$title" -file -
    elif command -v notify-send >/dev/null 2>&1; then
        notify-send --urgency=critical "$title" "$1"
    else
        return 1
    fi
}

# The last line of a failure, one for each bus.
real_bus_failed="the DFU driver (the udev rule $rule) was not installed."
simulated_bus_failed="the simulated bus's DFU devices did not get the right driver."

# run_reported LINE STEP...: runs the install step and reports its failure, ending with LINE: on standard
# error, where a terminal shows it at once; without /SW also in a dialog that holds everything the step said.
run_reported() {
    failed_line=$1
    shift
    if [ "$window" = no ]; then
        "$@" && return 0
        say "$failed_line"
        return 1
    fi
    messages=$(mktemp) || messages=/dev/null
    if "$@" 2>"$messages"; then
        rm -f "$messages"
        return 0
    fi
    say "$failed_line" 2>>"$messages"
    cat "$messages" >&2
    show_dialog "$(cat "$messages")" >/dev/null 2>&1
    [ "$messages" = /dev/null ] || rm -f "$messages"
    return 1
}

# ---- Entries -------------------------------------------------------------------------------------------

if [ "$elevated" = yes ]; then
    if [ "$(id -u)" -ne 0 ]; then
        say "the elevated entry must be started by pkexec."
        exit 1
    fi
    install_rule "" || exit 1
    exit 0
fi

window=yes
for option in "$@"; do
    case $option in
        /SW | /sw) window=no ;;
    esac
done

if simulated_bus; then
    run_reported "$simulated_bus_failed" fix_simulated_drivers >/dev/null || exit 1
    exit 0
fi
if [ -n "${TARNIX_UDEV_ROOT:-}" ]; then
    run_reported "$real_bus_failed" install_rule "$TARNIX_UDEV_ROOT" || exit 1
elif [ "$(id -u)" -eq 0 ]; then
    # Root's own run (sudo): as in the elevated entry, the folders made for the rule are root's alone.
    umask 022
    PATH=$system_path
    run_reported "$real_bus_failed" install_rule "" || exit 1
else
    run_reported "$real_bus_failed" elevate || exit 1
fi
exit 0
