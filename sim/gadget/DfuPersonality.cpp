#include "sim/gadget/DfuPersonality.h"

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/sensor/DfuControlRequests.h"
#include "sim/sensor/FlashMemory.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "sim/gadget/FunctionFsBlobs.h"
#include "io/DfuProtocol.h"

namespace tarnix::sim {

namespace {

namespace dfu = io::dfu;

constexpr std::uint8_t kHidClass = 0x03;
constexpr std::uint8_t kLayoutString = 1;  // the function's first string
// Bytes that leave flash as it is (programming clears bits only): they stand in for data not taken.
constexpr std::uint8_t kUntouchedFlash = 0xFF;

}  // namespace

DfuPersonality::DfuPersonality(SensorStore store, const SensorState& state)
    : identity_{kDfuVendorId, kDfuProductId, kDfuBcdDevice, state.manufacturer, state.product, state.serial},
      store_(store),
      serial_(state.serial),
      port_(std::move(store), state)
{
}

std::vector<std::uint8_t> DfuPersonality::FunctionDescriptors() const
{
    std::vector<std::uint8_t> set = UsbDescriptorBuilder::Interface(0, 0, dfu::kInterfaceClass, dfu::kInterfaceSubclass,
                                                                    dfu::kDfuModeProtocol, kLayoutString);
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
    const bool in = setup.requestType == dfu::kRequestTypeIn;
    if ((!in && setup.requestType != dfu::kRequestTypeOut) || setup.index != 0) {
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

std::optional<ControlAnswer> DfuPersonality::AnswerBeforeData(const ControlSetup& setup)
{
    const bool dataBlock = setup.requestType == dfu::kRequestTypeOut && setup.index == 0 &&
                           static_cast<dfu::Request>(setup.request) == dfu::Request::Dnload && setup.value != 0 &&
                           setup.length > 0;
    if (!dataBlock || !RefusesDataBlock(setup)) {
        return std::nullopt;
    }
    // The bootloader's own refusal, with what it does to the device: a lasting stall, a fault spent, a drop
    // off the bus.
    Answer(setup, std::vector<std::uint8_t>(setup.length, kUntouchedFlash));
    return ControlAnswer::Stalled();
}

// The request tried on a copy of the bootloader's registers and on scratch flash.
bool DfuPersonality::RefusesDataBlock(const ControlSetup& setup) const
{
    const auto state = store_.Load(serial_);
    if (!state || !port_.Present()) {
        return true;  // nothing answers a device that has gone
    }
    DfuRegisters registers = state->dfu;
    DfuBootloader trial(registers, state->fault, state->faultOnce);
    FlashMemory scratch;
    const std::vector<std::uint8_t> data(setup.length, kUntouchedFlash);
    return !trial.Dnload(setup.value, data.data(), data.size(), scratch).answered;
}

}  // namespace tarnix::sim
