#pragma once

#include <vector>

#include "io/DeviceEnumerator.h"

namespace tarnix::sim {

// Device interfaces of the simulated bus in $TARNIX_SIM_DIR (io::DeviceEnumerator has the contract).
class SimulatedDeviceEnumerator : public io::DeviceEnumerator {
public:
    std::vector<io::DeviceInterface> PresentInterfaces(const io::Guid& interfaceClass) const override;
};

}  // namespace tarnix::sim
