#include "platform/sim/SimulatedHidDevice.h"

#include <algorithm>

#include "sim/SimHidDevice.h"

#include <fcntl.h>

namespace tarnix::platform {

namespace {

using StringReader = bool (sim::SimHidDevice::*)(std::string&) const;

std::optional<std::string> ReadString(const sim::SimHidDevice& device, StringReader reader) {
    std::string text;
    if (!(device.*reader)(text)) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::unique_ptr<HidDevice> SimulatedHidDevice::Open(const std::string& devicePath, Access access) {
    auto device = sim::SimHidDevice::Open(
        devicePath, access == Access::Probe ? sim::SimHidDevice::Access::Probe : sim::SimHidDevice::Access::ReadWrite);
    if (!device) {
        return nullptr;
    }
    io::FileDescriptor node;
    if (access == Access::ReadWrite) {
        node = io::FileDescriptor::Open("/dev/null", O_RDONLY);
        if (!node.IsValid()) {
            return nullptr;
        }
    }
    return std::make_unique<SimulatedHidDevice>(std::move(device), std::move(node));
}

SimulatedHidDevice::SimulatedHidDevice(std::unique_ptr<sim::SimHidDevice> device, io::FileDescriptor node)
    : device_(std::move(device)), node_(std::move(node))
{
}

SimulatedHidDevice::~SimulatedHidDevice() = default;

std::optional<HidCapabilities> SimulatedHidDevice::Capabilities() const {
    sim::HidCapabilities found;
    if (!device_->GetCapabilities(found)) {
        return std::nullopt;
    }
    return HidCapabilities{found.usagePage, found.usage, found.inputReportLength, found.outputReportLength,
                           found.featureReportLength};
}

std::optional<std::string> SimulatedHidDevice::ManufacturerString() const {
    return ReadString(*device_, &sim::SimHidDevice::GetManufacturer);
}

std::optional<std::string> SimulatedHidDevice::ProductString() const {
    return ReadString(*device_, &sim::SimHidDevice::GetProduct);
}

std::optional<std::string> SimulatedHidDevice::SerialNumberString() const {
    return ReadString(*device_, &sim::SimHidDevice::GetSerialNumber);
}

bool SimulatedHidDevice::SetFeature(const std::uint8_t* report, std::size_t length) {
    return device_->SetFeature(report, length);
}

bool SimulatedHidDevice::GetFeature(std::uint8_t* report, std::size_t length) {
    const std::optional<std::size_t> received = device_->GetFeature(report, length);
    if (!received) {
        return false;
    }
    std::fill(report + *received, report + length, 0);  // a shorter report is followed by zeros
    return true;
}

}  // namespace tarnix::platform
