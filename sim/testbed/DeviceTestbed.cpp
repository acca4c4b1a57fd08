#include "sim/testbed/DeviceTestbed.h"

#include <filesystem>
#include <umockdev.h>

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

DeviceTestbed::DeviceTestbed() : testbed_(umockdev_testbed_new())
{
    if (testbed_ == nullptr) {
        throw SimError("cannot create the umockdev test bed");
    }
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root != nullptr ? root : "";
    g_free(root);
}

DeviceTestbed::~DeviceTestbed() { g_object_unref(testbed_); }

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
    if (!umockdev_testbed_add_from_string(testbed_, records.c_str(), &error)) {
        throw SimError("cannot add devices to the test bed: " + Message(error));
    }
}

void DeviceTestbed::Remove(const std::string& sysPath) { umockdev_testbed_remove_device(testbed_, sysPath.c_str()); }

void DeviceTestbed::SetProperty(const std::string& sysPath, const std::string& name, const std::string& value)
{
    umockdev_testbed_set_property(testbed_, sysPath.c_str(), name.c_str(), value.c_str());
}

void DeviceTestbed::SetAttribute(const std::string& sysPath, const std::string& name, const std::string& value)
{
    umockdev_testbed_set_attribute(testbed_, sysPath.c_str(), name.c_str(), value.c_str());
}

void DeviceTestbed::Serve(const std::string& devNode, NodeIoctlHandler::EndpointOpener opener)
{
    handler_.Bind(devNode, std::move(opener));
    if (attached_.count(devNode) != 0) {
        return;
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devNode.c_str(), handler_.Base(), &error)) {
        handler_.Unbind(devNode);
        throw SimError("cannot attach to " + devNode + " in the test bed: " + Message(error));
    }
    attached_.insert(devNode);
    OpenSockets();
}

void DeviceTestbed::StopServing(const std::string& devNode) { handler_.Unbind(devNode); }

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
