#pragma once

#include <memory>
#include <string>

#include "io/FileDescriptor.h"
#include "platform/DfuTransport.h"

namespace tarnix::sim {
class UsbDfuPort;
}

namespace tarnix::platform {

// The DFU interface of a virtual sensor in DFU mode on the simulated bus. It holds one file descriptor for as
// long as it lives, as the usbfs node does on the real bus, so that a session a program never closes shows in
// its descriptor count and runs into its descriptor limit here too.
class SimulatedDfuTransport : public DfuTransport {
public:
    // Nothing when the device cannot be opened or no descriptor is left.
    static std::unique_ptr<DfuTransport> Open(const std::string& devicePath);

    SimulatedDfuTransport(std::unique_ptr<sim::UsbDfuPort> port, io::FileDescriptor node);
    ~SimulatedDfuTransport() override;

    bool Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length) override;
    bool Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received) override;
    bool GetStatus(DfuStatusReport& report) override;
    bool ClearStatus() override;
    bool GetState(std::uint8_t& state) override;
    bool Abort() override;

    std::uint16_t VendorId() const override;
    std::uint16_t ProductId() const override;
    std::uint16_t BcdDevice() const override;
    std::uint16_t TransferSize() const override;
    std::string MemoryLayout() const override;

private:
    std::unique_ptr<sim::UsbDfuPort> port_;
    io::FileDescriptor node_;
};

}  // namespace tarnix::platform
