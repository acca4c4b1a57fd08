#pragma once

#include <memory>
#include <string>

#include "io/HidDevice.h"

namespace tarnix::platform {

using HidCapabilities = io::HidCapabilities;
using HidDevice = io::HidDevice;

// Opens the HID interface with this device path on the bus of this process (BusSelection); nothing when no
// present HID interface has this path or the device refuses the open.
std::unique_ptr<HidDevice> OpenHidDevice(const std::string& devicePath, HidDevice::Access access);

}  // namespace tarnix::platform
