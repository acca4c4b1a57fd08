#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "io/Guid.h"

namespace tarnix::platform {

// How a device of the real bus is named and classified for device discovery: its device name, its first
// hardware identifier and its setup class, from what udev says of it.
class UsbDeviceNaming {
public:
    // The udev property our rule gives a DFU device once it may be used ("1").
    static constexpr const char* kDfuDriverProperty = "TARNIX_DFU_DRIVER";

    // The parts of the device name of a HID interface.
    struct HidName {
        std::string node;        // the hidraw device node, "/dev/hidraw0"
        std::string hidSysname;  // the HID device above it, "0003:3C9E:0101.000A"
        // Which top-level collection of the node: 0 for a node with one (or none that can be read), 1 to
        // kMaxCollectionNumber for one of several.
        std::size_t collection = 0;
    };
    static constexpr std::size_t kMaxCollectionNumber = 99;

    // "<node>#<HID device sysname>", and "&colNN" (two decimal digits) after it for collection NN of a node
    // with several, as the host names each collection's interface. The sysname carries the kernel's HID
    // device counter, which grows with every new HID device, so a name is never given to a later plug-in.
    static std::string HidDeviceName(const std::string& node, const std::string& hidSysname,
                                     std::size_t collection = 0);
    // The parts of a name made by HidDeviceName; nothing for any other text.
    static std::optional<HidName> SplitHidDeviceName(std::string_view name);

    // "<bus>\VID_%04X&PID_%04X&REV_%04X" from the idVendor, idProduct and bcdDevice attributes (hex text,
    // a trailing newline allowed); empty when one of them is missing or no 16-bit hex number.
    static std::string HardwareId(std::string_view bus, const std::optional<std::string>& vendor,
                                  const std::optional<std::string>& product,
                                  const std::optional<std::string>& revision);

    // The setup class of a USB device: the USB class when our udev rule has given it its driver property
    // (value of TARNIX_DFU_DRIVER, nothing when unset), else the zero Guid, which is no class of ours.
    static io::Guid UsbDeviceSetupClass(const std::optional<std::string>& dfuDriverProperty);
    // Whether our udev rule gives a USB device with this hardware identifier its driver property: the DFU
    // bootloader's (vendor 0483, product DF11), whatever its revision.
    static bool GetsDfuDriverProperty(std::string_view hardwareId);
    // The setup class of every HID interface.
    static io::Guid HidSetupClass();
    // {36FC9E60-C465-11CF-8056-444553540000}
    static io::Guid UsbSetupClass();
};

}  // namespace tarnix::platform
