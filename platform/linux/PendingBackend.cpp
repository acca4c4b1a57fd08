// Placeholder until the real-bus backend lands: the real bus shows nothing.
#include "platform/linux/HidrawDevice.h"
#include "platform/linux/UdevDeviceEnumerator.h"
#include "platform/linux/UsbfsDfuTransport.h"

namespace tarnix::platform {
std::vector<DeviceInterface> UdevDeviceEnumerator::PresentInterfaces(const Guid&) { return {}; }
std::unique_ptr<HidDevice> HidrawDevice::Open(const std::string&, Access) { return nullptr; }
std::unique_ptr<DfuTransport> UsbfsDfuTransport::Open(const std::string&) { return nullptr; }
}  // namespace tarnix::platform
