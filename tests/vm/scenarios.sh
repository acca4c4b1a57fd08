# The scenarios of the command-line tool against one sensor, run the same way on the simulated bus (on the
# host) and on the kernel's real USB stack (in the guest, against tarnix-gadget), so that scripts/vmtest can
# compare the outputs. POSIX sh: it runs under the host's sh and the guest's busybox.
#
# Sourced by a runner that sets:
#   CLI, SIM   the command-line tool and tarnix-sim
#   WORK       a writable folder holding the firmware images; the scenarios run in it
#   RESULTS    a folder for the results: one file per scenario
# and defines:
#   plug_sensor            plugs the sensor TNX1 (in the guest: and starts the gadget that plays it)
#   replug_sensor OPTIONS  unplugs the sensor and plugs a new TNX1 made with these `tarnix-sim plug` options
#                          (in the guest: once the old one has left the bus, with a gadget of its own)
#   settle_bus             returns once the bus has handled what happened on it so far (in the guest: once
#                          udev has handled every event the kernel sent)
#
# The sensor starts in normal mode without the bootloader's driver (on the real stack: without our udev rule),
# as on a new machine. Each scenario begins from the state it names in SCENARIOS, which run_each waits for
# before it runs it: nothing a scenario needs is left to the one before it. Each scenario's file holds every
# command with its output and exit code; a command that has not ended after 120 s is stopped, so a hang shows
# as a failure.

SERIAL=TNX1
COMMAND_LIMIT=120
STATE_LIMIT=30

cli() {
    echo "\$ TarnixProgrammer_CLI $*"
    timeout "$COMMAND_LIMIT" "$CLI" "$@" 2>&1
    echo "exit: $?"
}

sim() {
    echo "\$ tarnix-sim $*"
    "$SIM" "$@" 2>&1
    echo "exit: $?"
}

# The state the tool itself lists the sensor in: normal (one sensor in normal mode), bootloader (one sensor
# in DFU mode with its driver), bootloader-without-driver (the driver error of --list), none (no device), or
# other (anything else, several devices among them).
listed_state() {
    listing=$(timeout "$COMMAND_LIMIT" "$CLI" --list 2>&1)
    devices=$(printf '%s\n' "$listing" | grep -c '^[0-9][0-9]*\. ')
    case "$devices:$listing" in
        "1:Devices:
1. Tarnix TS-200 "*) echo normal ;;
        "1:Devices:
1. Device In Configuration Mode "*) echo bootloader ;;
        "0:Error: Incompatible DFU drivers found."*) echo bootloader-without-driver ;;
        "0:No devices found."*) echo none ;;
        *) echo other ;;
    esac
}

# Returns once the bus has settled with the sensor in the state $1 (see listed_state) as the tool lists it;
# says which state did not come, and fails, when it has not come within STATE_LIMIT seconds.
wait_for_sensor() {
    deadline=$(($(cut -d. -f1 /proc/uptime) + STATE_LIMIT))
    while :; do
        settle_bus
        listed=$(listed_state)
        [ "$listed" = "$1" ] && return 0
        [ "$(cut -d. -f1 /proc/uptime)" -lt "$deadline" ] || break
        sleep 0.1
    done
    echo "The sensor was not listed as $1 within $STATE_LIMIT s; the tool lists:"
    timeout "$COMMAND_LIMIT" "$CLI" --list 2>&1 | sed 's/^/  /'
    return 1
}

# run_each FIRST NAME:STATE...: runs each scenario NAME once the sensor is in STATE ("-": the scenario
# plugs its own sensor), its output in RESULTS, numbered from FIRST on. When a state does not come, the
# scenario's file says so and neither it nor any after it runs.
run_each() {
    number=$1
    shift
    for entry in "$@"; do
        scenario=${entry%%:*}
        state=${entry#*:}
        result="$RESULTS/$(printf '%02d' "$number")-$scenario.txt"
        number=$((number + 1))
        if [ "$state" = "$entry" ]; then
            echo "The scenario $scenario names no starting state." > "$result"
            return 1
        fi
        if [ "$state" != - ] && ! wait_for_sensor "$state" > "$result" 2>&1; then
            return 1
        fi
        "$scenario" >> "$result" 2>&1
    done
}

list_in_normal_mode() {
    cli --list
}

# The switch works, but the bootloader then has no driver: the tool stops with its error.
read_without_driver() {
    cli --read parameters.json
}

list_in_dfu_mode_without_driver() {
    cli --list
}

install_driver() {
    cli --install
}

list_in_dfu_mode() {
    cli --list
}

read_parameters() {
    cli --read parameters.json
    cat parameters.json
}

write_parameters() {
    sed 's/"fingerFrequency": *-*[0-9]*/"fingerFrequency": 260/' parameters.json > changed.json
    grep '"fingerFrequency"' changed.json
    cli --write changed.json
    wait_for_sensor normal
    cli --read again.json
    grep '"fingerFrequency"' again.json
}

flash_hex_image() {
    cli --flash firmware-2.5.hex
    wait_for_sensor normal
    cli --list
}

# An image that carries parameters is refused without --overwrite (the sensor stays in DFU mode).
overwrite_check() {
    cli --flash firmware-2.6-parameters.dfu
}

flash_dfu_image_with_overwrite() {
    cli --overwrite --flash firmware-2.6-parameters.dfu
    wait_for_sensor normal
    cli --list
}

# The sensor drops off the bus at the first data block of the flash: the tool must end with its error, not
# hang.
unplug_during_flash() {
    sim fault "$SERIAL" unplug
    cli --flash firmware-2.5.hex
}

# A sensor whose HID report descriptor holds a digitizer collection before its configuration collection,
# whose feature reports are shorter than the 258 bytes the tool reads: it is found by its configuration
# collection, and its information comes through the report IDs of that collection.
digitizer_collection_first() {
    replug_sensor --collections 0x0D:0x04,config/200
    wait_for_sensor normal
    cli --list
}

# The bootloader stalls the first data block of a parameter write, once: the block is refused before its
# data is taken, so the write stops with its error, on the kernel's stack as on the simulated bus (the
# sensor stays in DFU mode).
write_with_stall() {
    sim fault "$SERIAL" stall --once
    cli --write changed.json
}

# What the reference run on the simulated bus must show, so that a comparison of two equally wrong runs
# cannot pass: scenario, then a line its output must contain.
REFERENCE_CHECKS='list_in_normal_mode|1. Tarnix TS-200   Firmware Version: 2.4
read_without_driver|Error: Incompatible DFU drivers found.
list_in_dfu_mode_without_driver|Error: Incompatible DFU drivers found.
list_in_dfu_mode|1. Device In Configuration Mode
read_parameters|"fingerFrequency"
write_parameters|  "fingerFrequency": 260,
flash_hex_image|Firmware Version: 2.5
overwrite_check|Error: This firmware will overwrite parameters.
flash_dfu_image_with_overwrite|Firmware Version: 2.6
unplug_during_flash|Error: Flashing failed.
digitizer_collection_first|1. Tarnix TS-200   Firmware Version: 2.4
write_with_stall|Error: Download failed.'

# Each scenario with the state it starts from.
SCENARIOS="list_in_normal_mode:normal read_without_driver:normal
list_in_dfu_mode_without_driver:bootloader-without-driver install_driver:bootloader-without-driver
list_in_dfu_mode:bootloader read_parameters:bootloader write_parameters:normal flash_hex_image:normal
overwrite_check:normal flash_dfu_image_with_overwrite:bootloader unplug_during_flash:normal
digitizer_collection_first:- write_with_stall:normal"

run_scenarios() {
    mkdir -p "$RESULTS"
    cd "$WORK" || return 1
    plug_sensor || return 1
    run_each 1 $SCENARIOS
}

# ---- Guest only: the device taken away during the erase of a parameter write ----------------------------
#
# These need the kernel's stack (a device controller the gadget is unbound from, a device program that is
# stopped), so they run in the guest only, after the others, and vmtest checks their results against
# GUEST_CHECKS instead of comparing them with the simulated bus. The guest's runner also defines:
#   plug_slow_sensor   replaces the sensor by SLOW1, whose flash pages take 3 s each, so that its erase can be
#                      caught while it runs
#   gadget_unbind, gadget_bind         take the device off the device controller and put it back
#   gadget_stop, gadget_continue       stop (SIGSTOP: on the bus, answering nothing) and continue its program
# Each scenario prints the write's output, whether it ended within 60 s, and what the parameter page holds
# afterwards, compared byte for byte with the page before: old, erased, or other (a partly written or
# otherwise damaged page). Then it puts the old page back for the next one.

SLOW_SERIAL=SLOW1

save_parameter_page() {
    "$SIM" read-flash "$SLOW_SERIAL" 0x08004000 2048 -o "$1" > /dev/null
}

all_erased() {
    ! od -An -v -tx1 "$1" | grep -q '[0-9a-e]'
}

# Returns once the slow sensor's parameter page reads erased, that is while its erase runs (at most 20 s).
wait_for_parameter_erase() {
    for _ in $(seq 1 200); do
        if save_parameter_page erase-probe.bin && all_erased erase-probe.bin; then
            return 0
        fi
        sleep 0.1
    done
    echo "The parameter page was never erased."
    return 1
}

parameter_page_state() {
    save_parameter_page page-after.bin
    if cmp -s page-after.bin page-before.bin; then
        echo "page: old"
    elif all_erased page-after.bin; then
        echo "page: erased"
    else
        echo "page: other"
    fi
}

# Runs the write in the background, takes the device away with $1 once the erase runs, waits for the write,
# brings the device back with $2, and reports.
write_disturbed_during_erase() {
    save_parameter_page page-before.bin
    sed 's/"fingerFrequency": *-*[0-9]*/"fingerFrequency": 270/' parameters.json > slow.json
    started=$(cut -d. -f1 /proc/uptime)
    cli --write slow.json > write.txt 2>&1 &
    writer=$!
    wait_for_parameter_erase && "$1"
    wait "$writer"
    ended=$(cut -d. -f1 /proc/uptime)
    "$2"
    cat write.txt
    if [ $((ended - started)) -le 60 ]; then
        echo "ended within 60 s"
    else
        echo "took $((ended - started)) s"
    fi
    parameter_page_state
    "$SIM" write-flash "$SLOW_SERIAL" 0x08004000 page-before.bin
}

unbind_during_parameter_erase() {
    plug_slow_sensor && wait_for_sensor normal &&
        write_disturbed_during_erase gadget_unbind gadget_bind
}

stop_during_parameter_erase() {
    write_disturbed_during_erase gadget_stop gadget_continue
}

# The device was gone or silent when the write failed, so an erased page is allowed; anything else than the
# old page or an erased one is not. Lines that begin with "!" must not appear.
GUEST_CHECKS='unbind_during_parameter_erase|Error: Failed to erase flash memory.
unbind_during_parameter_erase|exit: 255
unbind_during_parameter_erase|ended within 60 s
unbind_during_parameter_erase|!page: other
stop_during_parameter_erase|Error: Failed to erase flash memory.
stop_during_parameter_erase|exit: 255
stop_during_parameter_erase|ended within 60 s
stop_during_parameter_erase|!page: other'

# The unbound write leaves the sensor in its bootloader: the device that comes back once it is bound again.
GUEST_SCENARIOS="unbind_during_parameter_erase:- stop_during_parameter_erase:bootloader"

run_guest_scenarios() {
    cd "$WORK" || return 1
    run_each 51 $GUEST_SCENARIOS
}
