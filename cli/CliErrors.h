#pragma once

#include "core/TpError.h"

// The failures that only the command-line tool reports. Each has a fixed message; main prints it after
// "Error: " on standard error.
namespace TpError {

// The JSON file or the schema file given to the write command does not exist.
class InvalidPath : public Exception {
public:
    const char* what() const noexcept override;
};

// No connected device has the chosen number, or several are connected and none was chosen.
class DeviceNotFound : public Exception {
public:
    const char* what() const noexcept override;
};

// The sensor did not come back in configuration mode after the switch.
class FailedToGetDfuHandle : public Exception {
public:
    const char* what() const noexcept override;
};

// A device in configuration mode runs under a driver that the DFU libraries cannot use.
class CLIIncompatibleDfuDrivers : public Exception {
public:
    const char* what() const noexcept override;
};

}  // namespace TpError
