#include "sim/usbrun/RefusedNode.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

// Points `link` at `target`, replacing what was there at once: a new link renamed over it.
void ReplaceLink(const std::string& link, const std::string& target)
{
    const std::string fresh = link + ".refused";
    ::unlink(fresh.c_str());
    if (::symlink(target.c_str(), fresh.c_str()) != 0 || ::rename(fresh.c_str(), link.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(fresh.c_str());
        throw SimError("cannot point " + link + " at " + target + ": " + reason);
    }
}

// The test bed's name for the record of a terminal: its path with '/' as '_' ("/dev/pts/3" -> "_dev_pts_3").
std::string RecordName(std::string path)
{
    for (char& character : path) {
        if (character == '/') {
            character = '_';
        }
    }
    return path;
}

}  // namespace

RefusedNode::RefusedNode(const std::string& testbedRoot, const std::string& devNode, unsigned major, unsigned minor)
    : terminal_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    // A new terminal is locked until unlockpt(3), which is never called.
    const char* slave = terminal_ >= 0 ? ::ptsname(terminal_) : nullptr;
    if (slave == nullptr) {
        const std::string reason = std::strerror(errno);
        if (terminal_ >= 0) {
            ::close(terminal_);
        }
        throw SimError("cannot make a terminal for " + devNode + ": " + reason);
    }
    const std::string slavePath = slave;
    record_ = testbedRoot + "/dev/.ptymap/" + RecordName(slavePath);
    try {
        std::error_code error;
        std::filesystem::create_directories(testbedRoot + "/dev/.ptymap", error);
        std::filesystem::create_directories(std::filesystem::path(testbedRoot + devNode).parent_path(), error);
        ReplaceLink(record_, std::to_string(major) + ":" + std::to_string(minor));
        ReplaceLink(testbedRoot + devNode, slavePath);
    } catch (...) {
        ::unlink(record_.c_str());
        ::close(terminal_);
        throw;
    }
}

// The node itself goes with its device.
RefusedNode::~RefusedNode()
{
    ::unlink(record_.c_str());
    ::close(terminal_);
}

}  // namespace tarnix::sim
