#include "sim/usbrun/DeviceTestbed.h"

#include <filesystem>
#include <umockdev.h>

#include "sim/bus/SimError.h"

namespace tarnix::sim {

namespace {

// The message of a GLib error, which is released here.
std::string Message(GError* error) {
    std::string text = error != nullptr && error->message != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

}  // namespace

DeviceTestbed::DeviceTestbed() : testbed_(umockdev_testbed_new()) {
    if (testbed_ == nullptr) {
        throw SimError("cannot create the umockdev test bed");
    }
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root != nullptr ? root : "";
    g_free(root);
}

DeviceTestbed::~DeviceTestbed() { g_object_unref(testbed_); }

void DeviceTestbed::OpenToAllUsers() {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec, error);
    if (error) {
        throw SimError("cannot open the test bed " + root_ + " to other users: " + error.message());
    }
    OpenSockets();
}

void DeviceTestbed::Add(const std::string& records) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, records.c_str(), &error)) {
        throw SimError("cannot add devices to the test bed: " + Message(error));
    }
}

void DeviceTestbed::Remove(const std::string& sysPath) { umockdev_testbed_remove_device(testbed_, sysPath.c_str()); }

void DeviceTestbed::AddProperty(const std::string& sysPath, const std::string& name, const std::string& value) {
    umockdev_testbed_set_property(testbed_, sysPath.c_str(), name.c_str(), value.c_str());
}

void DeviceTestbed::Attach(const std::string& devNode, _UMockdevIoctlBase* handler) {
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devNode.c_str(), handler, &error)) {
        throw SimError("cannot attach to " + devNode + " in the test bed: " + Message(error));
    }
    OpenSockets();
}

// The umockdev preload ends a program that opens a node whose ioctl socket it cannot connect to, instead of
// failing the open; with the sockets open to everyone, an open by a user without access fails as on a
// real system (the node itself refuses it).
void DeviceTestbed::OpenSockets() const {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(root_ + "/ioctl", error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_socket(error)) {
            fs::permissions(entry->path(), fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                                              fs::perms::others_exec), error);
        }
    }
}

}  // namespace tarnix::sim
