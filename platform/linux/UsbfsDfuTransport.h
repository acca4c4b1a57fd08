#pragma once

#include <memory>
#include <optional>
#include <string>

#include "io/DfuProtocol.h"
#include "io/DfuTransport.h"
#include "platform/linux/SharedUsbfsClaim.h"
#include "platform/linux/UsbDescriptorParser.h"

namespace tarnix::platform {

// The DFU interface of a USB device on the real bus, reached through its usbfs node: the interface is
// claimed (after detaching any kernel driver, never another program's claim; shared with the other
// transports of this process on the same device) and set to alternate setting 0 for as long as the object
// lives; every DFU request is one synchronous control transfer with a time-out, so none waits for ever.
class UsbfsDfuTransport : public io::DfuTransport {
public:
    // The device path is the usbfs node, /dev/bus/usb/BBB/DDD. Nothing when no USB device has it, its
    // descriptors show no DFU interface with its functional descriptor, the node cannot be opened or the
    // interface cannot be claimed (another program holds it, for one).
    static std::unique_ptr<io::DfuTransport> Open(const std::string& devicePath);

    UsbfsDfuTransport(std::shared_ptr<SharedUsbfsClaim> claim, const DfuDescriptorSummary& descriptors);
    ~UsbfsDfuTransport() override;

    bool Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length) override;
    bool Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received) override;
    bool GetStatus(io::DfuStatusReport& report) override;
    bool ClearStatus() override;
    bool GetState(std::uint8_t& state) override;
    bool Abort() override;

    std::uint16_t VendorId() const override { return descriptors_.vendorId; }
    std::uint16_t ProductId() const override { return descriptors_.productId; }
    std::uint16_t BcdDevice() const override { return descriptors_.bcdDevice; }
    std::uint16_t TransferSize() const override { return descriptors_.transferSize; }
    // Read once when the interface is claimed; empty when the device did not give it.
    std::string MemoryLayout() const override { return memoryLayout_; }

private:
    std::string ReadMemoryLayout();
    // One control transfer; the byte count, or nothing when the transfer failed (stall, device gone,
    // time-out).
    std::optional<std::size_t> Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, void* data, std::size_t length);
    std::optional<std::size_t> ClassRequest(std::uint8_t requestType, io::dfu::Request request, std::uint16_t value,
                                            void* data, std::size_t length);

    std::shared_ptr<SharedUsbfsClaim> claim_;
    DfuDescriptorSummary descriptors_;
    std::string memoryLayout_;
};

}  // namespace tarnix::platform
