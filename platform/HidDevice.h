#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarnix::platform {

// What the report descriptor of a HID interface says about its top-level collection and report sizes
// (lengths in bytes, report ID included).
struct HidCapabilities {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
    std::uint16_t featureReportLength = 0;
};

// An open HID interface. A probe (no access) may read the capabilities and the strings; read/write access
// also exchanges feature reports. Once the device has gone (unplugged, re-enumerated) every call fails.
class HidDevice {
public:
    enum class Access { Probe, ReadWrite };

    // Opens the HID interface with this device path on the bus of this process (BusSelection); nothing when
    // no present HID interface has this path or the device refuses the open.
    static std::unique_ptr<HidDevice> Open(const std::string& devicePath, Access access);

    virtual ~HidDevice() = default;

    virtual std::optional<HidCapabilities> Capabilities() const = 0;
    // The device's strings as UTF-8.
    virtual std::optional<std::string> ManufacturerString() const = 0;
    virtual std::optional<std::string> ProductString() const = 0;
    virtual std::optional<std::string> SerialNumberString() const = 0;

    // Sends a feature report; report[0] is its report ID.
    virtual bool SetFeature(const std::uint8_t* report, std::size_t length) = 0;
    // Reads a feature report of up to `length` bytes; the caller puts the report ID into report[0]. A report
    // the device sends shorter is followed by zeros up to `length`.
    virtual bool GetFeature(std::uint8_t* report, std::size_t length) = 0;

protected:
    HidDevice() = default;
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;
};

}  // namespace tarnix::platform
