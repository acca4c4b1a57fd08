#include "platform/linux/UdevDeviceEnumerator.h"

#include "platform/linux/DeviceIdentity.h"
#include "platform/linux/UdevDevice.h"
#include "platform/linux/UsbHidrawNode.h"

namespace tarnix::platform {

namespace {

std::vector<DeviceInterface> HidInterfaces() {
    std::vector<DeviceInterface> interfaces;
    for (const UdevDevice& hidraw : UdevDevice::List("hidraw", nullptr)) {
        if (const std::optional<UsbHidrawNode> node = UsbHidrawNode::From(hidraw)) {
            interfaces.push_back({node->DeviceName(), node->HardwareId(), DeviceIdentity::HidSetupClass()});
        }
    }
    return interfaces;
}

std::vector<DeviceInterface> UsbDeviceInterfaces() {
    std::vector<DeviceInterface> interfaces;
    for (const UdevDevice& device : UdevDevice::List("usb", "usb_device")) {
        std::optional<std::string> node = device.Devnode();
        if (!node) {
            continue;
        }
        interfaces.push_back(
            {std::move(*node),
             DeviceIdentity::HardwareId("USB", device.Attribute("idVendor"), device.Attribute("idProduct"),
                                        device.Attribute("bcdDevice")),
             DeviceIdentity::UsbDeviceSetupClass(device.Property(DeviceIdentity::kDfuDriverProperty))});
    }
    return interfaces;
}

}  // namespace

std::vector<DeviceInterface> UdevDeviceEnumerator::PresentInterfaces(const Guid& interfaceClass) {
    if (interfaceClass == Guid::HidInterfaceClass()) {
        return HidInterfaces();
    }
    if (interfaceClass == Guid::UsbDeviceInterfaceClass()) {
        return UsbDeviceInterfaces();
    }
    return {};
}

}  // namespace tarnix::platform
