#include "platform/linux/UsbfsDfuTransport.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <vector>

#include "platform/TextEncoding.h"
#include "platform/linux/SysfsFile.h"
#include "platform/linux/UdevDevice.h"

namespace tarnix::platform {

namespace {

namespace dfu = io::dfu;

constexpr std::uint8_t kStandardIn = 0x80;  // device to host, standard request, to the device

constexpr std::uint8_t kGetDescriptor = 6;

constexpr std::uint16_t kStringDescriptor = 0x0300;
constexpr std::uint16_t kEnglishUnitedStates = 0x0409;
constexpr std::size_t kStringDescriptorLimit = 255;
constexpr unsigned kTransferTimeoutMs = 5000;
constexpr std::size_t kLargestTransfer = 0xFFFF;  // wLength
// The sysfs descriptors of a device: the device descriptor and its configurations, a few hundred bytes.
constexpr std::size_t kDescriptorsLimit = 65536;

// The USB device whose node is the path, and what its descriptors say of its DFU interface.
std::optional<DfuDescriptorSummary> DescriptorsOf(const std::string& devicePath)
{
    for (const UdevDevice& device : UdevDevice::List("usb", "usb_device")) {
        if (device.Devnode() != devicePath) {
            continue;
        }
        const auto blob = SysfsFile::ReadBytes(device.Syspath() + "/descriptors", kDescriptorsLimit);
        return blob ? UsbDescriptorParser::ParseDfu(blob->data(), blob->size()) : std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<io::DfuTransport> UsbfsDfuTransport::Open(const std::string& devicePath)
{
    const std::optional<DfuDescriptorSummary> descriptors = DescriptorsOf(devicePath);
    if (!descriptors) {
        return nullptr;
    }
    std::shared_ptr<SharedUsbfsClaim> claim = SharedUsbfsClaim::Acquire(devicePath, descriptors->interfaceNumber);
    if (!claim) {
        return nullptr;
    }
    auto transport = std::make_unique<UsbfsDfuTransport>(std::move(claim), *descriptors);
    transport->memoryLayout_ = transport->ReadMemoryLayout();
    return transport;
}

UsbfsDfuTransport::UsbfsDfuTransport(std::shared_ptr<SharedUsbfsClaim> claim, const DfuDescriptorSummary& descriptors)
    : claim_(std::move(claim)), descriptors_(descriptors)
{
}

UsbfsDfuTransport::~UsbfsDfuTransport() = default;

std::string UsbfsDfuTransport::ReadMemoryLayout()
{
    if (descriptors_.interfaceString == 0) {
        return {};
    }
    std::array<std::uint8_t, kStringDescriptorLimit> answer{};
    const auto received = Control(kStandardIn, kGetDescriptor, kStringDescriptor | descriptors_.interfaceString,
                                  kEnglishUnitedStates, answer.data(), answer.size());
    const auto text = received ? UsbDescriptorParser::ParseString(answer.data(), *received) : std::nullopt;
    return text ? TextEncoding::Utf16ToUtf8(*text) : std::string();
}

std::optional<std::size_t> UsbfsDfuTransport::Control(std::uint8_t requestType, std::uint8_t request,
                                                      std::uint16_t value, std::uint16_t index, void* data,
                                                      std::size_t length)
{
    if (length > kLargestTransfer || (data == nullptr && length != 0)) {
        return std::nullopt;
    }
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = requestType;
    transfer.bRequest = request;
    transfer.wValue = value;
    transfer.wIndex = index;
    transfer.wLength = static_cast<std::uint16_t>(length);
    transfer.timeout = kTransferTimeoutMs;
    transfer.data = data;
    const int result = ::ioctl(claim_->Descriptor(), USBDEVFS_CONTROL, &transfer);
    if (result < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(result);
}

std::optional<std::size_t> UsbfsDfuTransport::ClassRequest(std::uint8_t requestType, io::dfu::Request request,
                                                           std::uint16_t value, void* data, std::size_t length)
{
    return Control(requestType, static_cast<std::uint8_t>(request), value, descriptors_.interfaceNumber, data, length);
}

bool UsbfsDfuTransport::Dnload(std::uint16_t block, const std::uint8_t* data, std::size_t length)
{
    if (data == nullptr && length != 0) {
        return false;
    }
    std::vector<std::uint8_t> copy;  // the transfer takes a writable buffer
    if (length != 0) {
        copy.assign(data, data + length);
    }
    std::uint8_t* bytes = copy.empty() ? nullptr : copy.data();
    return ClassRequest(dfu::kRequestTypeOut, dfu::Request::Dnload, block, bytes, copy.size()).has_value();
}

bool UsbfsDfuTransport::Upload(std::uint16_t block, std::uint8_t* data, std::size_t length, std::size_t& received)
{
    const std::optional<std::size_t> count =
        ClassRequest(dfu::kRequestTypeIn, dfu::Request::Upload, block, data, length);
    if (!count) {
        return false;
    }
    received = *count;
    return true;
}

bool UsbfsDfuTransport::GetStatus(io::DfuStatusReport& report)
{
    std::array<std::uint8_t, dfu::kStatusLength> answer{};
    const std::optional<std::size_t> count =
        ClassRequest(dfu::kRequestTypeIn, dfu::Request::GetStatus, 0, answer.data(), answer.size());
    if (!count || *count < dfu::kStatusLength) {
        return false;
    }
    report.status = answer[0];
    report.pollTimeoutMs = answer[1] | (answer[2] << 8) | (static_cast<std::uint32_t>(answer[3]) << 16);
    report.state = answer[4];
    report.stringIndex = answer[5];
    return true;
}

bool UsbfsDfuTransport::ClearStatus()
{
    return ClassRequest(dfu::kRequestTypeOut, dfu::Request::ClrStatus, 0, nullptr, 0).has_value();
}

bool UsbfsDfuTransport::GetState(std::uint8_t& state)
{
    std::uint8_t answer = 0;
    const std::optional<std::size_t> count = ClassRequest(dfu::kRequestTypeIn, dfu::Request::GetState, 0, &answer, 1);
    if (!count || *count < 1) {
        return false;
    }
    state = answer;
    return true;
}

bool UsbfsDfuTransport::Abort()
{
    return ClassRequest(dfu::kRequestTypeOut, dfu::Request::Abort, 0, nullptr, 0).has_value();
}

}  // namespace tarnix::platform
