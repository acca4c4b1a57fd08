#include "sim/sensor/SensorState.h"

#include <cctype>
#include <cstdio>

namespace tarnix::sim {

namespace {

// A USB identity as the host's device paths spell it: "vid_3c9e&pid_0101".
std::string PathIdentity(std::uint16_t vendorId, std::uint16_t productId)
{
    char text[32];
    std::snprintf(text, sizeof text, "vid_%04x&pid_%04x", vendorId, productId);
    return text;
}

// A USB identity as the host's hardware ids spell it: "VID_3C9E&PID_0101&REV_0100".
std::string HardwareIdentity(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t bcdDevice)
{
    char text[40];
    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X&REV_%04X", vendorId, productId, bcdDevice);
    return text;
}

// Device paths spell interface classes in lower case.
std::string Lowercase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

std::string_view ModeName(SensorMode mode) { return mode == SensorMode::Normal ? "normal" : "dfu"; }

std::optional<SensorMode> ParseMode(std::string_view name)
{
    if (name == "normal") {
        return SensorMode::Normal;
    }
    if (name == "dfu") {
        return SensorMode::Dfu;
    }
    return std::nullopt;
}

std::string_view DriverName(DriverKind driver) { return driver == DriverKind::Ok ? "ok" : "incompatible"; }

std::optional<DriverKind> ParseDriver(std::string_view name)
{
    if (name == "ok") {
        return DriverKind::Ok;
    }
    if (name == "incompatible") {
        return DriverKind::Incompatible;
    }
    return std::nullopt;
}

bool SensorState::IsPresent(std::int64_t nowMs) const { return !detached && nowMs >= appearAtMs; }

std::string SensorState::InterfaceClass() const
{
    return mode == SensorMode::Normal ? kHidInterfaceClass : kUsbDeviceInterfaceClass;
}

std::string SensorState::DevicePath() const
{
    if (mode == SensorMode::Normal) {
        return HidInterfacePath(SensorCollections::Configuration(collections).value_or(0));
    }
    return "\\\\?\\usb#" + PathIdentity(kDfuVendorId, kDfuProductId) + "#" + serial + "#" +
           Lowercase(kUsbDeviceInterfaceClass);
}

std::string SensorState::HidInterfacePath(std::size_t collection) const
{
    char numbers[32] = "";
    if (collections.size() > 1) {
        std::snprintf(numbers, sizeof numbers, "&col%02zu", collection + 1);
    }
    char instance[16];
    std::snprintf(instance, sizeof instance, "&0&%04zx", collection);
    return "\\\\?\\hid#" + PathIdentity(kSensorVendorId, kSensorProductId) + numbers + "#7&" + serial + instance + "#" +
           Lowercase(kHidInterfaceClass);
}

std::string SensorState::HardwareId() const
{
    if (mode == SensorMode::Normal) {
        return hidHardwareId.empty() ? "HID\\" + HardwareIdentity(kSensorVendorId, kSensorProductId, kSensorBcdDevice)
                                     : hidHardwareId;
    }
    return dfuHardwareId.empty() ? "USB\\" + HardwareIdentity(kDfuVendorId, kDfuProductId, kDfuBcdDevice)
                                 : dfuHardwareId;
}

std::string SensorState::SetupClass() const
{
    if (mode == SensorMode::Normal) {
        return kHidSetupClass;
    }
    return driver == DriverKind::Ok ? kUsbSetupClass : kGenericUsbDeviceSetupClass;
}

void SensorState::Reenumerate(SensorMode newMode, std::int64_t nowMs)
{
    mode = newMode;
    ++generation;
    appearAtMs = nowMs + reenumerateMs;
    changedAtMs = nowMs;
    dfu = DfuRegisters{};
}

void SensorState::BootFirmware(const std::optional<FirmwareHeader>& header, std::int64_t nowMs)
{
    if (header) {
        firmware = header->firmware;
        schema = header->schema;
    }
    Reenumerate(header ? SensorMode::Normal : SensorMode::Dfu, nowMs);
}

void SensorState::DropOffBus(std::int64_t nowMs)
{
    detached = true;
    ++generation;
    changedAtMs = nowMs;
    dfu = DfuRegisters{};
}

void SensorState::ReplaceFault(Fault newFault, std::int64_t nowMs, bool once)
{
    fault = newFault;
    faultOnce = once && newFault != Fault::None;
    dfu.stalled = false;
    dfu.hangPending = false;
    if (detached) {
        detached = false;
        Reenumerate(mode, nowMs);
    }
    changedAtMs = nowMs;
}

void SensorState::SpendOneShotFault(std::int64_t nowMs)
{
    if (faultOnce) {
        ReplaceFault(Fault::None, nowMs);
    }
}

bool SensorState::IsValidSerial(std::string_view serial)
{
    if (serial.empty() || serial.size() > kMaxSerialLength) {
        return false;
    }
    for (char c : serial) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

}  // namespace tarnix::sim
