#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "sim/usbrun/NodeEndpoint.h"

struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;
struct _GObject;

namespace tarnix::sim {

// Answers the ioctls on the nodes of a test bed. Each node is bound to a way of opening an endpoint; every
// file a program opens on the node gets its own endpoint when it connects, which answers all ioctls on that
// file until it is closed. A file opened on a node that is not (or no longer) bound fails every ioctl with
// ENODEV. umockdev calls in on its own worker thread, one call at a time.
class NodeIoctlHandler {
public:
    using EndpointOpener = std::function<std::unique_ptr<NodeEndpoint>()>;

    NodeIoctlHandler();
    ~NodeIoctlHandler();
    NodeIoctlHandler(const NodeIoctlHandler&) = delete;
    NodeIoctlHandler& operator=(const NodeIoctlHandler&) = delete;

    // The umockdev handler to attach to the nodes.
    _UMockdevIoctlBase* Base() const { return base_; }

    void Bind(const std::string& devNode, EndpointOpener opener);
    void Unbind(const std::string& devNode);

private:
    static void OnConnected(_UMockdevIoctlBase* base, _UMockdevIoctlClient* client, void* self);
    static int OnIoctl(_UMockdevIoctlBase* base, _UMockdevIoctlClient* client, void* self);
    static void OnClientFinalized(void* self, _GObject* client);

    void Connect(_UMockdevIoctlClient* client);
    void Answer(_UMockdevIoctlClient* client);
    std::shared_ptr<NodeEndpoint> EndpointOf(const void* client);

    _UMockdevIoctlBase* base_;
    std::mutex mutex_;
    std::map<std::string, EndpointOpener> openers_;
    std::map<const void*, std::shared_ptr<NodeEndpoint>> endpoints_;
};

}  // namespace tarnix::sim
