#include "sim/gadget/DfuPersonality.h"

#include "sim/BusConstants.h"
#include "sim/UsbDescriptors.h"
#include "sim/gadget/FunctionFsBlobs.h"


namespace tarnix::sim {

namespace {

constexpr std::uint8_t kApplicationSpecificClass = 0xFE;
constexpr std::uint8_t kDfuSubclass = 0x01;
constexpr std::uint8_t kDfuModeProtocol = 0x02;
constexpr std::uint8_t kHidClass = 0x03;
constexpr std::uint8_t kLayoutString = 1;  // the function's first string

constexpr std::uint8_t kClassInterfaceIn = 0xA1;
constexpr std::uint8_t kClassInterfaceOut = 0x21;

// DFU 1.1 class requests.
constexpr std::uint8_t kDnload = 1;
constexpr std::uint8_t kUpload = 2;
constexpr std::uint8_t kGetStatus = 3;
constexpr std::uint8_t kClearStatus = 4;
constexpr std::uint8_t kGetState = 5;
constexpr std::uint8_t kAbort = 6;

ControlAnswer AcknowledgedIf(bool answered) {
    return answered ? ControlAnswer::Acknowledged() : ControlAnswer::Stalled();
}

}  // namespace

DfuPersonality::DfuPersonality(SensorStore store, const SensorState& state)
    : identity_{kDfuVendorId, kDfuProductId, kDfuBcdDevice, state.manufacturer, state.product, state.serial},
      port_(std::move(store), state) {}

std::vector<std::uint8_t> DfuPersonality::FunctionDescriptors() const {
    std::vector<std::uint8_t> set =
        UsbDescriptors::Interface(0, 0, kApplicationSpecificClass, kDfuSubclass, kDfuModeProtocol, kLayoutString);
    for (const std::vector<std::uint8_t>& next :
         {UsbDescriptors::Interface(1, 0, kHidClass, 0, 0, 0),  // carries the functional descriptor past FunctionFS
          UsbDescriptors::DfuFunctional(port_.TransferSize())}) {
        set.insert(set.end(), next.begin(), next.end());
    }
    return FunctionFsBlobs::Descriptors(set, set);
}

std::vector<std::uint8_t> DfuPersonality::FunctionStrings() const {
    return FunctionFsBlobs::Strings({port_.MemoryLayout()});
}

ControlAnswer DfuPersonality::Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data) {
    const bool in = setup.requestType == kClassInterfaceIn;
    if ((!in && setup.requestType != kClassInterfaceOut) || setup.index != 0) {
        return ControlAnswer::Stalled();
    }
    switch (setup.request) {
        case kDnload:
            return in ? ControlAnswer::Stalled() : Download(setup, data);
        case kUpload:
            return in ? Upload(setup) : ControlAnswer::Stalled();
        case kGetStatus:
            return in ? Status() : ControlAnswer::Stalled();
        case kClearStatus:
            return in ? ControlAnswer::Stalled() : AcknowledgedIf(port_.ClearStatus());
        case kGetState:
            return in ? State() : ControlAnswer::Stalled();
        case kAbort:
            return in ? ControlAnswer::Stalled() : AcknowledgedIf(port_.Abort());
        default:
            return ControlAnswer::Stalled();
    }
}

ControlAnswer DfuPersonality::Download(const ControlSetup& setup, const std::vector<std::uint8_t>& data) {
    return AcknowledgedIf(port_.Dnload(setup.value, data.empty() ? nullptr : data.data(), data.size()));
}

ControlAnswer DfuPersonality::Upload(const ControlSetup& setup) {
    std::vector<std::uint8_t> bytes(setup.length);
    std::size_t received = 0;
    if (!port_.Upload(setup.value, bytes.data(), bytes.size(), received)) {
        return ControlAnswer::Stalled();
    }
    bytes.resize(received);
    return ControlAnswer::WithData(std::move(bytes));
}

ControlAnswer DfuPersonality::Status() {
    DfuStatusReport report;
    if (!port_.GetStatus(report)) {
        return ControlAnswer::Stalled();
    }
    const std::uint32_t poll = report.pollTimeoutMs;
    return ControlAnswer::WithData({report.status, static_cast<std::uint8_t>(poll), static_cast<std::uint8_t>(poll >> 8),
                                    static_cast<std::uint8_t>(poll >> 16), report.state, report.stringIndex});
}

ControlAnswer DfuPersonality::State() {
    std::uint8_t state = 0;
    if (!port_.GetState(state)) {
        return ControlAnswer::Stalled();
    }
    return ControlAnswer::WithData({state});
}

}  // namespace tarnix::sim
