#pragma once

#include "io/Guid.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class SensorDevice;

namespace tarnix::io {
class HidDevice;
struct HidCapabilities;
}  // namespace tarnix::io

// Finds sensors on the USB bus in their two personalities and talks HID to them. A sensor in normal mode
// is a HID interface whose hardware identifier carries the sensor's vendor/product pair and whose
// top-level collection has an accepted usage; in DFU mode it is a USB device with the bootloader's pair,
// installed in the USB setup class (any other class means the wrong driver). Device names are the
// interface paths the enumeration reports; they are compared exactly. One process-wide instance holding
// only constants.
class UsbHandler {
public:
    static UsbHandler* GetInstance();

    UsbHandler(const UsbHandler&) = delete;
    UsbHandler& operator=(const UsbHandler&) = delete;

    // The first present sensor interface that is acceptable and not yet registered; `name` is left alone
    // when there is none.
    bool FindSensorDevicePath(std::string& name);
    // The first present DFU device in the USB setup class that is not yet registered. `incompatibleDrivers`
    // turns true when a DFU device in another setup class was passed on the way.
    bool FindDfuDevicePath(std::string& name, bool& incompatibleDrivers);
    // The names of every DFU device present now, registered or not, whatever its driver.
    std::set<std::string> GetPresentDfuDevicePaths();
    // Whether an interface of the chosen class (USB devices, else HID) has exactly this name now.
    bool FindDeviceFromPath(const std::string& name, bool usbDeviceInterface);
    // The names of every interface of the chosen class present now: one enumeration answers
    // FindDeviceFromPath for any number of names.
    std::set<std::string> GetPresentDevicePaths(bool usbDeviceInterface);

    // Opens the sensor's HID interface for reading and writing, keeps the handle in the record, marks it
    // connected and fills its description. Throws TpError::FailedToGetDeviceHandle when it cannot be opened.
    // The answer tells whether all three description strings could be read.
    bool GetSensorDeviceHandle(SensorDevice* sensor);

    // One feature report through the sensor's open HID handle; report[0] is the report identifier. False
    // when the sensor has no handle or the transfer fails.
    bool SetFeatureReport(SensorDevice* sensor, unsigned char* report, unsigned int length);
    bool GetFeatureReport(SensorDevice* sensor, unsigned char* report, unsigned int length);

    // Whether a HID top-level collection is one the sensor offers for its feature reports.
    bool IsAcceptedCollection(const tarnix::io::HidCapabilities& capabilities) const;

private:
    UsbHandler();
    ~UsbHandler();

    // Appends the manufacturer, product and serial-number strings, blank-separated; true when all three
    // could be read.
    static bool GetHidDescription(const tarnix::io::HidDevice& hid, std::string& text);
    // Reads the capabilities of an interface through a probe open; false when the probe fails.
    // Capabilities that cannot be read count as all zero.
    static bool ProbeCapabilities(const std::string& path, tarnix::io::HidCapabilities& capabilities);

    const tarnix::io::Guid usbDeviceInterfaceGuid;
    const tarnix::io::Guid usbSetupClassGuid;
    static constexpr std::int32_t sensorVendorId = 0x3C9E;
    static constexpr std::int32_t sensorProductId = 0x0101;
    const std::string sensorHardwareIdPattern = "VID_3C9E&PID_0101";
    static constexpr std::int32_t dfuVendorId = 0x0483;
    static constexpr std::int32_t dfuProductId = 0xDF11;
    const std::string dfuHardwareIdPattern = "VID_0483&PID_DF11";
    // Compared pairwise with a collection's usage and usage page after widening both to 32 bits without
    // sign: usage 1 or 0, or usage page 0x00FF (-256 matches no 16-bit usage page).
    const std::vector<std::int32_t> acceptedUsages{1, 0};
    const std::vector<std::int32_t> acceptedUsagePages{-256, 255};
};
