// The one place that chooses between the two backends: device enumeration and the opening of HID devices
// and DFU transports give the simulated bus's objects or the real bus's, as BusSelection says. The
// interfaces themselves (io/) know neither backend.
#include "platform/BackendFactories.h"

#include "platform/BusSelection.h"
#include "platform/linux/HidrawDevice.h"
#include "platform/linux/UdevDeviceEnumerator.h"
#include "platform/linux/UsbfsDfuTransport.h"
#include "sim/host/SimulatedDeviceEnumerator.h"
#include "sim/host/SimulatedDfuTransport.h"
#include "sim/host/SimulatedHidDevice.h"

namespace tarnix::platform {

namespace {

bool Simulated() { return BusSelection::Active() == Bus::Simulated; }

}  // namespace

const io::DeviceEnumerator& ActiveDeviceEnumerator()
{
    static const sim::SimulatedDeviceEnumerator simulated;
    static const UdevDeviceEnumerator real;
    if (Simulated()) {
        return simulated;
    }
    return real;
}

std::unique_ptr<io::HidDevice> OpenHidDevice(const std::string& devicePath, io::HidDevice::Access access)
{
    if (Simulated()) {
        return sim::SimulatedHidDevice::Open(devicePath, access);
    }
    return HidrawDevice::Open(devicePath, access);
}

std::unique_ptr<io::DfuTransport> OpenDfuTransport(const std::string& devicePath)
{
    if (Simulated()) {
        return sim::SimulatedDfuTransport::Open(devicePath);
    }
    return UsbfsDfuTransport::Open(devicePath);
}

}  // namespace tarnix::platform
