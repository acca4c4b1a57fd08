#pragma once

#include <string>
#include <vector>

#include "io/Guid.h"

namespace tarnix::platform {

// One present device interface: what device discovery needs to know of it.
struct DeviceInterface {
    std::string devicePath;  // the interface path; it names and opens the device
    std::string hardwareId;  // the first hardware identifier of the device ("" when it cannot be read)
    io::Guid setupClass;     // the setup class the device is installed in (zero when unknown)
};

// Lists the device interfaces of one interface class that are present now: each call lists the bus at
// that moment.
class DeviceEnumerator {
public:
    static std::vector<DeviceInterface> PresentInterfaces(const io::Guid& interfaceClass);
};

}  // namespace tarnix::platform
