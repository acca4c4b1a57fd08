#include "platform/BackendFactories.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/SensorDevice.h"
#include "core/TpError.h"
#include "core/UsbHandler.h"
#include "io/DeviceEnumerator.h"
#include "tests/platform/usb/UsbTestBus.h"
#include "tests/support/ToolRun.h"

namespace {

using tarnix::io::DeviceInterface;
using tarnix::io::Guid;
using tarnix::io::HidCapabilities;
using tarnix::io::HidDevice;
using tarnix::platform::ActiveDeviceEnumerator;
using tarnix::platform::OpenHidDevice;
using tarnix::test::UsbTestBus;
using tarnix::test::descriptors::SensorReportDescriptor;
using tarnix::test::usb_records::HidSensorRecord;

HidSensorRecord Sensor(int port, std::uint16_t usagePage, std::uint8_t usage)
{
    HidSensorRecord sensor;
    sensor.port = port;
    sensor.hidCounter = 0x0010 + port;
    sensor.hidraw = port;
    sensor.devnum = 10 + port;
    sensor.reportDescriptor = SensorReportDescriptor(usagePage, usage);
    return sensor;
}

// The registry is process-wide; each test leaves it empty.
class RegistryCleaner {
public:
    ~RegistryCleaner()
    {
        DeviceHandler::GetInstance()->ClearDeviceMaps();
        DeviceHandler::GetInstance()->ClearRemovedDeviceVectors();
    }
};

TEST(HidrawDevice, DiscoveryAcceptsTheSensorUsagesOnly)
{
    UsbTestBus bus;
    RegistryCleaner cleaner;
    bus.Plug(Sensor(1, 0x000D, 0x04));  // a touch screen collection: refused
    bus.Plug(Sensor(2, 0xFF00, 0x01));  // the sensor's vendor collection
    bus.Plug(Sensor(3, 0xFF00, 0x02));  // vendor page, other usage: refused
    bus.Plug(Sensor(4, 0x00FF, 0x42));  // usage page 0x00FF: accepted whatever the usage
    HidSensorRecord unreadable = Sensor(5, 0, 0);
    unreadable.reportDescriptor.clear();  // capabilities cannot be read: they count as zero, so usage 0
    bus.Plug(unreadable);

    const std::vector<DeviceInterface> interfaces =
        ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass());
    ASSERT_EQ(interfaces.size(), 5u);
    std::vector<bool> accepted;
    for (const DeviceInterface& interface : interfaces) {
        auto probe = OpenHidDevice(interface.devicePath, HidDevice::Access::Probe);
        ASSERT_TRUE(probe) << interface.devicePath;
        const std::optional<HidCapabilities> capabilities = probe->Capabilities();
        accepted.push_back(UsbHandler::GetInstance()->IsAcceptedCollection(capabilities.value_or(HidCapabilities())));
        if (interface.devicePath == unreadable.DeviceName()) {
            EXPECT_FALSE(capabilities);
        } else {
            ASSERT_TRUE(capabilities);
            EXPECT_EQ(capabilities->featureReportLength, 258);
        }
    }
    EXPECT_EQ(accepted, (std::vector<bool>{false, true, false, true, true}));

    // Through the core: one sensor per call, in enumeration order, each registered and opened.
    std::vector<std::string> found;
    std::string name;
    while (DeviceFinder::FindSensorHidDevice(name)) {
        found.push_back(name);
    }
    EXPECT_EQ(found, (std::vector<std::string>{Sensor(2, 0, 0).DeviceName(), Sensor(4, 0, 0).DeviceName(),
                                               unreadable.DeviceName()}));
}

TEST(HidrawDevice, StringsComeFromTheUsbDeviceWhileThePlugInLasts)
{
    UsbTestBus bus;
    RegistryCleaner cleaner;
    HidSensorRecord sensor;
    sensor.manufacturer = "M";
    sensor.product = "P";
    sensor.serial = "123";
    bus.Plug(sensor);
    std::string name;
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(DeviceHandler::GetInstance()->GetSensorDevice(name)->GetDeviceDescription(), "M P 123");

    auto probe = OpenHidDevice(sensor.DeviceName(), HidDevice::Access::Probe);
    ASSERT_TRUE(probe);
    bus.Unplug(sensor);
    HidSensorRecord successor = sensor;
    successor.hidCounter = sensor.hidCounter + 1;
    successor.hidraw = 1;
    successor.devnum = sensor.devnum + 1;
    successor.manufacturer = "Other";
    bus.Plug(successor);
    EXPECT_FALSE(probe->ManufacturerString()) << "the port's USB device is another sensor's now";
    EXPECT_FALSE(probe->Capabilities());
}

TEST(HidrawDevice, ReplugWithinOneSearchPassIsOneRemovalAndOneArrival)
{
    UsbTestBus bus;
    RegistryCleaner cleaner;
    HidSensorRecord first;
    bus.Plug(first);
    std::string name;
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    ASSERT_EQ(name, first.DeviceName());

    // Between two passes of the device search the sensor leaves and another takes its port.
    bus.Unplug(first);
    HidSensorRecord second = first;
    second.hidCounter = first.hidCounter + 1;
    second.hidraw = first.hidraw + 1;
    second.devnum = first.devnum + 1;
    bus.Plug(second);

    DeviceFinder::UpdateFoundDevices();
    EXPECT_EQ(DeviceHandler::GetInstance()->GetRemovedSensorDeviceVector(),
              std::vector<std::string>{first.DeviceName()});
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, second.DeviceName());
    EXPECT_FALSE(DeviceFinder::FindSensorHidDevice(name));
}

TEST(HidrawDevice, MissingSerialStringLeavesTheDescriptionEmpty)
{
    UsbTestBus bus;
    RegistryCleaner cleaner;
    HidSensorRecord sensor;
    sensor.serial.reset();
    bus.Plug(sensor);
    std::string name;
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    SensorDevice* registered = DeviceHandler::GetInstance()->GetSensorDevice(name);
    EXPECT_TRUE(registered->GetIsConnected());
    EXPECT_EQ(registered->GetDeviceDescription(), "");
}

TEST(HidrawDevice, FeatureReportRoundTrip)
{
    UsbTestBus bus;
    HidSensorRecord sensor;
    auto device = bus.Plug(sensor);
    auto hid = OpenHidDevice(sensor.DeviceName(), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(hid);

    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x02, 0x00, 0x6C, 0x00};
    request[256] = 0x5A;
    ASSERT_TRUE(hid->SetFeature(request.data(), request.size()));
    std::array<std::uint8_t, 258> answer{0x02, 0xFF};
    ASSERT_TRUE(hid->GetFeature(answer.data(), answer.size()));

    const auto sent = device->SentReports();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], std::vector<std::uint8_t>(request.begin(), request.end())) << "all 257 bytes arrive";
    EXPECT_EQ(device->ReadLengths(), std::vector<std::size_t>{258}) << "the length travels in the request";
    EXPECT_EQ(answer[0], 0x02);
    EXPECT_EQ(answer[1], 1) << "257 counted in one byte";
    EXPECT_TRUE(std::equal(request.begin(), request.begin() + 256, answer.begin() + 2)) << "the echo came back";

    std::array<std::uint8_t, 258> otherId{0x05};
    EXPECT_FALSE(hid->GetFeature(otherId.data(), otherId.size())) << "a stalled read fails";
    EXPECT_FALSE(hid->SetFeature(request.data(), 0));

    bus.Unplug(sensor);
    EXPECT_FALSE(hid->GetFeature(answer.data(), answer.size())) << "ENODEV once the sensor is gone";
}

TEST(HidrawDevice, ProbeNeverOpensTheNode)
{
    UsbTestBus bus;
    HidSensorRecord sensor;
    auto device = bus.Plug(sensor);
    auto probe = OpenHidDevice(sensor.DeviceName(), HidDevice::Access::Probe);
    ASSERT_TRUE(probe);
    const std::uint8_t report[] = {0x80, 0x00};
    std::uint8_t answer[4] = {0x02};
    EXPECT_FALSE(probe->SetFeature(report, sizeof report));
    EXPECT_FALSE(probe->GetFeature(answer, sizeof answer));
    EXPECT_TRUE(device->SentReports().empty());

    // A sensor whose node cannot be opened at all is still probed, capabilities and strings included.
    HidSensorRecord withoutNode;
    withoutNode.port = 2;
    withoutNode.hidCounter = 0x000B;
    withoutNode.hidraw = 1;
    withoutNode.devnum = 3;
    withoutNode.hasNode = false;
    bus.Plug(withoutNode);
    EXPECT_FALSE(OpenHidDevice(withoutNode.DeviceName(), HidDevice::Access::ReadWrite));
    const auto unopened = OpenHidDevice(withoutNode.DeviceName(), HidDevice::Access::Probe);
    ASSERT_TRUE(unopened);
    ASSERT_TRUE(unopened->Capabilities());
    EXPECT_EQ(unopened->Capabilities()->usagePage, 0xFF00u);
    EXPECT_EQ(unopened->SerialNumberString(), "TS0001");
}

TEST(HidrawDevice, NodeMustCarryTheDeviceNumberUdevGives)
{
    UsbTestBus bus;
    HidSensorRecord kernel = Sensor(1, 0xFF00, 1);
    HidSensorRecord unset = Sensor(2, 0xFF00, 1);
    unset.deviceNumber = HidSensorRecord::DeviceNumber::Unset;
    HidSensorRecord mismatched = Sensor(3, 0xFF00, 1);
    mismatched.deviceNumber = HidSensorRecord::DeviceNumber::Mismatched;
    bus.Plug(kernel);
    bus.Plug(unset);
    bus.Plug(mismatched);
    EXPECT_TRUE(OpenHidDevice(kernel.DeviceName(), HidDevice::Access::ReadWrite));
    EXPECT_TRUE(OpenHidDevice(unset.DeviceName(), HidDevice::Access::ReadWrite));
    EXPECT_FALSE(OpenHidDevice(mismatched.DeviceName(), HidDevice::Access::ReadWrite))
        << "the node is not the device udev describes";
    EXPECT_TRUE(OpenHidDevice(mismatched.DeviceName(), HidDevice::Access::Probe));
}

// Runs this test program as another user with the given arguments (its small-program modes) and answers
// what it printed; the sensor's node is made root's alone first, as a hidraw node without our udev rule is.
// Nothing when this process cannot start one as another user.
std::optional<std::string> RunAsUserWithoutAccess(UsbTestBus& bus, const HidSensorRecord& sensor,
                                                  const std::string& arguments)
{
    if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv")) {
        return std::nullopt;
    }
    // The other user must be able to read the test bed, but not open the node. The test bed's node stands on
    // a pty; that pty is made root's alone.
    bus.TestBed().OpenToAllUsers();
    EXPECT_EQ(::chmod((bus.TestBed().Root() + sensor.Node()).c_str(), 0600), 0);
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                tarnix::test::ShellQuoted(std::filesystem::read_symlink("/proc/self/exe").string()) +
                                " " + arguments + " 2>&1";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return std::string();
    }
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, child) != nullptr) {
        output += buffer;
    }
    EXPECT_EQ(::pclose(child), 0) << output;
    return output;
}

TEST(HidrawDevice, UserWithoutAccessToTheNodeStillSeesTheSensor)
{
    UsbTestBus bus;
    HidSensorRecord sensor;
    bus.Plug(sensor);
    const auto output =
        RunAsUserWithoutAccess(bus, sensor, "--try-open " + tarnix::test::ShellQuoted(sensor.DeviceName()));
    if (!output) {
        GTEST_SKIP() << "needs root and setpriv to start a process as another user";
    }
    EXPECT_EQ(*output, "probe=1 readwrite=0\n");
}

// The sensor is registered before its node is opened: a node the user may not open is reported, and the
// sensor stays registered, so it is not found as new again.
TEST(HidrawDevice, NodeThatCannotBeOpenedIsReportedByDiscovery)
{
    UsbTestBus bus;
    HidSensorRecord sensor;
    bus.Plug(sensor);
    const auto output = RunAsUserWithoutAccess(bus, sensor, "--try-find");
    if (!output) {
        GTEST_SKIP() << "needs root and setpriv to start a process as another user";
    }
    EXPECT_EQ(*output, "error=Found device but could not retrieve device handle.\nregistered=" + sensor.DeviceName() +
                           "\nfound again=0\n");
}

}  // namespace
