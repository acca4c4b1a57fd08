#pragma once

#include <memory>
#include <string>

#include "io/DfuTransport.h"

namespace tarnix::platform {

using DfuStatusReport = io::DfuStatusReport;
using DfuTransport = io::DfuTransport;

// Opens the DFU device with this device path on the bus of this process (BusSelection); nothing when there
// is none, it cannot be opened or its DFU interface cannot be claimed.
std::unique_ptr<DfuTransport> OpenDfuTransport(const std::string& devicePath);

}  // namespace tarnix::platform
