#include "tests/platform/usb/UmockdevTestBed.h"

#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <umockdev.h>

namespace tarnix::test {

// The ioctl handler of one node. Each descriptor opened on the node is a client of the handler; it is
// bound, when it connects, to the device served at that moment.
class UmockdevTestBed::NodeServer {
public:
    NodeServer() : handler_(umockdev_ioctl_base_new()) {
        g_signal_connect(handler_, "client-connected", G_CALLBACK(&NodeServer::OnConnected), this);
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&NodeServer::OnIoctl), this);
    }

    ~NodeServer() {
        g_signal_handlers_disconnect_by_data(handler_, this);
        for (const auto& binding : bound_) {
            g_object_unref(binding.first);
        }
        g_object_unref(handler_);
    }

    UMockdevIoctlBase* Handler() const { return handler_; }

    void SetDevice(std::shared_ptr<ScriptedDevice> device) {
        std::lock_guard<std::mutex> guard(mutex_);
        current_ = std::move(device);
    }

private:
    // The client keeps a reference while it is bound, so that its address is not reused by another.
    std::shared_ptr<ScriptedDevice> Bind(UMockdevIoctlClient* client) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = bound_.find(client);
        if (found != bound_.end()) {
            return found->second;
        }
        g_object_ref(client);
        return bound_.emplace(client, current_).first->second;
    }

    static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        static_cast<NodeServer*>(self)->Bind(client);
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        const std::shared_ptr<ScriptedDevice> device = static_cast<NodeServer*>(self)->Bind(client);
        auto call = std::make_unique<IoctlCall>(client);
        if (!device) {
            call->Complete(-1, ENODEV);
        } else {
            device->Handle(std::move(call));
        }
        return TRUE;
    }

    UMockdevIoctlBase* handler_;
    std::mutex mutex_;
    std::shared_ptr<ScriptedDevice> current_;
    std::map<UMockdevIoctlClient*, std::shared_ptr<ScriptedDevice>> bound_;
};

UmockdevTestBed::UmockdevTestBed() : testbed_(umockdev_testbed_new()) {}

UmockdevTestBed::~UmockdevTestBed() {
    for (const auto& server : servers_) {
        umockdev_testbed_detach_ioctl(testbed_, server.first.c_str(), nullptr);
    }
    servers_.clear();
    g_object_unref(testbed_);
}

void UmockdevTestBed::AddRecords(const std::string& records) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, records.c_str(), &error)) {
        const std::string message = error != nullptr ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("test bed refused the records: " + message);
    }
}

void UmockdevTestBed::RemoveDevice(const std::string& devicePath) {
    umockdev_testbed_remove_device(testbed_, ("/sys" + devicePath).c_str());
}

void UmockdevTestBed::SetProperty(const std::string& devicePath, const std::string& name, const std::string& value) {
    umockdev_testbed_set_property(testbed_, ("/sys" + devicePath).c_str(), name.c_str(), value.c_str());
}

void UmockdevTestBed::SetAttribute(const std::string& devicePath, const std::string& name, const std::string& value) {
    umockdev_testbed_set_attribute(testbed_, ("/sys" + devicePath).c_str(), name.c_str(), value.c_str());
}

void UmockdevTestBed::Serve(const std::string& node, std::shared_ptr<ScriptedDevice> device) {
    auto& server = servers_[node];
    if (!server) {
        server = std::make_unique<NodeServer>();
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed_, node.c_str(), server->Handler(), &error)) {
            const std::string message = error != nullptr ? error->message : "unknown error";
            g_clear_error(&error);
            servers_.erase(node);
            throw std::runtime_error("cannot answer the ioctls of " + node + ": " + message);
        }
    }
    server->SetDevice(std::move(device));
}

std::string UmockdevTestBed::RootFolder() const {
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    std::string folder = root != nullptr ? root : "";
    g_free(root);
    return folder;
}

}  // namespace tarnix::test
