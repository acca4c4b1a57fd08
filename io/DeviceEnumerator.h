#pragma once

#include <string>
#include <vector>

#include "io/Guid.h"

namespace tarnix::io {

// One present device interface: what device discovery needs to know of it.
struct DeviceInterface {
    std::string devicePath;  // the interface path; it names and opens the device
    std::string hardwareId;  // the first hardware identifier of the device ("" when it cannot be read)
    Guid setupClass;         // the setup class the device is installed in (zero when unknown)
};

// Device discovery on one bus, on either bus: PresentInterfaces lists the device interfaces of one interface
// class that are present now (each call looks at the bus at that moment). Any thread may call it.
class DeviceEnumerator {
public:
    virtual ~DeviceEnumerator() = default;

    virtual std::vector<DeviceInterface> PresentInterfaces(const Guid& interfaceClass) const = 0;

protected:
    DeviceEnumerator() = default;
    DeviceEnumerator(const DeviceEnumerator&) = delete;
    DeviceEnumerator& operator=(const DeviceEnumerator&) = delete;
};

}  // namespace tarnix::io
