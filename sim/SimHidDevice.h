#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/SensorState.h"
#include "sim/SensorStore.h"

namespace tarnix::sim {

// What the HID report descriptor of an interface says about its top-level collection and reports.
struct HidCapabilities {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
    std::uint16_t featureReportLength = 0;
};

// The host side of one open HID interface of a virtual sensor in normal mode. A probe handle (no access)
// reads capabilities and strings; a read/write handle also exchanges feature reports. Every call fails
// (false) once the sensor has left this interface: unplugged, switched to DFU mode, re-enumerated.
//
// The sensor answers an information request at once: the answer is kept and returned by every read of
// report 02 until the next request (a silent sensor keeps none, so reads return 02 00 and zeros).
class SimHidDevice {
public:
    enum class Access { Probe, ReadWrite };

    // The interface with this device path, opened; nothing when no present sensor has it, or when a
    // read/write open is refused by the sensor.
    static std::unique_ptr<SimHidDevice> Open(const std::string& devicePath, Access access);

    bool GetCapabilities(HidCapabilities& capabilities) const;
    bool GetManufacturer(std::string& text) const;
    bool GetProduct(std::string& text) const;
    bool GetSerialNumber(std::string& text) const;
    // report[0] is the report ID.
    bool SetFeature(const std::uint8_t* report, std::size_t length);
    bool GetFeature(std::uint8_t* report, std::size_t length);
    // Whether the sensor still shows this interface (a failed call on a present interface was refused).
    bool Present() const { return Current().has_value(); }

    SimHidDevice(SensorStore store, const SensorState& state, Access access);

private:
    std::optional<SensorState> Current() const;
    bool IsMine(const SensorState& state) const;
    bool SwitchToDfu();

    SensorStore store_;
    std::string serial_;
    std::uint64_t instance_;
    std::uint32_t generation_;
    Access access_;
    std::mutex mutex_;
    std::vector<std::uint8_t> answer_;
};

}  // namespace tarnix::sim
