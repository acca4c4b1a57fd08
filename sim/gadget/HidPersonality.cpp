#include "sim/gadget/HidPersonality.h"

#include "sim/BusConstants.h"
#include "sim/gadget/FunctionFsBlobs.h"
#include "sim/gadget/UsbDescriptors.h"

namespace tarnix::sim {

namespace {

constexpr std::uint8_t kHidClass = 0x03;
constexpr std::uint8_t kInterruptInAddress = 0x81;
constexpr std::uint8_t kInterruptTransfer = 0x03;
constexpr std::uint16_t kInterruptPacketSize = 64;
constexpr std::uint8_t kFullSpeedInterval = 10;  // frames: 10 ms
constexpr std::uint8_t kHighSpeedInterval = 7;   // 2^(7-1) microframes: 8 ms

// Requests of the HID class and the standard request the interface answers.
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kSetIdle = 0x0A;
constexpr std::uint8_t kStandardInterfaceIn = 0x81;
constexpr std::uint8_t kClassInterfaceIn = 0xA1;
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t kHidDescriptorType = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;
constexpr std::uint8_t kFeatureReportType = 0x03;

constexpr std::uint8_t kSwitchReportId = 0x80;
constexpr std::uint8_t kRequestReportId = 0x01;
constexpr std::uint8_t kAnswerReportId = 0x02;

}  // namespace

HidPersonality::HidPersonality(SensorStore store, const SensorState& state)
    : identity_{kSensorVendorId, kSensorProductId, kSensorBcdDevice, state.manufacturer, state.product, state.serial},
      device_(std::move(store), state, SimHidDevice::Access::ReadWrite),
      reportDescriptor_(UsbDescriptors::HidReport(state.usagePage, state.usage,
                                                  {kSwitchReportId, kRequestReportId, kAnswerReportId},
                                                  kFeatureReportLength - 1)) {}

std::vector<std::uint8_t> HidPersonality::FunctionDescriptors() const {
    const auto set = [this](std::uint8_t pollInterval) {
        return FunctionFsBlobs::DescriptorSet{
            UsbDescriptors::Interface(0, 0, 1, kHidClass, 0, 0, 0),
            UsbDescriptors::Hid(static_cast<std::uint16_t>(reportDescriptor_.size())),
            UsbDescriptors::Endpoint(kInterruptInAddress, kInterruptTransfer, kInterruptPacketSize, pollInterval)};
    };
    return FunctionFsBlobs::Descriptors(set(kFullSpeedInterval), set(kHighSpeedInterval));
}

std::vector<std::uint8_t> HidPersonality::FunctionStrings() const { return FunctionFsBlobs::Strings({}); }

ControlAnswer HidPersonality::Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data) {
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

ControlAnswer HidPersonality::GetDescriptor(const ControlSetup& setup) const {
    const std::uint8_t type = static_cast<std::uint8_t>(setup.value >> 8);
    if (type == kReportDescriptorType) {
        return ControlAnswer::WithData(reportDescriptor_);
    }
    if (type == kHidDescriptorType) {
        return ControlAnswer::WithData(UsbDescriptors::Hid(static_cast<std::uint16_t>(reportDescriptor_.size())));
    }
    return ControlAnswer::Stalled();
}

ControlAnswer HidPersonality::GetReport(const ControlSetup& setup) {
    if ((setup.value >> 8) != kFeatureReportType || setup.length == 0) {
        return ControlAnswer::Stalled();
    }
    std::vector<std::uint8_t> report(setup.length, 0);
    report[0] = static_cast<std::uint8_t>(setup.value & 0xFF);
    if (!device_.GetFeature(report.data(), report.size())) {
        return ControlAnswer::Stalled();
    }
    return ControlAnswer::WithData(std::move(report));
}

ControlAnswer HidPersonality::SetReport(const ControlSetup& setup, const std::vector<std::uint8_t>& data) {
    const bool matches = (setup.value >> 8) == kFeatureReportType && !data.empty() && data[0] == (setup.value & 0xFF);
    if (!matches || !device_.SetFeature(data.data(), data.size())) {
        return ControlAnswer::Stalled();
    }
    return ControlAnswer::Acknowledged();
}

}  // namespace tarnix::sim
