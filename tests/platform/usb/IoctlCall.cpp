#include "tests/platform/usb/IoctlCall.h"

#include <cerrno>
#include <umockdev.h>

namespace tarnix::test {

IoctlCall::IoctlCall(UMockdevIoctlClient* client) : client_(client) { g_object_ref(client_); }

IoctlCall::~IoctlCall() {
    if (!completed_) {
        Complete(-1, EIO);
    }
    for (UMockdevIoctlData* data : pointees_) {
        g_object_unref(data);
    }
    if (argument_ != nullptr) {
        g_object_unref(argument_);
    }
    g_object_unref(client_);
}

unsigned long IoctlCall::Request() const { return umockdev_ioctl_client_get_request(client_); }

std::uint8_t* IoctlCall::Argument(std::size_t length) {
    if (argument_ == nullptr) {
        argument_ = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client_), 0, length, nullptr);
    }
    return argument_ != nullptr ? argument_->data : nullptr;
}

std::uint8_t* IoctlCall::Pointee(std::size_t offset, std::size_t length) {
    if (argument_ == nullptr || length == 0) {
        return nullptr;
    }
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(argument_, offset, length, nullptr);
    if (data == nullptr) {
        return nullptr;
    }
    pointees_.push_back(data);
    return data->data;
}

void IoctlCall::Complete(int result, int error) {
    if (!completed_) {
        completed_ = true;
        umockdev_ioctl_client_complete(client_, result, error);
    }
}

}  // namespace tarnix::test
