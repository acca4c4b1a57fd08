#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sensor/SensorState.h"
#include "sim/bus/SensorStore.h"

namespace tarnix::sim {

// One device interface as the host's device manager lists it.
struct DeviceInterfaceRecord {
    std::string devicePath;
    std::string hardwareId;  // the first hardware identifier of the device
    std::string setupClass;  // setup class of the device, "{XXXXXXXX-...}"
};

// One line of `tarnix-sim list`.
struct SensorListing {
    std::string serial;
    SensorMode mode = SensorMode::Normal;
    DriverKind driver = DriverKind::Ok;
    bool present = false;    // false while it re-enumerates or after it dropped off the bus
    std::string devicePath;  // the path it has (or will have) in its current mode
};

// The simulated USB bus in one folder: plugging and unplugging virtual sensors, faults, drivers, direct
// flash access, and the host's view of the present device interfaces. Tool operations throw SimError with
// a one-line message; Enumerate never throws.
class SimBus {
public:
    static constexpr std::size_t kMaxProductLength = 48;
    static constexpr std::size_t kMaxMcuIdLength = 16;

    SimBus();
    explicit SimBus(std::string folder);

    const std::string& Folder() const { return store_.Folder(); }

    // Plugs in a new sensor made from the prototype's identity and behaviour (an empty serial takes the
    // next free "TNX" number, an empty MCU identifier one derived from the serial); its flash holds a
    // firmware with the prototype's versions and the factory parameters. Returns its serial.
    std::string Plug(SensorState prototype);
    void Unplug(const std::string& serial);
    void UnplugAll();
    std::vector<SensorListing> List() const;
    // `once`: the fault strikes the next matching request only.
    void SetFault(const std::string& serial, Fault fault, bool once = false);
    // Every DFU device with the wrong driver gets the right one; the serials that changed.
    std::vector<std::string> FixDrivers();
    std::vector<std::uint8_t> ReadFlash(const std::string& serial, std::uint32_t address, std::size_t length) const;
    void WriteFlash(const std::string& serial, std::uint32_t address, const std::vector<std::uint8_t>& data);

    // The device interfaces of one interface class ("{...}", any letter case) present now, in plug order; a
    // sensor in normal mode has one HID interface per collection, in the collections' order.
    std::vector<DeviceInterfaceRecord> Enumerate(std::string_view interfaceClass) const;

private:
    void Validate(const SensorState& prototype) const;
    std::string NextSerial() const;
    std::uint64_t NextPlugSequence() const;
    SensorState LoadExisting(const std::string& serial) const;
    void Save(const SensorState& state) const;

    SensorStore store_;
};

}  // namespace tarnix::sim
