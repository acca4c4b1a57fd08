#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/sensor/Fault.h"
#include "sim/sensor/FirmwareHeader.h"
#include "sim/sensor/SensorCollections.h"
#include "sim/sensor/Version.h"

namespace tarnix::sim {

enum class SensorMode { Normal, Dfu };
enum class DriverKind { Ok, Incompatible };

std::string_view ModeName(SensorMode mode);
std::optional<SensorMode> ParseMode(std::string_view name);
std::string_view DriverName(DriverKind driver);
std::optional<DriverKind> ParseDriver(std::string_view name);

// Everything the bus keeps about one virtual sensor: what it is, how it behaves, what it runs, where it is
// on the bus, and its bootloader's registers. Its flash lives beside it in a file of its own.
struct SensorState {
    // Identity and behaviour, fixed when it is plugged in.
    std::string serial;
    std::string product = "Tarnix TS-200";
    std::string manufacturer = "Tarnix";
    std::vector<std::uint8_t> mcuId;
    std::uint16_t usagePage = kSensorUsagePage;  // of the configuration collection
    std::uint16_t usage = kSensorUsage;
    // The top-level collections of the HID report descriptor, in order; each is a HID interface of its own.
    std::vector<SensorCollection> collections = SensorCollections::Default();
    std::string hidHardwareId;            // empty: the standard one of the sensor's HID interface
    std::string dfuHardwareId;            // empty: the standard one of the bootloader
    bool silent = false;                  // no answers to information requests
    bool openFails = false;               // the HID interface cannot be opened for reading and writing
    bool capabilitiesUnreadable = false;  // the HID interface does not give its capabilities
    bool serialStringFails = false;       // the HID serial-number string cannot be read
    std::uint32_t reenumerateMs = 300;
    std::uint32_t pageMs = 5;
    DriverKind driver = DriverKind::Ok;  // driver the host installed for the DFU personality

    // What it runs: normal mode reports the firmware and schema versions of the firmware it booted.
    SensorMode mode = SensorMode::Normal;
    Version firmware{2, 4};
    std::optional<Version> schema = Version{1, 1};

    // Presence on the bus. Every re-enumeration raises the generation, which invalidates open handles.
    std::uint64_t instance = 0;
    std::uint32_t generation = 0;
    bool detached = false;  // dropped off the bus by a fault
    // Bus-wide plug order, as the ports of a real bus hand out addresses: the bus enumerates sensors by it,
    // whatever the clock says. 0 in state files written before the bus kept it; those come first.
    std::uint64_t plugSequence = 0;
    std::int64_t pluggedAtMs = 0;
    std::int64_t appearAtMs = 0;
    std::int64_t changedAtMs = 0;

    Fault fault = Fault::None;
    bool faultOnce = false;  // the fault strikes one matching request, then the sensor behaves again
    DfuRegisters dfu;

    bool IsPresent(std::int64_t nowMs) const;
    // The interface class the sensor currently shows on the bus, and its device interface path there (in
    // normal mode the path of its configuration collection, or of its first collection when it has none).
    std::string InterfaceClass() const;
    std::string DevicePath() const;
    // The device interface path of the HID interface of one collection (its position in `collections`); a
    // sensor with several collections names each in the path, as the host does.
    std::string HidInterfacePath(std::size_t collection) const;
    std::string HardwareId() const;
    std::string SetupClass() const;

    // Leaves the bus now and comes back in `newMode` after the re-enumeration delay, with a fresh
    // bootloader.
    void Reenumerate(SensorMode newMode, std::int64_t nowMs);
    // Leaves DFU mode: comes back in normal mode running the firmware the header describes, or in DFU mode
    // again when there is no valid firmware.
    void BootFirmware(const std::optional<FirmwareHeader>& header, std::int64_t nowMs);
    // Leaves the bus until the fault is replaced.
    void DropOffBus(std::int64_t nowMs);
    // Replaces the fault and ends the effects of the previous one.
    void ReplaceFault(Fault newFault, std::int64_t nowMs, bool once = false);
    // A one-shot fault has struck: the sensor behaves again (back on the bus when it dropped off).
    void SpendOneShotFault(std::int64_t nowMs);

    // A serial number is 1 to kMaxSerialLength letters, digits, '-' or '_'.
    static constexpr std::size_t kMaxSerialLength = 24;
    static bool IsValidSerial(std::string_view serial);
};

}  // namespace tarnix::sim
