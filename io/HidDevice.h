#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnix::io {

// What the report descriptor of a HID interface says about its top-level collection and report sizes
// (lengths in bytes, report ID included).
struct HidCapabilities {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
    std::uint16_t featureReportLength = 0;
};

// An open HID interface, on either bus. A probe (no access) may read the capabilities and the strings;
// read/write access also exchanges feature reports. Once the device has left the interface (unplugged,
// switched to DFU mode, re-enumerated) every call fails.
class HidDevice {
public:
    enum class Access { Probe, ReadWrite };

    virtual ~HidDevice() = default;

    virtual std::optional<HidCapabilities> Capabilities() const = 0;
    // The device's strings as UTF-8.
    virtual std::optional<std::string> ManufacturerString() const = 0;
    virtual std::optional<std::string> ProductString() const = 0;
    virtual std::optional<std::string> SerialNumberString() const = 0;

    // Sends a feature report; report[0] is its report ID.
    virtual bool SetFeature(const std::uint8_t* report, std::size_t length) = 0;
    // Reads a feature report of up to `length` bytes; the caller puts the report ID into report[0]. The
    // number of bytes the device sent (its report, cut to `length` when that is shorter); the bytes after
    // them up to `length` are zeros (report[0] keeps the report ID even when nothing came). Nothing when the
    // device refuses or has gone.
    virtual std::optional<std::size_t> GetFeature(std::uint8_t* report, std::size_t length) = 0;

protected:
    HidDevice() = default;
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;
};

}  // namespace tarnix::io
