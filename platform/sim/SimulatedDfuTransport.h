#pragma once

#include <memory>
#include <string>

#include "platform/DfuTransport.h"

namespace tarnix::sim {
class UsbDfuPort;
}

namespace tarnix::platform {

// The DFU interface of a virtual sensor in DFU mode on the simulated bus.
class SimulatedDfuTransport : public DfuTransport {
public:
    static std::unique_ptr<DfuTransport> Open(const std::string& devicePath);

    explicit SimulatedDfuTransport(std::unique_ptr<sim::UsbDfuPort> port);
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
};

}  // namespace tarnix::platform
