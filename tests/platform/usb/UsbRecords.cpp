#include "tests/platform/usb/UsbRecords.h"

#include <cstdio>

namespace tarnix::test::usb_records {

namespace {

std::string Format(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Hex(const descriptors::Bytes& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += Format("%02x", byte);
    }
    return text;
}

// The lines of a USB device record that every personality shares. Text attributes end with a newline,
// as the kernel writes them.
std::string UsbDeviceRecord(int port, int devnum, const char* vendor, const char* product, const char* bcdDevice,
                            bool hasNode) {
    const std::string node = "bus/usb/001/" + Format("%03d", devnum);
    return "P: " + UsbDevicePath(port) + (hasNode ? "\nN: " + node : std::string()) +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/" + node +
           "\nE: BUSNUM=001\nE: DEVNUM=" + Format("%03d", devnum) + "\nE: ID_VENDOR_ID=" + vendor +
           "\nE: ID_MODEL_ID=" + product + "\nA: idVendor=" + vendor + "\\n\nA: idProduct=" + product +
           "\\n\nA: bcdDevice=" + bcdDevice + "\\n\nA: busnum=1\\n\nA: devnum=" + std::to_string(devnum) + "\\n\n";
}

std::string InterfaceRecord(int port, const char* interfaceClass, const char* subclass, const char* protocol) {
    return "P: " + UsbDevicePath(port) + "/1-" + std::to_string(port) +
           ":1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=" + interfaceClass +
           "\\n\nA: bInterfaceSubClass=" + subclass + "\\n\nA: bInterfaceProtocol=" + protocol +
           "\\n\nA: bInterfaceNumber=00\\n\n";
}

std::string InterfacePath(int port) { return UsbDevicePath(port) + "/1-" + std::to_string(port) + ":1.0"; }

// The device descriptor and a configuration with one HID interface.
descriptors::Bytes HidModeDescriptors() {
    using namespace descriptors;
    return Join({DeviceDescriptor(0x3C9E, 0x0101, 0x0100),
                 ConfigurationDescriptor(34),
                 InterfaceDescriptor(0, 0, 0x03, 0x00, 0),
                 {9, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, 0x5A, 0x00},
                 {7, 0x05, 0x81, 0x03, 0x40, 0x00, 0x01}});
}

}  // namespace

std::string UsbDevicePath(int port) { return std::string(kRootHub) + "/1-" + std::to_string(port); }

std::string UsbfsNode(int devnum) { return "/dev/bus/usb/001/" + Format("%03d", devnum); }

std::string RootHubRecords() {
    return "P: " + std::string(kRootHub) +
           "\nN: bus/usb/001/001\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/001/001\n"
           "E: BUSNUM=001\nE: DEVNUM=001\nA: idVendor=1d6b\\n\nA: idProduct=0002\\n\nA: bcdDevice=0601\\n\n"
           "A: busnum=1\\n\nA: devnum=1\\n\nH: descriptors=" +
           Hex(descriptors::DeviceDescriptor(0x1D6B, 0x0002, 0x0601)) + "\n\n";
}

std::string HidSensorRecord::HidSysname() const { return "0003:3C9E:0101." + Format("%04X", hidCounter); }

std::string HidSensorRecord::HidPath() const { return InterfacePath(port) + "/" + HidSysname(); }

std::string HidSensorRecord::HidrawPath() const { return HidPath() + "/hidraw/hidraw" + std::to_string(hidraw); }

std::string HidSensorRecord::Node() const { return "/dev/hidraw" + std::to_string(hidraw); }

std::string HidSensorRecord::DeviceName() const { return Node() + "#" + HidSysname(); }

std::optional<std::string> HidSensorRecord::DevAttribute() const {
    switch (deviceNumber) {
        case DeviceNumber::Kernel:
            return "240:" + std::to_string(hidraw);
        case DeviceNumber::Mismatched:
            return "240:" + std::to_string(hidraw + 100);
        default:
            return std::nullopt;
    }
}

std::vector<std::string> HidSensorRecord::Paths() const {
    return {HidrawPath(), HidPath(), InterfacePath(port), UsbDevicePath(port)};
}

std::string HidSensorRecord::Records() const {
    std::string records = UsbDeviceRecord(port, devnum, "3c9e", "0101", "0100", true) +
                          "A: manufacturer=" + manufacturer + "\\n\nA: product=" + product + "\\n\n";
    if (serial) {
        records += "A: serial=" + *serial + "\\n\n";
    }
    records += "H: descriptors=" + Hex(HidModeDescriptors()) + "\n\n";
    records += InterfaceRecord(port, "03", "00", "00") + "\n";
    records += "P: " + HidPath() + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00003C9E:00000101\nE: HID_NAME=" + manufacturer +
               " " + product + "\nH: report_descriptor=" + Hex(reportDescriptor) + "\n\n";
    records += "P: " + HidrawPath() + "\n";
    if (hasNode) {
        records += "N: hidraw" + std::to_string(hidraw) + "\n";
    }
    records += "E: SUBSYSTEM=hidraw\nE: DEVNAME=" + Node() + "\n";
    if (const auto dev = DevAttribute()) {
        records += "E: MAJOR=240\nE: MINOR=" + std::to_string(hidraw) + "\nA: dev=" + *dev + "\\n\n";
    }
    return records + "\n";
}

std::string DfuDeviceRecord::Node() const { return UsbfsNode(devnum); }

std::vector<std::string> DfuDeviceRecord::Paths() const { return {InterfacePath(port), UsbDevicePath(port)}; }

std::string DfuDeviceRecord::Records() const {
    std::string records = UsbDeviceRecord(port, devnum, "0483", "df11", "2200", hasNode);
    if (driverProperty) {
        records += "E: TARNIX_DFU_DRIVER=1\n";
    }
    records +=
        "A: manufacturer=STMicroelectronics\\n\nA: product=DFU in FS Mode\\n\nH: descriptors=" + Hex(descriptors) +
        "\n\n";
    records += InterfaceRecord(port, "fe", "01", "02") + "A: interface=" + std::string(kMemoryLayout) + "\\n\n\n";
    return records;
}

}  // namespace tarnix::test::usb_records
