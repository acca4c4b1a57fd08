#include "sim/testbed/NodeIoctlHandler.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <umockdev.h>

namespace tarnix::sim {

// The bound nodes and the endpoints of the open files.
class NodeIoctlHandler::Nodes {
public:
    static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
    {
        const auto& nodes = *static_cast<std::shared_ptr<Nodes>*>(data);
        nodes->Connect(client, nodes);
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
    {
        (*static_cast<std::shared_ptr<Nodes>*>(data))->Answer(client);
        return TRUE;
    }

    static void Release(gpointer data, GClosure*) { delete static_cast<std::shared_ptr<Nodes>*>(data); }

    // A closed file's endpoint goes; the handler may be gone by then.
    static void OnClientFinalized(gpointer data, GObject* client)
    {
        const std::unique_ptr<std::weak_ptr<Nodes>> owner(static_cast<std::weak_ptr<Nodes>*>(data));
        if (const auto nodes = owner->lock()) {
            nodes->Forget(client);
        }
    }

    void Bind(const std::string& devNode, EndpointOpener opener)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openers_[devNode] = std::move(opener);
    }

    void Unbind(const std::string& devNode)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        openers_.erase(devNode);
    }

private:
    void Connect(UMockdevIoctlClient* client, const std::shared_ptr<Nodes>& self)
    {
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

    void Answer(UMockdevIoctlClient* client)
    {
        const std::shared_ptr<NodeEndpoint> endpoint = EndpointOf(client);
        IoctlCall call(client);
        IoctlAnswer answer = IoctlAnswer::Failure(ENODEV);
        if (endpoint) {
            try {
                answer = endpoint->Handle(call);
            } catch (const std::exception&) {
                answer = IoctlAnswer::Failure(EIO);
            }
        }
        call.Complete(answer);
    }

    void Forget(const void* client)
    {
        std::shared_ptr<NodeEndpoint> released;
        std::lock_guard<std::mutex> lock(mutex_);
        const auto entry = endpoints_.find(client);
        if (entry != endpoints_.end()) {
            released = std::move(entry->second);
            endpoints_.erase(entry);
        }
    }

    EndpointOpener OpenerOf(const char* devNode)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto bound = openers_.find(devNode != nullptr ? devNode : "");
        return bound != openers_.end() ? bound->second : EndpointOpener();
    }

    std::shared_ptr<NodeEndpoint> EndpointOf(const void* client)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto entry = endpoints_.find(client);
        return entry != endpoints_.end() ? entry->second : nullptr;
    }

    std::mutex mutex_;
    std::map<std::string, EndpointOpener> openers_;
    std::map<const void*, std::shared_ptr<NodeEndpoint>> endpoints_;
};

NodeIoctlHandler::NodeIoctlHandler() : nodes_(std::make_shared<Nodes>()), base_(umockdev_ioctl_base_new())
{
    connectedHandler_ = g_signal_connect_data(base_, "client-connected", G_CALLBACK(&Nodes::OnConnected),
                                              new std::shared_ptr<Nodes>(nodes_), &Nodes::Release, GConnectFlags(0));
    ioctlHandler_ = g_signal_connect_data(base_, "handle-ioctl", G_CALLBACK(&Nodes::OnIoctl),
                                          new std::shared_ptr<Nodes>(nodes_), &Nodes::Release, GConnectFlags(0));
}

NodeIoctlHandler::~NodeIoctlHandler()
{
    g_signal_handler_disconnect(base_, connectedHandler_);
    g_signal_handler_disconnect(base_, ioctlHandler_);
    g_object_unref(base_);
}

void NodeIoctlHandler::Bind(const std::string& devNode, EndpointOpener opener)
{
    nodes_->Bind(devNode, std::move(opener));
}

void NodeIoctlHandler::Unbind(const std::string& devNode) { nodes_->Unbind(devNode); }

}  // namespace tarnix::sim
