#include "cli/CliErrors.h"

namespace TpError {

const char* InvalidPath::what() const noexcept { return "Invalid path provided."; }

const char* DeviceNotFound::what() const noexcept { return "Could not find device."; }

const char* FailedToGetDfuHandle::what() const noexcept { return "Failed getting the configuration handle."; }

const char* CLIIncompatibleDfuDrivers::what() const noexcept
{
    return "Incompatible DFU drivers found. Please install compatible drivers while sensor is connected and in "
           "configuration mode using --install or run the installer and use the repair function. Administrator "
           "rights needed.";
}

}  // namespace TpError
