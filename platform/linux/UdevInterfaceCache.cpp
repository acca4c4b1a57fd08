#include "platform/linux/UdevInterfaceCache.h"

#include "platform/linux/SysfsFile.h"
#include "platform/linux/UdevDevice.h"
#include "platform/linux/UsbDeviceNaming.h"
#include "platform/linux/UsbHidrawNode.h"

#include <algorithm>
#include <string_view>

namespace tarnix::platform {

namespace {

constexpr const char* kHidrawFolder = "/sys/class/hidraw";
constexpr const char* kUsbFolder = "/sys/bus/usb/devices";
constexpr std::size_t kDeviceNumberLimit = 16;

// The interfaces of a hidraw node: one per top-level collection of its report descriptor, which a HID device
// keeps for as long as it exists, so it is read once per device.
void AddHidInterfaces(const UdevDevice& hidraw, std::vector<io::DeviceInterface>& interfaces,
                      std::vector<UdevInterfaceCache::HidInterfaceFacts>& facts)
{
    const std::optional<UsbHidrawNode> node = UsbHidrawNode::From(hidraw);
    if (!node) {
        return;  // a HID device on another transport, or no node
    }
    const std::string hardwareId = node->HardwareId();
    const std::optional<std::vector<HidCollection>> collections = node->Collections();
    const std::vector<std::string> names = node->InterfaceNames(collections);
    for (std::size_t index = 0; index < names.size(); ++index) {
        interfaces.push_back({names[index], hardwareId, UsbDeviceNaming::HidSetupClass()});
        std::optional<HidCollection> collection;
        UsbHidrawNode::PickCollection(collections, names.size() > 1 ? index + 1 : 0, collection);
        facts.push_back({node->Hid().Syspath(), node->UsbDevice().Syspath(), std::move(collection)});
    }
}

std::vector<io::DeviceInterface> UsbDeviceOf(const UdevDevice& device)
{
    std::optional<std::string> node = device.Devnode();
    if (!node || !device.HasDeviceType("usb_device")) {
        return {};
    }
    return {io::DeviceInterface{
        std::move(*node),
        UsbDeviceNaming::HardwareId("USB", device.Attribute("idVendor"), device.Attribute("idProduct"),
                                    device.Attribute("bcdDevice")),
        UsbDeviceNaming::UsbDeviceSetupClass(device.Property(UsbDeviceNaming::kDfuDriverProperty))}};
}

// A device that udev has not finished with yet: it may still lack our rule's property and node access.
// It is passed over until it is ready, so that it is neither taken for a bootloader with the wrong driver
// nor opened (and refused) before its node is the user's. Without udev's daemon no device ever gets
// initialized; the device is then ready once its node is there.
bool Unsettled(const UdevDevice& device)
{
    return (!device.IsInitialized() && UdevDevice::DaemonRuns()) || (device.Devnode() && !device.NodeIsThisDevice());
}

// Takes the next folder name off the front of a path ("/sys/devices" gives "sys", leaving "/devices").
std::string_view NextFolder(std::string_view& path)
{
    const std::size_t start = path.find_first_not_of('/');
    if (start == std::string_view::npos) {
        path = {};
        return {};
    }
    const std::size_t end = path.find('/', start);
    const std::string_view name = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    path = end == std::string_view::npos ? std::string_view() : path.substr(end);
    return name;
}

}  // namespace

bool UdevInterfaceCache::InUdevOrder(const std::string& a, const std::string& b)
{
    std::string_view left = a;
    std::string_view right = b;
    for (;;) {
        const std::string_view leftFolder = NextFolder(left);
        const std::string_view rightFolder = NextFolder(right);
        if (leftFolder.empty() || rightFolder.empty()) {
            return leftFolder.empty() && !rightFolder.empty();  // a path before the paths below it
        }
        if (leftFolder != rightFolder) {
            return leftFolder < rightFolder;
        }
    }
}

UdevInterfaceCache& UdevInterfaceCache::Instance()
{
    static UdevInterfaceCache cache;
    return cache;
}

std::vector<io::DeviceInterface> UdevInterfaceCache::HidInterfaces()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Entries present;
    for (const std::string& name : SysfsFile::FolderEntries(kHidrawFolder)) {
        const std::optional<std::string> syspath = SysfsFile::LinkDestination(std::string(kHidrawFolder) + "/" + name);
        if (!syspath) {
            continue;
        }
        const auto sameDevice = [](const Entry&) { return true; };
        Keep(hid_, present, *syspath, sameDevice, [&]() -> std::optional<Entry> {
            const std::optional<UdevDevice> hidraw = UdevDevice::FromSyspath(*syspath);
            if (!hidraw || Unsettled(*hidraw)) {
                return std::nullopt;  // gone since the listing, or not yet ready
            }
            Entry entry{*syspath, "", {}, {}};
            AddHidInterfaces(*hidraw, entry.interfaces, entry.hidFacts);
            return entry;
        });
    }
    hid_ = std::move(present);
    return InterfacesOf(hid_);
}

std::vector<io::DeviceInterface> UdevInterfaceCache::UsbDevices()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Entries present;
    for (const std::string& name : SysfsFile::FolderEntries(kUsbFolder)) {
        if (name.find(':') != std::string::npos) {
            continue;  // an interface ("1-1:1.0"), listed beside the devices
        }
        // The device number tells a device plugged into this port again from the one before.
        const std::string number =
            SysfsFile::ReadText(std::string(kUsbFolder) + "/" + name + "/devnum", kDeviceNumberLimit).value_or("");
        const auto sameDevice = [&](const Entry& entry) {
            return entry.identity == number && !AwaitsDriverProperty(entry);
        };
        Keep(usb_, present, name, sameDevice, [&]() -> std::optional<Entry> {
            const std::optional<std::string> syspath = SysfsFile::LinkDestination(std::string(kUsbFolder) + "/" + name);
            const std::optional<UdevDevice> device = syspath ? UdevDevice::FromSyspath(*syspath) : std::nullopt;
            if (!device || device->Attribute("devnum").value_or("") != number || Unsettled(*device)) {
                return std::nullopt;  // gone, plugged in again or not yet ready: the next look reads it
            }
            return Entry{*syspath, number, UsbDeviceOf(*device), {}};
        });
    }
    usb_ = std::move(present);
    return InterfacesOf(usb_);
}

std::optional<UdevInterfaceCache::HidInterfaceFacts> UdevInterfaceCache::LastSeenHidInterface(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, entry] : hid_) {
        for (std::size_t index = 0; index < entry.interfaces.size() && index < entry.hidFacts.size(); ++index) {
            if (entry.interfaces[index].devicePath == name) {
                return entry.hidFacts[index];
            }
        }
    }
    return std::nullopt;
}

template <typename Current, typename Read>
void UdevInterfaceCache::Keep(Entries& known, Entries& present, const std::string& key, Current current, Read read)
{
    const auto found = known.find(key);
    if (found != known.end() && current(found->second)) {
        present.insert(known.extract(found));
        return;
    }
    if (std::optional<Entry> entry = read()) {
        present.emplace(key, std::move(*entry));
    }
}

bool UdevInterfaceCache::AwaitsDriverProperty(const Entry& entry)
{
    return std::any_of(entry.interfaces.begin(), entry.interfaces.end(), [](const io::DeviceInterface& interface) {
        return interface.setupClass == io::Guid() && UsbDeviceNaming::GetsDfuDriverProperty(interface.hardwareId);
    });
}

std::vector<io::DeviceInterface> UdevInterfaceCache::InterfacesOf(const Entries& entries)
{
    std::vector<const Entry*> ordered;
    for (const auto& [key, entry] : entries) {
        if (!entry.interfaces.empty()) {
            ordered.push_back(&entry);
        }
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const Entry* a, const Entry* b) { return InUdevOrder(a->syspath, b->syspath); });
    std::vector<io::DeviceInterface> interfaces;
    for (const Entry* entry : ordered) {
        interfaces.insert(interfaces.end(), entry->interfaces.begin(), entry->interfaces.end());
    }
    return interfaces;
}

}  // namespace tarnix::platform
