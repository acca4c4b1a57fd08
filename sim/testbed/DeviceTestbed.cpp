#include "sim/testbed/DeviceTestbed.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <umockdev.h>

#include "io/FileDescriptor.h"
#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

// The message of a GLib error, which is released here.
std::string Message(GError* error)
{
    std::string text = error != nullptr && error->message != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

}  // namespace

DeviceTestbed::DeviceTestbed() : testbed_(umockdev_testbed_new(), g_object_unref)
{
    if (testbed_ == nullptr) {
        throw SimError("cannot create the umockdev test bed");
    }
    gchar* root = umockdev_testbed_get_root_dir(testbed_.get());
    root_ = root != nullptr ? root : "";
    g_free(root);
}

DeviceTestbed::~DeviceTestbed() = default;

void DeviceTestbed::OpenToAllUsers()
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::permissions(root_,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec,
                    error);
    if (error) {
        throw SimError("cannot open the test bed " + root_ + " to other users: " + error.message());
    }
    OpenSockets();
}

void DeviceTestbed::Add(const std::string& records)
{
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_.get(), records.c_str(), &error)) {
        throw SimError("cannot add devices to the test bed: " + Message(error));
    }
}

// umockdev removes the node, the link from its number to it and, for a number written as a text attribute,
// the device's /sys/dev entry; that of a number written as a binary attribute (NodeMadeApart) goes here.
void DeviceTestbed::Remove(const std::string& sysPath)
{
    std::error_code ignored;
    const std::optional<std::string> number = DevAttribute(sysPath);
    umockdev_testbed_remove_device(testbed_.get(), sysPath.c_str());
    if (number) {
        std::filesystem::remove(root_ + "/sys/dev/char/" + *number, ignored);
    }
}

void DeviceTestbed::MakeNode(const DeviceNode& node)
{
    const std::filesystem::path path = root_ + node.devNode;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const io::FileDescriptor file = io::FileDescriptor::Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (!file.IsValid()) {
        throw SimError("cannot make the node " + node.devNode + " in the test bed: " + std::strerror(errno));
    }
}

// The links umockdev makes for a device with a node: the preload's record of the node's number, and the
// device's entry under /sys/dev.
void DeviceTestbed::FinishNode(const DeviceNode& node)
{
    namespace fs = std::filesystem;
    std::string recordName = node.devNode.substr(std::string("/dev/").size());
    for (char& character : recordName) {
        character = character == '/' ? '_' : character;
    }
    std::error_code error;
    fs::create_directories(root_ + "/sys/dev/char", error);
    fs::create_directories(root_ + "/dev/.node", error);
    fs::create_symlink("../.." + node.sysPath.substr(std::string("/sys").size()),
                       root_ + "/sys/dev/char/" + node.Number(), error);
    if (!error) {
        fs::create_symlink(node.Number(), root_ + "/dev/.node/" + recordName, error);
    }
    if (error) {
        throw SimError("cannot give " + node.devNode + " its number in the test bed: " + error.message());
    }
}

void DeviceTestbed::SetProperty(const std::string& sysPath, const std::string& name, const std::string& value)
{
    umockdev_testbed_set_property(testbed_.get(), sysPath.c_str(), name.c_str(), value.c_str());
}

void DeviceTestbed::SetAttribute(const std::string& sysPath, const std::string& name, const std::string& value)
{
    umockdev_testbed_set_attribute(testbed_.get(), sysPath.c_str(), name.c_str(), value.c_str());
}

void DeviceTestbed::Serve(const std::string& devNode, NodeIoctlHandler::EndpointOpener opener)
{
    handler_.Bind(devNode, std::move(opener));
    if (attached_.count(devNode) != 0) {
        return;
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_.get(), devNode.c_str(), handler_.Base(), &error)) {
        handler_.Unbind(devNode);
        throw SimError("cannot attach to " + devNode + " in the test bed: " + Message(error));
    }
    attached_.insert(devNode);
    OpenSockets();
}

void DeviceTestbed::StopServing(const std::string& devNode)
{
    handler_.Unbind(devNode);
    if (attached_.erase(devNode) != 0) {
        GError* error = nullptr;
        if (!umockdev_testbed_detach_ioctl(testbed_.get(), devNode.c_str(), &error)) {
            throw SimError("cannot detach from " + devNode + " in the test bed: " + Message(error));
        }
        // The socket's path goes now, not once umockdev's thread gets to it.
        std::error_code ignored;
        std::filesystem::remove(root_ + "/ioctl" + devNode, ignored);
    }
}

std::optional<std::string> DeviceTestbed::DevAttribute(const std::string& sysPath) const
{
    std::string number;
    std::ifstream(root_ + sysPath + "/dev") >> number;
    return number.empty() ? std::nullopt : std::optional<std::string>(number);
}

// The umockdev preload ends a program that opens a node whose ioctl socket it cannot connect to, instead of
// failing the open; with the sockets open to everyone, an open by a user without access fails as on a
// real system (the node itself refuses it).
void DeviceTestbed::OpenSockets() const
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(root_ + "/ioctl", error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_socket(error)) {
            fs::permissions(entry->path(),
                            fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec),
                            error);
        }
    }
}

}  // namespace tarnix::sim
