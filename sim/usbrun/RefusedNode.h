#pragma once

#include <string>

namespace tarnix::sim {

// A device node of the test bed that refuses every open, as a node the user may not open does: it is put
// on a pseudo-terminal that stays locked, whose slave side the kernel refuses to open (EIO), root included.
// The test bed's record of the terminal gives it the device's number, so that the node's status by path
// still shows the device, as a real node does whether or not its user may open it. The terminal and its
// record live as long as this object. Failures throw SimError.
class RefusedNode {
public:
    // `testbedRoot` is the test bed's folder, `devNode` the node ("/dev/hidraw0"), made here or replaced.
    RefusedNode(const std::string& testbedRoot, const std::string& devNode, unsigned major, unsigned minor);
    ~RefusedNode();
    RefusedNode(const RefusedNode&) = delete;
    RefusedNode& operator=(const RefusedNode&) = delete;

private:
    int terminal_ = -1;   // the master side, held so that the terminal stays
    std::string record_;  // the test bed's record of the terminal
};

}  // namespace tarnix::sim
