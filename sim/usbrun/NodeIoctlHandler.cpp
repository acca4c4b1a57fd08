#include "sim/usbrun/NodeIoctlHandler.h"

#include <cerrno>
#include <map>
#include <mutex>
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

// The bound nodes and the endpoints of the open files.
class NodeIoctlHandler::Nodes {
public:
    static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
        const auto& nodes = *static_cast<std::shared_ptr<Nodes>*>(data);
        nodes->Connect(client, nodes);
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
        (*static_cast<std::shared_ptr<Nodes>*>(data))->Answer(client);
        return TRUE;
    }

    static void Release(gpointer data, GClosure*) { delete static_cast<std::shared_ptr<Nodes>*>(data); }

    // A closed file's endpoint goes; the handler may be gone by then.
    static void OnClientFinalized(gpointer data, GObject* client) {
        const std::unique_ptr<std::weak_ptr<Nodes>> owner(static_cast<std::weak_ptr<Nodes>*>(data));
        if (const auto nodes = owner->lock()) {
            nodes->Forget(client);
        }
    }

    void Bind(const std::string& devNode, EndpointOpener opener) {
        std::lock_guard<std::mutex> lock(mutex_);
        openers_[devNode] = std::move(opener);
    }

    void Unbind(const std::string& devNode) {
        std::lock_guard<std::mutex> lock(mutex_);
        openers_.erase(devNode);
    }

private:
    void Connect(UMockdevIoctlClient* client, const std::shared_ptr<Nodes>& self) {
        const EndpointOpener opener = OpenerOf(umockdev_ioctl_client_get_devnode(client));
        std::shared_ptr<NodeEndpoint> endpoint;
        try {
            endpoint = opener ? opener() : nullptr;
        } catch (const std::exception&) {
            endpoint.reset();  // the file then fails every ioctl
        }
        if (!endpoint) {
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        endpoints_[client] = std::move(endpoint);
        g_object_weak_ref(G_OBJECT(client), &Nodes::OnClientFinalized, new std::weak_ptr<Nodes>(self));
    }

    void Answer(UMockdevIoctlClient* client) {
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

    void Forget(const void* client) {
        std::shared_ptr<NodeEndpoint> released;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto entry = endpoints_.find(client);
        if (entry != endpoints_.end()) {
            released = std::move(entry->second);
            endpoints_.erase(entry);
        }
    }

    EndpointOpener OpenerOf(const char* devNode) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto bound = openers_.find(devNode != nullptr ? devNode : "");
        return bound != openers_.end() ? bound->second : EndpointOpener();
    }

    std::shared_ptr<NodeEndpoint> EndpointOf(const void* client) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto entry = endpoints_.find(client);
        return entry != endpoints_.end() ? entry->second : nullptr;
    }

    std::mutex mutex_;
    std::map<std::string, EndpointOpener> openers_;
    std::map<const void*, std::shared_ptr<NodeEndpoint>> endpoints_;
};

NodeIoctlHandler::NodeIoctlHandler() : nodes_(std::make_shared<Nodes>()), base_(umockdev_ioctl_base_new()) {
    connectedHandler_ = g_signal_connect_data(base_, "client-connected", G_CALLBACK(&Nodes::OnConnected),
                                              new std::shared_ptr<Nodes>(nodes_), &Nodes::Release, GConnectFlags(0));
    ioctlHandler_ = g_signal_connect_data(base_, "handle-ioctl", G_CALLBACK(&Nodes::OnIoctl),
                                          new std::shared_ptr<Nodes>(nodes_), &Nodes::Release, GConnectFlags(0));
}

NodeIoctlHandler::~NodeIoctlHandler() {
    g_signal_handler_disconnect(base_, connectedHandler_);
    g_signal_handler_disconnect(base_, ioctlHandler_);
    g_object_unref(base_);
}

void NodeIoctlHandler::Bind(const std::string& devNode, EndpointOpener opener) {
    nodes_->Bind(devNode, std::move(opener));
}

void NodeIoctlHandler::Unbind(const std::string& devNode) { nodes_->Unbind(devNode); }

}  // namespace tarnix::sim
