#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/DescriptorBytes.h"

// Devices of the real USB bus as umockdev records, laid out as the kernel lays them out in sysfs: the root
// hub of bus 1, sensors in normal mode (USB device, HID interface, HID device, hidraw node) and devices in
// DFU mode, each on a port of the root hub.
namespace tarnix::test::usb_records {

constexpr const char* kRootHub = "/sys/devices/pci0000:00/0000:00:14.0/usb1";
// The memory layout string of the sensor in DFU mode (string descriptor 4, the interface's text).
constexpr const char* kMemoryLayout = "@Internal Flash  /0x08000000/64*002Kg";

// "/sys/devices/.../usb1/1-<port>"
std::string UsbDevicePath(int port);
// "/dev/bus/usb/001/<devnum>"
std::string UsbfsNode(int devnum);

struct HidSensorRecord {
    // How the hidraw device states its device number: not at all, as the kernel does (uevent MAJOR and
    // MINOR and the dev attribute), or with a dev attribute that disagrees with MAJOR and MINOR.
    enum class DeviceNumber { Unset, Kernel, Mismatched };

    int port = 1;
    unsigned hidCounter = 0x000A;  // the kernel's HID device counter in the HID device's sysname
    int hidraw = 0;
    int devnum = 2;
    descriptors::Bytes reportDescriptor = descriptors::SensorReportDescriptor(0xFF00, 0x01);
    std::string manufacturer = "Tarnix";
    std::string product = "Touch Sensor";
    std::optional<std::string> serial = std::string("TS0001");
    bool hasNode = true;  // false: the hidraw record has no N: line, so the node cannot be opened
    DeviceNumber deviceNumber = DeviceNumber::Kernel;

    std::string HidSysname() const;  // "0003:3C9E:0101.000A"
    std::string HidPath() const;
    std::string HidrawPath() const;
    std::string Node() const;                         // "/dev/hidraw0"
    std::string DeviceName() const;                   // the name the backend gives it
    std::optional<std::string> DevAttribute() const;  // "240:0", when the record gives one
    std::vector<std::string> Paths() const;           // its devices, children first
    std::string Records() const;
};

struct DfuDeviceRecord {
    int port = 2;
    int devnum = 3;
    bool driverProperty = true;  // TARNIX_DFU_DRIVER=1, given by our udev rule
    bool hasNode = true;
    descriptors::Bytes descriptors = descriptors::DfuModeDescriptors();

    std::string Node() const;  // "/dev/bus/usb/001/003", also its device name
    std::vector<std::string> Paths() const;
    std::string Records() const;
};

std::string RootHubRecords();

}  // namespace tarnix::test::usb_records
