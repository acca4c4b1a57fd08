#include "platform/linux/UdevDeviceEnumerator.h"

#include "platform/linux/UdevInterfaceCache.h"

namespace tarnix::platform {

std::vector<DeviceInterface> UdevDeviceEnumerator::PresentInterfaces(const io::Guid& interfaceClass)
{
    if (interfaceClass == io::Guid::HidInterfaceClass()) {
        return UdevInterfaceCache::Instance().HidInterfaces();
    }
    if (interfaceClass == io::Guid::UsbDeviceInterfaceClass()) {
        return UdevInterfaceCache::Instance().UsbDevices();
    }
    return {};
}

}  // namespace tarnix::platform
