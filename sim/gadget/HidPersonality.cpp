#include "sim/gadget/HidPersonality.h"

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "sim/gadget/FunctionFsBlobs.h"

namespace tarnix::sim {

namespace {

// Requests of the HID class and the standard request the interface answers.
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kSetIdle = 0x0A;
constexpr std::uint8_t kStandardInterfaceIn = 0x81;
constexpr std::uint8_t kClassInterfaceIn = 0xA1;
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;
constexpr std::uint8_t kFeatureReportType = 0x03;

}  // namespace

HidPersonality::HidPersonality(SensorStore store, const SensorState& state)
    : identity_{kSensorVendorId, kSensorProductId, kSensorBcdDevice, state.manufacturer, state.product, state.serial},
      device_(std::move(store), state, SimulatedHidDevice::Access::ReadWrite),
      reportDescriptor_(UsbDescriptorBuilder::SensorReportDescriptor(state.usagePage, state.usage, state.collections))
{
}

std::vector<std::uint8_t> HidPersonality::FunctionDescriptors() const
{
    // The interface, HID and endpoint descriptors the sensor's configuration holds, at both speeds.
    const std::vector<std::uint8_t> configuration = UsbDescriptorBuilder::SensorConfiguration(reportDescriptor_.size());
    const std::vector<std::uint8_t> contents(
        configuration.begin() + static_cast<std::ptrdiff_t>(UsbDescriptorBuilder::kConfigurationHeaderLength),
        configuration.end());
    return FunctionFsBlobs::Descriptors(contents, contents);
}

std::vector<std::uint8_t> HidPersonality::FunctionStrings() const { return FunctionFsBlobs::Strings({}); }

ControlAnswer HidPersonality::Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data)
{
    if (setup.index != 0) {
        return ControlAnswer::Stalled();
    }
    if (setup.requestType == kStandardInterfaceIn && setup.request == kGetDescriptor) {
        return GetDescriptor(setup);
    }
    if (setup.requestType == kClassInterfaceIn && setup.request == kGetReport) {
        return GetReport(setup);
    }
    if (setup.requestType == kClassInterfaceOut && setup.request == kSetReport) {
        return SetReport(setup, data);
    }
    if (setup.requestType == kClassInterfaceOut && setup.request == kSetIdle) {
        return ControlAnswer::Acknowledged();  // the sensor sends no input reports, so any rate will do
    }
    return ControlAnswer::Stalled();
}

ControlAnswer HidPersonality::GetDescriptor(const ControlSetup& setup) const
{
    // The host's HID driver reads the report descriptor; the HID descriptor came with the configuration.
    if ((setup.value >> 8) == kReportDescriptorType) {
        return ControlAnswer::WithData(reportDescriptor_);
    }
    return ControlAnswer::Stalled();
}

ControlAnswer HidPersonality::GetReport(const ControlSetup& setup)
{
    if ((setup.value >> 8) != kFeatureReportType || setup.length == 0) {
        return ControlAnswer::Stalled();
    }
    std::vector<std::uint8_t> report(setup.length, 0);
    report[0] = static_cast<std::uint8_t>(setup.value & 0xFF);
    const std::optional<std::size_t> sent = device_.GetFeature(report.data(), report.size());
    if (!sent) {
        return ControlAnswer::Stalled();
    }
    report.resize(*sent);  // a report shorter than asked for ends the transfer early
    return ControlAnswer::WithData(std::move(report));
}

ControlAnswer HidPersonality::SetReport(const ControlSetup& setup, const std::vector<std::uint8_t>& data)
{
    const bool matches = (setup.value >> 8) == kFeatureReportType && !data.empty() && data[0] == (setup.value & 0xFF);
    if (!matches || !device_.SetFeature(data.data(), data.size())) {
        return ControlAnswer::Stalled();
    }
    return ControlAnswer::Acknowledged();
}

}  // namespace tarnix::sim
