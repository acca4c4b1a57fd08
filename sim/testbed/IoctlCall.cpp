#include "sim/testbed/IoctlCall.h"

#include <cerrno>
#include <umockdev.h>

namespace tarnix::sim {

IoctlCall::IoctlCall(UMockdevIoctlClient* client) : client_(client) { g_object_ref(client_); }

IoctlCall::IoctlCall(IoctlCall&& other) noexcept
    : client_(other.client_),
      argument_(other.argument_),
      resolved_(std::move(other.resolved_)),
      completed_(other.completed_)
{
    other.client_ = nullptr;
    other.argument_ = nullptr;
    other.resolved_.clear();
    other.completed_ = true;
}

IoctlCall::~IoctlCall()
{
    Complete(IoctlAnswer::Failure(EIO));
    Release();
}

void IoctlCall::Release()
{
    for (UMockdevIoctlData* data : resolved_) {
        g_object_unref(data);
    }
    resolved_.clear();
    if (client_ != nullptr) {
        g_object_unref(client_);
        client_ = nullptr;
    }
}

unsigned long IoctlCall::Request() const { return client_ != nullptr ? umockdev_ioctl_client_get_request(client_) : 0; }

std::uint8_t* IoctlCall::Argument(std::size_t length)
{
    if (argument_ == nullptr && client_ != nullptr) {
        argument_ = Resolve(umockdev_ioctl_client_get_arg(client_), 0, length);
    }
    // umockdev maps the caller's memory once per call: a second, longer look cannot be had.
    const bool fits = argument_ != nullptr && static_cast<std::size_t>(argument_->data_len) >= length;
    return fits ? argument_->data : nullptr;
}

std::uint8_t* IoctlCall::Pointee(std::size_t offset, std::size_t length)
{
    if (argument_ == nullptr) {
        return nullptr;
    }
    UMockdevIoctlData* data = Resolve(argument_, offset, length);
    return data != nullptr ? data->data : nullptr;
}

void IoctlCall::Complete(const IoctlAnswer& answer)
{
    if (!completed_ && client_ != nullptr) {
        completed_ = true;
        umockdev_ioctl_client_complete(client_, answer.result, answer.error);
    }
}

// The fetched blocks are kept until the call ends: umockdev writes them back when it is completed.
UMockdevIoctlData* IoctlCall::Resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length)
{
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(parent, offset, length, &error);
    g_clear_error(&error);
    if (data == nullptr || data->data_len < 0 || static_cast<std::size_t>(data->data_len) < length) {
        if (data != nullptr) {
            g_object_unref(data);
        }
        return nullptr;
    }
    resolved_.push_back(data);
    return data;
}

}  // namespace tarnix::sim
