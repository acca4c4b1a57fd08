#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/testbed/NodeEndpoint.h"

struct _UMockdevIoctlBase;

namespace tarnix::sim {

// Answers the ioctls on the nodes of a test bed. Each node is bound to a way of opening an endpoint; every
// file a program opens on the node gets an endpoint when it connects (its own, or one that the opener shares
// between files), which answers all ioctls on that file until it is closed; a node bound anew leaves the
// files opened before with the endpoints they got. A file opened on a node that is not (or no longer) bound fails every
// ioctl with ENODEV. umockdev calls in on its own worker thread, which may outlive the test bed for a moment: what the
// calls need is shared with them and lives as long as the last of them.
class NodeIoctlHandler {
public:
    using EndpointOpener = std::function<std::shared_ptr<NodeEndpoint>()>;

    NodeIoctlHandler();
    ~NodeIoctlHandler();
    NodeIoctlHandler(const NodeIoctlHandler&) = delete;
    NodeIoctlHandler& operator=(const NodeIoctlHandler&) = delete;

    // The umockdev handler to attach to the nodes.
    _UMockdevIoctlBase* Base() const { return base_; }

    void Bind(const std::string& devNode, EndpointOpener opener);
    void Unbind(const std::string& devNode);

private:
    class Nodes;

    std::shared_ptr<Nodes> nodes_;
    _UMockdevIoctlBase* base_;
    unsigned long connectedHandler_ = 0;
    unsigned long ioctlHandler_ = 0;
};

}  // namespace tarnix::sim
