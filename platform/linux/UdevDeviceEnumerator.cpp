#include "platform/linux/UdevDeviceEnumerator.h"

#include "platform/linux/UdevInterfaceCache.h"

namespace tarnix::platform {

std::vector<DeviceInterface> UdevDeviceEnumerator::PresentInterfaces(const Guid& interfaceClass)
{
    if (interfaceClass == Guid::HidInterfaceClass()) {
        return UdevInterfaceCache::Instance().HidInterfaces();
    }
    if (interfaceClass == Guid::UsbDeviceInterfaceClass()) {
        return UdevInterfaceCache::Instance().UsbDevices();
    }
    return {};
}

}  // namespace tarnix::platform
