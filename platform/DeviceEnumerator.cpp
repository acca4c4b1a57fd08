#include "platform/DeviceEnumerator.h"

#include "platform/BusSelection.h"
#include "platform/linux/UdevDeviceEnumerator.h"
#include "platform/sim/SimulatedDeviceEnumerator.h"

namespace tarnix::platform {

std::vector<DeviceInterface> DeviceEnumerator::PresentInterfaces(const Guid& interfaceClass) {
    if (BusSelection::Active() == Bus::Simulated) {
        return SimulatedDeviceEnumerator::PresentInterfaces(interfaceClass);
    }
    return UdevDeviceEnumerator::PresentInterfaces(interfaceClass);
}

}  // namespace tarnix::platform
