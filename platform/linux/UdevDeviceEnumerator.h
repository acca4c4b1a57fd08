#pragma once

#include <vector>

#include "io/DeviceEnumerator.h"

namespace tarnix::platform {

// Device interfaces of the real USB bus, from sysfs and udev (UdevInterfaceCache): hidraw nodes of USB HID
// devices for the HID interface class, USB devices for the USB device interface class (io::DeviceEnumerator
// has the contract).
class UdevDeviceEnumerator : public io::DeviceEnumerator {
public:
    std::vector<io::DeviceInterface> PresentInterfaces(const io::Guid& interfaceClass) const override;
};

}  // namespace tarnix::platform
