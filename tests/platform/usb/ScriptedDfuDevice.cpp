#include "tests/platform/usb/ScriptedDfuDevice.h"

#include "tests/platform/usb/UsbRecords.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace tarnix::test {

namespace {

constexpr std::uint8_t kDfuDnload = 1;
constexpr std::uint8_t kDfuUpload = 2;
constexpr std::uint8_t kDfuGetStatus = 3;
constexpr std::uint8_t kDfuClrStatus = 4;
constexpr std::uint8_t kDfuGetState = 5;
constexpr std::uint8_t kDfuAbort = 6;

constexpr std::uint8_t kIdle = 2;
constexpr std::uint8_t kDnloadIdle = 5;
constexpr std::uint8_t kManifestSync = 6;
constexpr std::uint8_t kManifest = 7;
constexpr std::uint8_t kUploadIdle = 9;

constexpr int kStalled = -EPIPE;

std::string ControlLine(const usbdevfs_ctrltransfer& transfer) {
    char line[80];
    std::snprintf(line, sizeof line, "control %02x %02x %04x %04x %u %u", transfer.bRequestType, transfer.bRequest,
                  transfer.wValue, transfer.wIndex, transfer.wLength, transfer.timeout);
    return line;
}

// A string descriptor of the text (ASCII only), cut to the requested length.
int StringDescriptor(const std::string& text, std::uint8_t* data, std::size_t length) {
    std::vector<std::uint8_t> descriptor{static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
    for (const char c : text) {
        descriptor.insert(descriptor.end(), {static_cast<std::uint8_t>(c), 0x00});
    }
    const std::size_t count = std::min(descriptor.size(), length);
    std::copy_n(descriptor.begin(), count, data);
    return static_cast<int>(count);
}

usbdevfs_disconnect_claim DisconnectClaimOf(const std::uint8_t* argument) {
    usbdevfs_disconnect_claim claim{};
    std::copy_n(argument, sizeof claim, reinterpret_cast<std::uint8_t*>(&claim));
    return claim;
}

std::string DriverNameOf(const usbdevfs_disconnect_claim& claim) {
    return std::string(claim.driver, strnlen(claim.driver, sizeof claim.driver));
}

}  // namespace

std::uint8_t ScriptedDfuDevice::Pattern(std::uint16_t block, std::size_t index) {
    return static_cast<std::uint8_t>(block * 7 + index * 13);
}

void ScriptedDfuDevice::BindDriver(const std::string& driver) {
    std::lock_guard<std::mutex> guard(mutex_);
    driver_ = driver;
}

std::string ScriptedDfuDevice::BoundDriver() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return driver_;
}

void ScriptedDfuDevice::SetInterfaceErrors(int claim, int setInterface) {
    std::lock_guard<std::mutex> guard(mutex_);
    claimError_ = claim;
    setInterfaceError_ = setInterface;
}

void ScriptedDfuDevice::Stall(std::uint8_t dfuRequest) {
    std::lock_guard<std::mutex> guard(mutex_);
    stalled_.insert(dfuRequest);
}

void ScriptedDfuDevice::HoldNextUpload() {
    std::lock_guard<std::mutex> guard(mutex_);
    holdNextUpload_ = true;
}

bool ScriptedDfuDevice::WaitForHeldUpload(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return heldChanged_.wait_for(lock, timeout, [this] { return held_ != nullptr; });
}

void ScriptedDfuDevice::FailHeldUpload(int error) {
    std::unique_ptr<sim::IoctlCall> call;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        call = std::move(held_);
    }
    if (call) {
        call->Complete(sim::IoctlAnswer::Failure(error));
    }
}

std::vector<std::string> ScriptedDfuDevice::Log() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return log_;
}

std::vector<std::vector<std::uint8_t>> ScriptedDfuDevice::Downloads() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return downloads_;
}

bool ScriptedDfuDevice::HasLeftDfuMode() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return left_;
}

void ScriptedDfuDevice::AddLog(const std::string& line) {
    std::lock_guard<std::mutex> guard(mutex_);
    log_.push_back(line);
}

sim::IoctlAnswer ScriptedDfuDevice::Answer(sim::IoctlCall& call) {
    const unsigned long request = call.Request();
    if (request == USBDEVFS_CONTROL) {
        return Control(call);
    }
    if (request == USBDEVFS_IOCTL) {
        return InterfaceRequest(call, "disconnect", sizeof(usbdevfs_ioctl));
    }
    if (request == USBDEVFS_CLAIMINTERFACE) {
        return InterfaceRequest(call, "claim", sizeof(unsigned int));
    }
    if (request == USBDEVFS_DISCONNECT_CLAIM) {
        return InterfaceRequest(call, "disconnect-claim", sizeof(usbdevfs_disconnect_claim));
    }
    if (request == USBDEVFS_SETINTERFACE) {
        return InterfaceRequest(call, "setinterface", sizeof(usbdevfs_setinterface));
    }
    if (request == USBDEVFS_RELEASEINTERFACE) {
        return InterfaceRequest(call, "release", sizeof(unsigned int));
    }
    return sim::IoctlAnswer::Failure(ENOTTY);
}

sim::IoctlAnswer ScriptedDfuDevice::InterfaceRequest(sim::IoctlCall& call, const char* name,
                                                     std::size_t argumentSize) {
    const std::uint8_t* argument = call.Argument(argumentSize);
    if (argument == nullptr) {
        return sim::IoctlAnswer::Failure(EFAULT);
    }
    // Each of the argument structures starts with the interface number as an int.
    int interface = 0;
    std::copy_n(argument, sizeof interface, reinterpret_cast<std::uint8_t*>(&interface));
    std::string line = std::string(name) + " " + std::to_string(interface);
    if (std::string(name) == "setinterface") {
        usbdevfs_setinterface setting{};
        std::copy_n(argument, sizeof setting, reinterpret_cast<std::uint8_t*>(&setting));
        line += " " + std::to_string(setting.altsetting);
    }
    if (std::string(name) == "disconnect-claim") {
        const usbdevfs_disconnect_claim claim = DisconnectClaimOf(argument);
        line += (claim.flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) ? " except " + DriverNameOf(claim)
                : (claim.flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER)   ? " if " + DriverNameOf(claim)
                                                                        : std::string(" always");
    }
    AddLog(line);
    const int error = InterfaceError(name, argument);
    return error == 0 ? sim::IoctlAnswer::Success(0) : sim::IoctlAnswer::Failure(error);
}

// What the kernel answers to the interface requests, given the driver bound to the interface.
int ScriptedDfuDevice::InterfaceError(const std::string& name, const std::uint8_t* argument) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (name == "disconnect") {
        const bool bound = !driver_.empty();
        driver_.clear();
        return bound ? 0 : ENODATA;
    }
    if (name == "disconnect-claim") {
        return DisconnectClaim(argument);
    }
    if (name == "claim") {
        if (!driver_.empty()) {
            return EBUSY;
        }
        driver_ = claimError_ == 0 ? "usbfs" : "";
        return claimError_;
    }
    if (name == "release") {
        driver_.clear();
        return 0;
    }
    return name == "setinterface" ? setInterfaceError_ : 0;
}

int ScriptedDfuDevice::DisconnectClaim(const std::uint8_t* argument) {
    const usbdevfs_disconnect_claim claim = DisconnectClaimOf(argument);
    const std::string named = DriverNameOf(claim);
    if (!driver_.empty() && (((claim.flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) && named != driver_) ||
                             ((claim.flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) && named == driver_))) {
        return EBUSY;
    }
    driver_ = claimError_ == 0 ? "usbfs" : "";
    return claimError_;
}

sim::IoctlAnswer ScriptedDfuDevice::Control(sim::IoctlCall& call) {
    auto* transfer = reinterpret_cast<usbdevfs_ctrltransfer*>(call.Argument(sizeof(usbdevfs_ctrltransfer)));
    if (transfer == nullptr) {
        return sim::IoctlAnswer::Failure(EFAULT);
    }
    AddLog(ControlLine(*transfer));
    std::uint8_t* data =
        transfer->wLength == 0 ? nullptr : call.Pointee(offsetof(usbdevfs_ctrltransfer, data), transfer->wLength);
    if (transfer->wLength != 0 && data == nullptr) {
        return sim::IoctlAnswer::Failure(EFAULT);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (transfer->bRequest == kDfuUpload && transfer->bRequestType == 0xA1 && holdNextUpload_) {
        holdNextUpload_ = false;
        held_ = std::make_unique<sim::IoctlCall>(std::move(call));
        heldChanged_.notify_all();
        return sim::IoctlAnswer::Failure(EIO);  // goes nowhere: the held call is answered later
    }
    int result = kStalled;
    if (transfer->bRequestType == 0x80 && transfer->bRequest == 6) {
        result = StandardRequest(transfer->wValue, data, transfer->wLength);
    } else if ((transfer->bRequestType == 0x21 || transfer->bRequestType == 0xA1) && transfer->wIndex == 0) {
        result = ClassRequest(transfer->bRequest, transfer->wValue, data, transfer->wLength);
    }
    return result < 0 ? sim::IoctlAnswer::Failure(-result) : sim::IoctlAnswer::Success(result);
}

int ScriptedDfuDevice::StandardRequest(std::uint16_t value, std::uint8_t* data, std::size_t length) {
    if (value == 0x0300) {
        const std::uint8_t languages[] = {4, 0x03, 0x09, 0x04};
        const std::size_t count = std::min(sizeof languages, length);
        std::copy_n(languages, count, data);
        return static_cast<int>(count);
    }
    return value == 0x0304 ? StringDescriptor(usb_records::kMemoryLayout, data, length) : kStalled;
}

int ScriptedDfuDevice::ClassRequest(std::uint8_t request, std::uint16_t value, std::uint8_t* data, std::size_t length) {
    if (stalled_.count(request) != 0) {
        return kStalled;
    }
    switch (request) {
        case kDfuDnload:
            downloads_.emplace_back(data, data + length);
            state_ = length == 0 ? kManifestSync : kDnloadIdle;
            return static_cast<int>(length);
        case kDfuUpload:
            for (std::size_t i = 0; i < length; ++i) {
                data[i] = Pattern(value, i);
            }
            state_ = kUploadIdle;
            return static_cast<int>(length);
        case kDfuGetStatus: {
            if (state_ == kManifestSync) {
                state_ = kManifest;
                left_ = true;
            }
            const std::uint8_t status[] = {0x00, 0x0A, 0x00, 0x00, state_, 0x00};
            const std::size_t count = std::min(sizeof status, length);
            std::copy_n(status, count, data);
            return static_cast<int>(count);
        }
        case kDfuClrStatus:
        case kDfuAbort:
            state_ = kIdle;
            return 0;
        case kDfuGetState:
            if (length >= 1) {
                data[0] = state_;
            }
            return std::min<int>(1, static_cast<int>(length));
        default:
            return kStalled;
    }
}

}  // namespace tarnix::test
