#pragma once

#include <memory>
#include <string>

#include "io/DeviceEnumerator.h"
#include "io/DfuTransport.h"
#include "io/HidDevice.h"

namespace tarnix::platform {

// The backend of the bus of this process (BusSelection): the simulated bus's (sim/host/) or the real USB
// bus's (platform/linux/). These functions are the one place that chooses between the two; the interfaces
// (io/) know neither.

// Device enumeration on the bus of this process.
const io::DeviceEnumerator& ActiveDeviceEnumerator();

// Opens the HID interface with this device path on the bus of this process; nothing when no present HID
// interface has this path or the device refuses the open.
std::unique_ptr<io::HidDevice> OpenHidDevice(const std::string& devicePath, io::HidDevice::Access access);

// Opens the DFU device with this device path on the bus of this process; nothing when there is none, it
// cannot be opened or its DFU interface cannot be claimed.
std::unique_ptr<io::DfuTransport> OpenDfuTransport(const std::string& devicePath);

}  // namespace tarnix::platform
