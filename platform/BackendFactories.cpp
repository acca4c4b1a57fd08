// The one place that chooses between the two backends: device enumeration and the opening of HID devices
// and DFU transports give the simulated bus's objects or the real bus's, as BusSelection says. The
// interfaces themselves (io/) know neither backend.
#include "platform/BusSelection.h"
#include "io/DeviceEnumerator.h"
#include "platform/DfuTransport.h"
#include "platform/HidDevice.h"
#include "platform/linux/HidrawDevice.h"
#include "platform/linux/UdevDeviceEnumerator.h"
#include "platform/linux/UsbfsDfuTransport.h"
#include "sim/host/SimulatedDeviceEnumerator.h"
#include "sim/host/SimulatedHidDevice.h"
#include "sim/host/SimulatedDfuTransport.h"

namespace tarnix::platform {

namespace {

bool Simulated() { return BusSelection::Active() == Bus::Simulated; }

}  // namespace

std::vector<DeviceInterface> DeviceEnumerator::PresentInterfaces(const io::Guid& interfaceClass)
{
    return Simulated() ? SimulatedDeviceEnumerator::PresentInterfaces(interfaceClass)
                       : UdevDeviceEnumerator::PresentInterfaces(interfaceClass);
}

std::unique_ptr<HidDevice> OpenHidDevice(const std::string& devicePath, HidDevice::Access access)
{
    if (Simulated()) {
        return sim::SimulatedHidDevice::Open(devicePath, access);
    }
    return HidrawDevice::Open(devicePath, access);
}

std::unique_ptr<DfuTransport> OpenDfuTransport(const std::string& devicePath)
{
    if (Simulated()) {
        return sim::SimulatedDfuTransport::Open(devicePath);
    }
    return UsbfsDfuTransport::Open(devicePath);
}

}  // namespace tarnix::platform
