// The one place that chooses between the two backends: each interface's factory gives the simulated bus's
// object or the real bus's, as BusSelection says. The interfaces themselves know neither backend.
#include "platform/BusSelection.h"
#include "platform/DeviceEnumerator.h"
#include "platform/DfuTransport.h"
#include "platform/HidDevice.h"
#include "platform/linux/HidrawDevice.h"
#include "platform/linux/UdevDeviceEnumerator.h"
#include "platform/linux/UsbfsDfuTransport.h"
#include "platform/sim/SimulatedDeviceEnumerator.h"
#include "platform/sim/SimulatedDfuTransport.h"
#include "platform/sim/SimulatedHidDevice.h"

namespace tarnix::platform {

namespace {

bool Simulated() { return BusSelection::Active() == Bus::Simulated; }

}  // namespace

std::vector<DeviceInterface> DeviceEnumerator::PresentInterfaces(const Guid& interfaceClass) {
    return Simulated() ? SimulatedDeviceEnumerator::PresentInterfaces(interfaceClass)
                       : UdevDeviceEnumerator::PresentInterfaces(interfaceClass);
}

std::unique_ptr<HidDevice> HidDevice::Open(const std::string& devicePath, Access access) {
    if (Simulated()) {
        return SimulatedHidDevice::Open(devicePath, access);
    }
    return HidrawDevice::Open(devicePath, access);
}

std::unique_ptr<DfuTransport> DfuTransport::Open(const std::string& devicePath) {
    if (Simulated()) {
        return SimulatedDfuTransport::Open(devicePath);
    }
    return UsbfsDfuTransport::Open(devicePath);
}

}  // namespace tarnix::platform
