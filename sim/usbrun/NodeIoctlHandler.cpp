#include "sim/usbrun/NodeIoctlHandler.h"

#include <cerrno>
#include <umockdev.h>
#include <vector>

namespace tarnix::sim {

namespace {

// The memory of one ioctl, fetched from the calling program through umockdev. The fetched blocks are kept
// until the call is answered, when umockdev writes them back.
class UmockdevIoctlCall : public IoctlCall {
public:
    explicit UmockdevIoctlCall(UMockdevIoctlClient* client) : client_(client) {}
    ~UmockdevIoctlCall() override {
        for (UMockdevIoctlData* data : resolved_) {
            g_object_unref(data);
        }
    }
    UmockdevIoctlCall(const UmockdevIoctlCall&) = delete;
    UmockdevIoctlCall& operator=(const UmockdevIoctlCall&) = delete;

    unsigned long Request() const override { return umockdev_ioctl_client_get_request(client_); }

    std::uint8_t* Argument(std::size_t length) override {
        argument_ = Resolve(umockdev_ioctl_client_get_arg(client_), 0, length);
        return argument_ != nullptr ? argument_->data : nullptr;
    }

    std::uint8_t* Pointee(std::size_t offset, std::size_t length) override {
        if (argument_ == nullptr) {
            return nullptr;
        }
        UMockdevIoctlData* data = Resolve(argument_, offset, length);
        return data != nullptr ? data->data : nullptr;
    }

private:
    UMockdevIoctlData* Resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length) {
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

    UMockdevIoctlClient* client_;
    UMockdevIoctlData* argument_ = nullptr;
    std::vector<UMockdevIoctlData*> resolved_;
};

}  // namespace

NodeIoctlHandler::NodeIoctlHandler() : base_(umockdev_ioctl_base_new()) {
    g_signal_connect(base_, "client-connected", G_CALLBACK(&NodeIoctlHandler::OnConnected), this);
    g_signal_connect(base_, "handle-ioctl", G_CALLBACK(&NodeIoctlHandler::OnIoctl), this);
}

// The test bed, whose worker thread calls in, is gone before this: no call can arrive any more.
NodeIoctlHandler::~NodeIoctlHandler() {
    g_signal_handlers_disconnect_by_data(base_, this);
    for (const auto& entry : endpoints_) {
        g_object_weak_unref(G_OBJECT(const_cast<void*>(entry.first)), &NodeIoctlHandler::OnClientFinalized, this);
    }
    g_object_unref(base_);
}

void NodeIoctlHandler::Bind(const std::string& devNode, EndpointOpener opener) {
    std::lock_guard<std::mutex> lock(mutex_);
    openers_[devNode] = std::move(opener);
}

void NodeIoctlHandler::Unbind(const std::string& devNode) {
    std::lock_guard<std::mutex> lock(mutex_);
    openers_.erase(devNode);
}

void NodeIoctlHandler::OnConnected(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* self) {
    static_cast<NodeIoctlHandler*>(self)->Connect(client);
}

int NodeIoctlHandler::OnIoctl(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* self) {
    static_cast<NodeIoctlHandler*>(self)->Answer(client);
    return TRUE;
}

void NodeIoctlHandler::OnClientFinalized(void* self, _GObject* client) {
    auto* handler = static_cast<NodeIoctlHandler*>(self);
    std::shared_ptr<NodeEndpoint> released;
    std::lock_guard<std::mutex> lock(handler->mutex_);
    const auto entry = handler->endpoints_.find(client);
    if (entry != handler->endpoints_.end()) {
        released = std::move(entry->second);
        handler->endpoints_.erase(entry);
    }
}

void NodeIoctlHandler::Connect(_UMockdevIoctlClient* client) {
    const char* devNode = umockdev_ioctl_client_get_devnode(client);
    EndpointOpener opener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto bound = openers_.find(devNode != nullptr ? devNode : "");
        if (bound == openers_.end()) {
            return;
        }
        opener = bound->second;
    }
    std::shared_ptr<NodeEndpoint> endpoint;
    try {
        endpoint = opener();
    } catch (const std::exception&) {
        return;  // the file then fails every ioctl
    }
    if (!endpoint) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    endpoints_[client] = std::move(endpoint);
    g_object_weak_ref(G_OBJECT(client), &NodeIoctlHandler::OnClientFinalized, this);
}

void NodeIoctlHandler::Answer(_UMockdevIoctlClient* client) {
    const std::shared_ptr<NodeEndpoint> endpoint = EndpointOf(client);
    UmockdevIoctlCall call(client);
    IoctlAnswer answer = IoctlAnswer::Failure(ENODEV);
    if (endpoint) {
        try {
            answer = endpoint->Handle(call);
        } catch (const std::exception&) {
            answer = IoctlAnswer::Failure(EIO);
        }
    }
    umockdev_ioctl_client_complete(client, answer.result, answer.error);
}

std::shared_ptr<NodeEndpoint> NodeIoctlHandler::EndpointOf(const void* client) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = endpoints_.find(client);
    return entry != endpoints_.end() ? entry->second : nullptr;
}

}  // namespace tarnix::sim
