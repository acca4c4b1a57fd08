#include "sim/gadget/DfuPersonality.h"

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuControlRequests.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "sim/gadget/FunctionFsBlobs.h"

namespace tarnix::sim {

namespace {

constexpr std::uint8_t kApplicationSpecificClass = 0xFE;
constexpr std::uint8_t kDfuSubclass = 0x01;
constexpr std::uint8_t kDfuModeProtocol = 0x02;
constexpr std::uint8_t kHidClass = 0x03;
constexpr std::uint8_t kLayoutString = 1;  // the function's first string

}  // namespace

DfuPersonality::DfuPersonality(SensorStore store, const SensorState& state)
    : identity_{kDfuVendorId, kDfuProductId, kDfuBcdDevice, state.manufacturer, state.product, state.serial},
      port_(std::move(store), state)
{
}

std::vector<std::uint8_t> DfuPersonality::FunctionDescriptors() const
{
    std::vector<std::uint8_t> set =
        UsbDescriptorBuilder::Interface(0, 0, kApplicationSpecificClass, kDfuSubclass, kDfuModeProtocol, kLayoutString);
    // The second interface carries the functional descriptor past FunctionFS.
    for (const std::vector<std::uint8_t>& next : {UsbDescriptorBuilder::Interface(1, 0, kHidClass, 0, 0, 0),
                                                  UsbDescriptorBuilder::DfuFunctional(port_.TransferSize())}) {
        set.insert(set.end(), next.begin(), next.end());
    }
    return FunctionFsBlobs::Descriptors(set, set);
}

std::vector<std::uint8_t> DfuPersonality::FunctionStrings() const
{
    return FunctionFsBlobs::Strings({port_.MemoryLayout()});
}

ControlAnswer DfuPersonality::Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data)
{
    const bool in = setup.requestType == DfuControlRequests::kClassInterfaceIn;
    if ((!in && setup.requestType != DfuControlRequests::kClassInterfaceOut) || setup.index != 0) {
        return ControlAnswer::Stalled();
    }
    std::vector<std::uint8_t> bytes = in ? std::vector<std::uint8_t>(setup.length) : data;
    const DfuControlResult result =
        DfuControlRequests::Run(port_, in, setup.request, setup.value, bytes.data(), bytes.size());
    if (!result.recognised || !result.answered) {
        return ControlAnswer::Stalled();
    }
    if (!in) {
        return ControlAnswer::Acknowledged();
    }
    bytes.resize(result.length);
    return ControlAnswer::WithData(std::move(bytes));
}

}  // namespace tarnix::sim
