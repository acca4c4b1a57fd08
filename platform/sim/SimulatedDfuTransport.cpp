#include "platform/sim/SimulatedDfuTransport.h"

#include "sim/UsbDfuPort.h"

#include <fcntl.h>

namespace tarnix::platform {

std::unique_ptr<DfuTransport> SimulatedDfuTransport::Open(const std::string& devicePath) {
    std::unique_ptr<sim::UsbDfuPort> port = sim::UsbDfuPort::Open(devicePath);
    io::FileDescriptor node = io::FileDescriptor::Open("/dev/null", O_RDONLY);
    if (!port || !node.IsValid()) {
        return nullptr;
    }
    return std::make_unique<SimulatedDfuTransport>(std::move(port), std::move(node));
}

SimulatedDfuTransport::SimulatedDfuTransport(std::unique_ptr<sim::UsbDfuPort> port, io::FileDescriptor node)
    : port_(std::move(port)), node_(std::move(node))
{
}

SimulatedDfuTransport::~SimulatedDfuTransport() = default;

bool SimulatedDfuTransport::Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length) {
    return port_->Dnload(block, data, length);
}

bool SimulatedDfuTransport::Upload(std::uint16_t block, std::uint8_t* data, std::size_t length,
                                   std::size_t& received) {
    return port_->Upload(block, data, length, received);
}

bool SimulatedDfuTransport::GetStatus(DfuStatusReport& report) {
    sim::DfuStatusReport answer;
    if (!port_->GetStatus(answer)) {
        return false;
    }
    report = DfuStatusReport{answer.status, answer.pollTimeoutMs, answer.state, answer.stringIndex};
    return true;
}

bool SimulatedDfuTransport::ClearStatus() { return port_->ClearStatus(); }

bool SimulatedDfuTransport::GetState(std::uint8_t& state) { return port_->GetState(state); }

bool SimulatedDfuTransport::Abort() { return port_->Abort(); }

std::uint16_t SimulatedDfuTransport::VendorId() const { return port_->VendorId(); }

std::uint16_t SimulatedDfuTransport::ProductId() const { return port_->ProductId(); }

std::uint16_t SimulatedDfuTransport::BcdDevice() const { return port_->BcdDevice(); }

std::uint16_t SimulatedDfuTransport::TransferSize() const { return port_->TransferSize(); }

std::string SimulatedDfuTransport::MemoryLayout() const { return port_->MemoryLayout(); }

}  // namespace tarnix::platform
