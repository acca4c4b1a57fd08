#include "platform/linux/HidrawDevice.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <fcntl.h>
#include <vector>

#include "platform/linux/SysfsFile.h"
#include "platform/linux/UdevInterfaceCache.h"
#include "platform/linux/UsbDeviceNaming.h"
#include "platform/linux/UsbHidrawNode.h"

namespace tarnix::platform {

namespace {

constexpr std::size_t kStringLimit = 4096;
// The length of a feature report travels in the 14-bit size field of the ioctl request code.
constexpr std::size_t kLargestFeatureReport = (1u << _IOC_SIZEBITS) - 1;

// The USB HID hidraw node that the name gives, while the name still fits it.
std::optional<UsbHidrawNode> Locate(const UsbDeviceNaming::HidName& name)
{
    const std::size_t slash = name.node.rfind('/');
    const std::string sysname = slash == std::string::npos ? name.node : name.node.substr(slash + 1);
    const std::optional<UdevDevice> hidraw = UdevDevice::FromSubsystemSysname("hidraw", sysname);
    if (!hidraw) {
        return std::nullopt;
    }
    std::optional<UsbHidrawNode> node = UsbHidrawNode::From(*hidraw);
    if (!node || node->DeviceName() != UsbDeviceNaming::HidDeviceName(name.node, name.hidSysname)) {
        return std::nullopt;  // that node belongs to another HID device now
    }
    return node;
}

}  // namespace

std::unique_ptr<io::HidDevice> HidrawDevice::Open(const std::string& devicePath, Access access)
{
    // A probe of an interface the last look listed needs nothing from udev: the look read it, and the HID
    // device's sysfs path is this plug-in's own.
    if (access == Access::Probe) {
        std::optional<UdevInterfaceCache::HidInterfaceFacts> seen =
            UdevInterfaceCache::Instance().LastSeenHidInterface(devicePath);
        if (seen && SysfsFile::Exists(seen->hidSyspath)) {
            return std::make_unique<HidrawDevice>(std::move(seen->hidSyspath), std::move(seen->usbDeviceSyspath),
                                                  io::FileDescriptor(), std::move(seen->collection));
        }
    }
    const std::optional<UsbDeviceNaming::HidName> name = UsbDeviceNaming::SplitHidDeviceName(devicePath);
    std::optional<UsbHidrawNode> node = name ? Locate(*name) : std::nullopt;
    std::optional<HidCollection> collection;
    if (!node || !UsbHidrawNode::PickCollection(node->Collections(), name->collection, collection)) {
        return nullptr;
    }
    io::FileDescriptor file;
    if (access == Access::ReadWrite) {
        file = io::FileDescriptor::Open(node->Node().c_str(), O_RDWR);
        if (!file.IsValid()) {
            return nullptr;
        }
        // The device may have gone and its node been given to a new one between the lookup and the open.
        node = Locate(*name);
        if (!node || !node->Hidraw().NodeIsThisDevice()) {
            return nullptr;
        }
    }
    return std::make_unique<HidrawDevice>(node->Hid().Syspath(), node->UsbDevice().Syspath(), std::move(file),
                                          std::move(collection));
}

HidrawDevice::HidrawDevice(std::string hidSyspath, std::string usbDeviceSyspath, io::FileDescriptor node,
                           std::optional<HidCollection> collection)
    : hidSyspath_(std::move(hidSyspath)),
      usbDeviceSyspath_(std::move(usbDeviceSyspath)),
      node_(std::move(node)),
      collection_(std::move(collection))
{
}

std::optional<io::HidCapabilities> HidrawDevice::Capabilities() const
{
    // A HID device keeps its report descriptor for as long as it exists.
    if (!collection_ || !SysfsFile::Exists(hidSyspath_)) {
        return std::nullopt;
    }
    return collection_->capabilities;
}

std::optional<std::string> HidrawDevice::ManufacturerString() const { return UsbDeviceString("manufacturer"); }

std::optional<std::string> HidrawDevice::ProductString() const { return UsbDeviceString("product"); }

std::optional<std::string> HidrawDevice::SerialNumberString() const { return UsbDeviceString("serial"); }

std::optional<std::string> HidrawDevice::UsbDeviceString(const char* attribute) const
{
    std::optional<std::string> text = SysfsFile::ReadText(usbDeviceSyspath_ + "/" + attribute, kStringLimit);
    // The USB device's sysfs path is its port, which a later plug-in takes over; the HID device's path is
    // this plug-in's own. Still present after the read: the text was this device's.
    if (!SysfsFile::Exists(hidSyspath_)) {
        return std::nullopt;
    }
    return text;
}

bool HidrawDevice::MayTransfer(const std::uint8_t* report, std::size_t length) const
{
    if (!node_.IsValid() || report == nullptr || length == 0 || length > kLargestFeatureReport) {
        return false;
    }
    return !collection_ ||
           std::binary_search(collection_->featureReportIds.begin(), collection_->featureReportIds.end(), report[0]);
}

bool HidrawDevice::SetFeature(const std::uint8_t* report, std::size_t length)
{
    if (!MayTransfer(report, length)) {
        return false;
    }
    std::vector<std::uint8_t> copy(report, report + length);  // the request takes a writable buffer
    return ::ioctl(node_.Get(), HIDIOCSFEATURE(length), copy.data()) >= 0;
}

std::optional<std::size_t> HidrawDevice::GetFeature(std::uint8_t* report, std::size_t length)
{
    if (!MayTransfer(report, length)) {
        return std::nullopt;
    }
    const int received = ::ioctl(node_.Get(), HIDIOCGFEATURE(length), report);
    if (received < 0) {
        return std::nullopt;
    }
    // The kernel copies what the device sent and leaves the rest of the buffer as it was: the rest becomes
    // zeros (byte 0, the report ID, is kept even when nothing came).
    const std::size_t filled = std::max<std::size_t>(static_cast<std::size_t>(received), 1);
    if (filled < length) {
        std::fill(report + filled, report + length, 0);
    }
    return static_cast<std::size_t>(received);
}

}  // namespace tarnix::platform
