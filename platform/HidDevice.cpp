#include "platform/HidDevice.h"

#include "platform/BusSelection.h"
#include "platform/linux/HidrawDevice.h"
#include "platform/sim/SimulatedHidDevice.h"

namespace tarnix::platform {

std::unique_ptr<HidDevice> HidDevice::Open(const std::string& devicePath, Access access) {
    if (BusSelection::Active() == Bus::Simulated) {
        return SimulatedHidDevice::Open(devicePath, access);
    }
    return HidrawDevice::Open(devicePath, access);
}

}  // namespace tarnix::platform
