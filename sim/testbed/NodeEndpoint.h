#pragma once

#include "sim/testbed/IoctlCall.h"

namespace tarnix::sim {

// What answers the ioctls of one open file of a test-bed device node. The call is completed with the answer;
// an endpoint that answers later moves the call away (and completes it itself), its answer then goes nowhere.
class NodeEndpoint {
public:
    virtual ~NodeEndpoint() = default;
    virtual IoctlAnswer Handle(IoctlCall& call) = 0;
};

}  // namespace tarnix::sim
