#pragma once

#include <vector>

#include "io/DeviceEnumerator.h"

namespace tarnix::platform {

// Device interfaces of the simulated bus in $TARNIX_SIM_DIR.
class SimulatedDeviceEnumerator {
public:
    static std::vector<DeviceInterface> PresentInterfaces(const io::Guid& interfaceClass);
};

}  // namespace tarnix::platform
