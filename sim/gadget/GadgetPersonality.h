#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/gadget/ControlTransfer.h"
#include "sim/gadget/GadgetIds.h"

namespace tarnix::sim {

// One of the sensor's two USB personalities (normal mode, DFU bootloader) as a gadget with one FunctionFS
// function: its device identity, the function's descriptors and strings, and the device side of the
// control requests the kernel's gadget layer passes on (the standard ones it answers itself).
class GadgetPersonality {
public:
    virtual ~GadgetPersonality() = default;

    virtual GadgetIds Identity() const = 0;
    // The FunctionFS blobs of the function (FunctionFsBlobs).
    virtual std::vector<std::uint8_t> FunctionDescriptors() const = 0;
    virtual std::vector<std::uint8_t> FunctionStrings() const = 0;
    // The answer to one control request. For a host-to-device request with a data stage, `data` holds the
    // bytes received.
    virtual ControlAnswer Answer(const ControlSetup& setup, const std::vector<std::uint8_t>& data) = 0;
    // For a host-to-device request with a data stage, before the data is taken (taking it acknowledges the
    // request): the refusal, with its effects on the device, when the device refuses the request whatever
    // the data would be; nothing when the data decides (Answer then follows with it).
    virtual std::optional<ControlAnswer> AnswerBeforeData(const ControlSetup&) { return std::nullopt; }
};

}  // namespace tarnix::sim
