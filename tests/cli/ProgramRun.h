#pragma once

#include <string>
#include <vector>

// What one run of a program left behind: everything it wrote to each stream and its exit code as the shell
// sees it (0 to 255; a program killed by a signal gives 128 + the signal).
struct ProgramRun {
    std::string out;
    std::string err;
    int exitCode = -1;
    double milliseconds = 0;
};

// Runs `program` with `arguments` in the folder `workFolder` and waits for it. The child inherits this
// process's environment. Its output goes through files in `workFolder`, so no pipe can fill up.
//
// When the suite runs on the real-bus backend (TARNIX_TEST_BUS=usb), the command-line tool runs inside
// `tarnix-sim usb-run`, which mirrors the test's simulated bus into an emulated kernel device tree, and the
// USB device names it prints (/dev/bus/usb/BBB/DDD) read as kUsbDeviceName in its output.
bool OnRealUsbBackend();
extern const char* const kUsbDeviceName;

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workFolder);
