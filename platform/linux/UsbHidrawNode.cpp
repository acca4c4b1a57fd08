#include "platform/linux/UsbHidrawNode.h"

#include "platform/linux/SysfsFile.h"
#include "platform/linux/UsbDeviceNaming.h"

namespace tarnix::platform {

namespace {

// The kernel's own limit of a report descriptor is 4096 bytes; anything far beyond is no descriptor.
constexpr std::size_t kReportDescriptorLimit = 65536;

}  // namespace

UsbHidrawNode::UsbHidrawNode(std::string node, UdevDevice hidraw, UdevDevice hid, UdevDevice usbDevice)
    : node_(std::move(node)), hidraw_(std::move(hidraw)), hid_(std::move(hid)), usbDevice_(std::move(usbDevice))
{
}

std::optional<UsbHidrawNode> UsbHidrawNode::From(const UdevDevice& hidraw)
{
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

std::string UsbHidrawNode::DeviceName(std::size_t collection) const
{
    return UsbDeviceNaming::HidDeviceName(node_, hid_.Sysname(), collection);
}

std::optional<std::vector<HidCollection>> UsbHidrawNode::Collections() const
{
    const auto descriptor = SysfsFile::ReadBytes(hid_.Syspath() + "/report_descriptor", kReportDescriptorLimit);
    if (!descriptor) {
        return std::nullopt;
    }
    return HidReportDescriptor::Parse(descriptor->data(), descriptor->size());
}

std::vector<std::string> UsbHidrawNode::InterfaceNames(
    const std::optional<std::vector<HidCollection>>& collections) const
{
    if (!collections || collections->size() < 2) {
        return {DeviceName()};
    }
    std::vector<std::string> names;
    for (std::size_t number = 1; number <= collections->size(); ++number) {
        names.push_back(DeviceName(number));
    }
    return names;
}

bool UsbHidrawNode::PickCollection(const std::optional<std::vector<HidCollection>>& collections, std::size_t number,
                                   std::optional<HidCollection>& picked)
{
    const std::size_t count = collections ? collections->size() : 0;
    if (number == 0 ? count > 1 : count < 2 || number > count) {
        return false;
    }
    picked = count == 0 ? std::nullopt : std::optional<HidCollection>((*collections)[number == 0 ? 0 : number - 1]);
    return true;
}

std::string UsbHidrawNode::HardwareId() const
{
    return UsbDeviceNaming::HardwareId("HID", usbDevice_.Attribute("idVendor"), usbDevice_.Attribute("idProduct"),
                                       usbDevice_.Attribute("bcdDevice"));
}

}  // namespace tarnix::platform
