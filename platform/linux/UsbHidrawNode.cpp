#include "platform/linux/UsbHidrawNode.h"

#include "platform/linux/DeviceIdentity.h"

namespace tarnix::platform {

UsbHidrawNode::UsbHidrawNode(std::string node, UdevDevice hidraw, UdevDevice hid, UdevDevice usbDevice)
    : node_(std::move(node)), hidraw_(std::move(hidraw)), hid_(std::move(hid)), usbDevice_(std::move(usbDevice)) {}

std::optional<UsbHidrawNode> UsbHidrawNode::From(const UdevDevice& hidraw) {
    std::optional<std::string> node = hidraw.Devnode();
    std::optional<UdevDevice> hid = hidraw.Ancestor("hid", nullptr);
    if (!node || !hid) {
        return std::nullopt;
    }
    const std::optional<UdevDevice> usbInterface = hid->Ancestor("usb", "usb_interface");
    if (!usbInterface) {
        return std::nullopt;  // a HID device on another transport (Bluetooth, I2C, uhid)
    }
    std::optional<UdevDevice> usbDevice = usbInterface->Ancestor("usb", "usb_device");
    if (!usbDevice) {
        return std::nullopt;
    }
    return UsbHidrawNode(std::move(*node), hidraw, std::move(*hid), std::move(*usbDevice));
}

std::string UsbHidrawNode::DeviceName() const { return DeviceIdentity::HidDeviceName(node_, hid_.Sysname()); }

std::string UsbHidrawNode::HardwareId() const {
    return DeviceIdentity::HardwareId("HID", usbDevice_.Attribute("idVendor"), usbDevice_.Attribute("idProduct"),
                                      usbDevice_.Attribute("bcdDevice"));
}

}  // namespace tarnix::platform
