#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "io/HidDevice.h"
#include "sim/sensor/SensorState.h"
#include "sim/bus/SensorStore.h"
#include "io/FileDescriptor.h"

namespace tarnix::sim {

// One open HID interface of a virtual sensor in normal mode (io::HidDevice has the contract). A probe handle
// reads capabilities and strings; a read/write handle also exchanges feature reports. Every call fails once
// the sensor has left this interface: unplugged, switched to DFU mode, re-enumerated.
//
// A handle opened by its device path is the host's handle of one collection (SensorCollection): it has that
// collection's capabilities and exchanges only that collection's feature reports, as the host's HID stack
// keeps a collection's interface to its own reports. Opened for reading and writing it holds one file
// descriptor for as long as it lives, as a hidraw node does on the real bus, so that a handle a program never
// closes shows in its descriptor count and runs into its descriptor limit here too. A handle made directly
// is the whole device, as the wire sees it (the test bed's hidraw node, the gadget): a report ID the sensor
// does not have is refused.
//
// The sensor answers an information request at once: the answer is kept and returned by every read of
// report 02 until the next request (a silent sensor keeps none, so reads return 02 00 and zeros).
class SimulatedHidDevice : public io::HidDevice {
public:
    // The interface with this device path, opened; nothing when no present sensor has it, when a read/write
    // open is refused by the sensor, or when no descriptor is left for it.
    static std::unique_ptr<SimulatedHidDevice> Open(const std::string& devicePath, Access access);

    std::optional<io::HidCapabilities> Capabilities() const override;
    std::optional<std::string> ManufacturerString() const override;
    std::optional<std::string> ProductString() const override;
    std::optional<std::string> SerialNumberString() const override;
    bool SetFeature(const std::uint8_t* report, std::size_t length) override;
    std::optional<std::size_t> GetFeature(std::uint8_t* report, std::size_t length) override;
    // Whether the sensor still shows this interface (a failed call on a present interface was refused).
    bool Present() const { return Current().has_value(); }

    // `collection`: the position of the collection the handle is limited to; nothing for the whole device.
    SimulatedHidDevice(SensorStore store, const SensorState& state, Access access,
                       std::optional<std::size_t> collection = std::nullopt);

private:
    std::optional<SensorState> Current() const;
    bool IsMine(const SensorState& state) const;
    // Whether the report ID is one of the sensor's feature reports that this handle may exchange.
    bool HasFeatureReport(const SensorState& state, std::uint8_t reportId) const;
    bool SwitchToDfu();

    SensorStore store_;
    std::string serial_;
    std::uint64_t instance_;
    std::uint32_t generation_;
    Access access_;
    std::optional<std::size_t> collection_;
    std::mutex mutex_;
    std::vector<std::uint8_t> answer_;
    io::FileDescriptor hostHandle_;  // open for a read/write handle opened by its path only
};

}  // namespace tarnix::sim
