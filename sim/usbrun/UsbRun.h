#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarnix::sim {

// `tarnix-sim usb-run [--] COMMAND [ARGS...]`: runs COMMAND on the real-bus backend inside a umockdev test
// bed that mirrors the simulated bus of $TARNIX_SIM_DIR for as long as COMMAND runs. COMMAND and its
// children run under the umockdev preload with TARNIX_BUS=usb, see the bus's sensors as USB devices in
// /sys and /dev, and their ioctls on the device nodes are answered by the virtual sensors. The driver
// installer is pointed at usb-run's own udev rule folders and udevadm double (TARNIX_UDEV_ROOT, which the
// installer honours only in a run of the caller's own, never elevated), so nothing touches the system's udev. Programs
// that COMMAND leaves running (the installer is started detached) keep the test bed for a while after COMMAND has
// ended. COMMAND runs in a process group of its own with the descriptor limit usb-run was started with; usb-run
// itself raises its soft limit to the hard one. No program of that group runs on without the test bed: when
// the test bed cannot follow the bus any more (out of descriptors, say), usb-run stops the group and fails
// with a message; programs of the group still running when usb-run ends are stopped (ChildProcess); when
// usb-run is ended by a fatal signal it handles, the group is killed first; and when it is ended any other
// way (SIGKILL, a signal whose default action ends it), a watch process kills the group (GroupGuard).
// Programs that leave the group (a new session) are not stopped: they keep the test bed for
// kLeftoverLimitMs at most.
class UsbRun {
public:
    // usb-run's own failures (it could not build the test bed or keep it following the bus, no command given).
    static constexpr int kOwnFailure = 125;
    // How long the test bed stays after COMMAND has ended while programs it started still run (a driver
    // installer started detached, say).
    static constexpr int kLeftoverLimitMs = 5000;
    static constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";

    explicit UsbRun(std::ostream& err);
    // The arguments after "usb-run"; the result is COMMAND's exit code (128 + n for signal n), or kOwnFailure.
    int Run(std::vector<std::string> arguments);

private:
    int RunInTestbed(const std::vector<std::string>& command);

    std::ostream& err_;
};

}  // namespace tarnix::sim
