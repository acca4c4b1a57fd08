#include "core/UsbHandler.h"

#include "core/DeviceHandler.h"
#include "core/SensorDevice.h"
#include "core/TpError.h"

#include "platform/BackendFactories.h"

#include <algorithm>
#include <memory>
#include <optional>

using tarnix::io::DeviceInterface;
using tarnix::io::Guid;
using tarnix::io::HidCapabilities;
using tarnix::io::HidDevice;
using tarnix::platform::ActiveDeviceEnumerator;
using tarnix::platform::OpenHidDevice;

namespace {

bool Contains(const std::string& text, const std::string& pattern) { return text.find(pattern) != std::string::npos; }

bool AppendString(const std::optional<std::string>& part, const char* separator, std::string& text)
{
    if (!part) {
        return false;
    }
    text += *part;
    text += separator;
    return true;
}

std::shared_ptr<HidDevice> HandleOf(SensorDevice* sensor)
{
    return sensor != nullptr ? sensor->GetHidDeviceHandle() : nullptr;
}

}  // namespace

UsbHandler::UsbHandler()
    : usbDeviceInterfaceGuid(0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}),
      usbSetupClassGuid(0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00})
{
}

UsbHandler::~UsbHandler() = default;

UsbHandler* UsbHandler::GetInstance()
{
    static UsbHandler instance;
    return &instance;
}

bool UsbHandler::IsAcceptedCollection(const HidCapabilities& capabilities) const
{
    const std::uint32_t usage = capabilities.usage;
    const std::uint32_t usagePage = capabilities.usagePage;
    const std::size_t count = std::min(acceptedUsages.size(), acceptedUsagePages.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (usage == static_cast<std::uint32_t>(acceptedUsages[i]) ||
            usagePage == static_cast<std::uint32_t>(acceptedUsagePages[i])) {
            return true;
        }
    }
    return false;
}

bool UsbHandler::ProbeCapabilities(const std::string& path, HidCapabilities& capabilities)
{
    const std::unique_ptr<HidDevice> probe = OpenHidDevice(path, HidDevice::Access::Probe);
    if (!probe) {
        return false;
    }
    capabilities = probe->Capabilities().value_or(HidCapabilities());
    return true;
}

bool UsbHandler::FindSensorDevicePath(std::string& name)
{
    DeviceHandler* const registry = DeviceHandler::GetInstance();
    for (const DeviceInterface& found : ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass())) {
        if (!Contains(found.hardwareId, sensorHardwareIdPattern)) {
            continue;
        }
        // A registered sensor is passed over before the probe: probing it could only lead to the same skip,
        // and the search asks many times a second.
        HidCapabilities capabilities;
        if (registry->SensorDeviceExists(found.devicePath) || !ProbeCapabilities(found.devicePath, capabilities)) {
            continue;
        }
        if (IsAcceptedCollection(capabilities)) {
            name = found.devicePath;
            return true;
        }
    }
    return false;
}

bool UsbHandler::FindDfuDevicePath(std::string& name, bool& incompatibleDrivers)
{
    incompatibleDrivers = false;
    DeviceHandler* const registry = DeviceHandler::GetInstance();
    for (const DeviceInterface& found : ActiveDeviceEnumerator().PresentInterfaces(usbDeviceInterfaceGuid)) {
        if (!Contains(found.hardwareId, dfuHardwareIdPattern)) {
            continue;
        }
        if (found.setupClass != usbSetupClassGuid) {
            incompatibleDrivers = true;
            continue;
        }
        if (!registry->DfuDeviceExists(found.devicePath)) {
            name = found.devicePath;
            return true;
        }
    }
    return false;
}

std::set<std::string> UsbHandler::GetPresentDfuDevicePaths()
{
    std::set<std::string> names;
    for (const DeviceInterface& found : ActiveDeviceEnumerator().PresentInterfaces(usbDeviceInterfaceGuid)) {
        if (Contains(found.hardwareId, dfuHardwareIdPattern)) {
            names.insert(found.devicePath);
        }
    }
    return names;
}

bool UsbHandler::FindDeviceFromPath(const std::string& name, bool usbDeviceInterface)
{
    return GetPresentDevicePaths(usbDeviceInterface).count(name) != 0;
}

std::set<std::string> UsbHandler::GetPresentDevicePaths(bool usbDeviceInterface)
{
    const Guid interfaceClass = usbDeviceInterface ? usbDeviceInterfaceGuid : Guid::HidInterfaceClass();
    std::set<std::string> names;
    for (const DeviceInterface& found : ActiveDeviceEnumerator().PresentInterfaces(interfaceClass)) {
        names.insert(found.devicePath);
    }
    return names;
}

bool UsbHandler::GetHidDescription(const HidDevice& hid, std::string& text)
{
    // Each string is tried even when an earlier one failed, as the device may still answer the others.
    const bool manufacturer = AppendString(hid.ManufacturerString(), " ", text);
    const bool product = AppendString(hid.ProductString(), " ", text);
    const bool serialNumber = AppendString(hid.SerialNumberString(), "", text);
    return manufacturer && product && serialNumber;
}

bool UsbHandler::GetSensorDeviceHandle(SensorDevice* sensor)
{
    if (sensor == nullptr) {
        throw TpError::FailedToGetDeviceHandle();
    }
    std::shared_ptr<HidDevice> hid = OpenHidDevice(sensor->GetUsbDevicePath(), HidDevice::Access::ReadWrite);
    if (!hid) {
        throw TpError::FailedToGetDeviceHandle();
    }
    sensor->SetHidDeviceHandle(hid);
    sensor->SetIsConnected(true);

    std::string description;
    if (!GetHidDescription(*hid, description)) {
        return false;
    }
    sensor->SetDeviceDescription(description);
    return true;
}

bool UsbHandler::SetFeatureReport(SensorDevice* sensor, unsigned char* report, unsigned int length)
{
    const std::shared_ptr<HidDevice> hid = HandleOf(sensor);
    return hid && report != nullptr && hid->SetFeature(report, length);
}

bool UsbHandler::GetFeatureReport(SensorDevice* sensor, unsigned char* report, unsigned int length)
{
    const std::shared_ptr<HidDevice> hid = HandleOf(sensor);
    return hid && report != nullptr && hid->GetFeature(report, length);
}
