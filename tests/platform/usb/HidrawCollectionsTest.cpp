#include "platform/BackendFactories.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/DeviceFinder.h"
#include "core/DeviceHandler.h"
#include "core/SensorDevice.h"
#include "io/DeviceEnumerator.h"
#include "tests/platform/usb/UsbTestBus.h"

// A hidraw node carries every top-level collection of its HID device's report descriptor; the backend makes
// each of them a HID interface of its own, with its own name, capabilities and feature reports.
namespace {

using tarnix::io::DeviceInterface;
using tarnix::io::Guid;
using tarnix::io::HidDevice;
using tarnix::platform::ActiveDeviceEnumerator;
using tarnix::platform::OpenHidDevice;
using tarnix::test::UsbTestBus;
using tarnix::test::descriptors::ApplicationCollection;
using tarnix::test::descriptors::Bytes;
using tarnix::test::descriptors::DigitizerCollection;
using tarnix::test::descriptors::FeatureReport;
using tarnix::test::descriptors::Join;
using tarnix::test::descriptors::SensorReportDescriptor;
using tarnix::test::usb_records::HidSensorRecord;

// The registry is process-wide; each test leaves it empty.
class RegistryCleaner {
public:
    ~RegistryCleaner()
    {
        DeviceHandler::GetInstance()->ClearDeviceMaps();
        DeviceHandler::GetInstance()->ClearRemovedDeviceVectors();
    }
};

HidSensorRecord Sensor(int port, Bytes reportDescriptor)
{
    HidSensorRecord sensor;
    sensor.port = port;
    sensor.hidCounter = 0x0020 + port;
    sensor.hidraw = port;
    sensor.devnum = 20 + port;
    sensor.reportDescriptor = std::move(reportDescriptor);
    return sensor;
}

std::string Collection(const HidSensorRecord& sensor, int number)
{
    return sensor.DeviceName() + "&col0" + std::to_string(number);
}

std::vector<std::string> HidInterfaceNames()
{
    std::vector<std::string> names;
    for (const DeviceInterface& interface : ActiveDeviceEnumerator().PresentInterfaces(Guid::HidInterfaceClass())) {
        names.push_back(interface.devicePath);
    }
    return names;
}

// Every sensor the core registers, one per call, in order.
std::vector<std::string> RegisterAll()
{
    std::vector<std::string> found;
    std::string name;
    while (DeviceFinder::FindSensorHidDevice(name)) {
        found.push_back(name);
    }
    return found;
}

TEST(HidrawCollections, TheConfigurationCollectionIsFoundWhereverItStands)
{
    UsbTestBus bus;
    RegistryCleaner cleaner;
    const HidSensorRecord vendorFirst = Sensor(1, Join({SensorReportDescriptor(0xFF00, 0x01), DigitizerCollection()}));
    const HidSensorRecord digitizerFirst =
        Sensor(2, Join({DigitizerCollection(), SensorReportDescriptor(0xFF00, 0x01)}));
    const HidSensorRecord digitizerOnly = Sensor(3, DigitizerCollection());
    bus.Plug(vendorFirst);
    bus.Plug(digitizerFirst);
    bus.Plug(digitizerOnly);

    EXPECT_EQ(
        HidInterfaceNames(),
        (std::vector<std::string>{Collection(vendorFirst, 1), Collection(vendorFirst, 2), Collection(digitizerFirst, 1),
                                  Collection(digitizerFirst, 2), digitizerOnly.DeviceName()}))
        << "one interface per collection; a node with one keeps the plain name";
    const auto digitizer = OpenHidDevice(Collection(digitizerFirst, 1), HidDevice::Access::Probe);
    ASSERT_TRUE(digitizer);
    ASSERT_TRUE(digitizer->Capabilities());
    EXPECT_EQ(digitizer->Capabilities()->usagePage, 0x000D);
    EXPECT_EQ(digitizer->Capabilities()->featureReportLength, 0);
    const auto configuration = OpenHidDevice(Collection(digitizerFirst, 2), HidDevice::Access::Probe);
    ASSERT_TRUE(configuration);
    ASSERT_TRUE(configuration->Capabilities());
    EXPECT_EQ(configuration->Capabilities()->usagePage, 0xFF00);
    EXPECT_EQ(configuration->Capabilities()->usage, 0x01);
    EXPECT_EQ(configuration->Capabilities()->featureReportLength, 258);

    EXPECT_EQ(RegisterAll(), (std::vector<std::string>{Collection(vendorFirst, 1), Collection(digitizerFirst, 2)}));
    SensorDevice* sensor = DeviceHandler::GetInstance()->GetSensorDevice(Collection(digitizerFirst, 2));
    ASSERT_NE(sensor, nullptr);
    EXPECT_TRUE(sensor->GetIsConnected());
    EXPECT_EQ(sensor->GetDeviceDescription(), "Tarnix Touch Sensor TS0001");
}

// Test beds one after the other put other devices at the same paths and device numbers, as no kernel does:
// each new bus shows its own device, not what the backend learnt of the one before.
TEST(HidrawCollections, ANewBusShowsItsOwnDeviceWhereTheBusBeforeHadAnother)
{
    const HidSensorRecord oneCollection = Sensor(1, SensorReportDescriptor(0xFF00, 0x01));
    {
        UsbTestBus bus;
        bus.Plug(oneCollection);
        ASSERT_EQ(HidInterfaceNames(), std::vector<std::string>{oneCollection.DeviceName()});
    }
    UsbTestBus bus;
    const HidSensorRecord twoCollections =
        Sensor(1, Join({SensorReportDescriptor(0xFF00, 0x01), DigitizerCollection()}));
    bus.Plug(twoCollections);
    EXPECT_EQ(HidInterfaceNames(),
              (std::vector<std::string>{Collection(twoCollections, 1), Collection(twoCollections, 2)}));
}

TEST(HidrawCollections, SeveralAcceptableCollectionsAreRegisteredOnePerCallInOrder)
{
    UsbTestBus bus;
    RegistryCleaner cleaner;
    const HidSensorRecord sensor = Sensor(1, Join({DigitizerCollection(), SensorReportDescriptor(0xFF00, 0x01),
                                                   ApplicationCollection(0xFF00, 0x02, {FeatureReport(0x41, 8)}),
                                                   ApplicationCollection(0x00FF, 0x05, {FeatureReport(0x40, 16)})}));
    bus.Plug(sensor);
    std::string name;
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, Collection(sensor, 2));
    ASSERT_TRUE(DeviceFinder::FindSensorHidDevice(name));
    EXPECT_EQ(name, Collection(sensor, 4)) << "usage page 0x00FF is accepted, 0xFF00 with usage 2 is not";
    EXPECT_FALSE(DeviceFinder::FindSensorHidDevice(name));

    // Gone together: every collection of the node leaves the registry.
    bus.Unplug(sensor);
    DeviceFinder::UpdateFoundDevices();
    EXPECT_EQ(DeviceHandler::GetInstance()->GetRemovedSensorDeviceVector(),
              (std::vector<std::string>{Collection(sensor, 2), Collection(sensor, 4)}));
}

TEST(HidrawCollections, ANameOpensOnlyTheCollectionsTheNodeHas)
{
    UsbTestBus bus;
    const HidSensorRecord two = Sensor(1, Join({DigitizerCollection(), SensorReportDescriptor(0xFF00, 0x01)}));
    const HidSensorRecord one = Sensor(2, SensorReportDescriptor(0xFF00, 0x01));
    HidSensorRecord unreadable = Sensor(3, {});
    bus.Plug(two);
    bus.Plug(one);
    bus.Plug(unreadable);
    for (const HidDevice::Access access : {HidDevice::Access::Probe, HidDevice::Access::ReadWrite}) {
        EXPECT_TRUE(OpenHidDevice(Collection(two, 2), access));
        EXPECT_FALSE(OpenHidDevice(Collection(two, 3), access)) << "there is no third collection";
        EXPECT_FALSE(OpenHidDevice(two.DeviceName(), access)) << "the node has several: each has its number";
        EXPECT_TRUE(OpenHidDevice(one.DeviceName(), access));
        EXPECT_FALSE(OpenHidDevice(Collection(one, 1), access)) << "a node with one has no numbers";
    }
    // A descriptor that cannot be read leaves one interface without capabilities, as before.
    EXPECT_EQ(HidInterfaceNames().back(), unreadable.DeviceName());
    const auto probe = OpenHidDevice(unreadable.DeviceName(), HidDevice::Access::Probe);
    ASSERT_TRUE(probe);
    EXPECT_FALSE(probe->Capabilities());
    EXPECT_FALSE(OpenHidDevice(Collection(unreadable, 1), HidDevice::Access::Probe));
}

// The device search probes the interfaces it has not registered on every pass, from what the last look
// found; an interface listed by that look and gone since does not open, also once another sensor has taken
// its port.
TEST(HidrawCollections, AProbeAfterTheListingSeesTheDeviceAsItIsNow)
{
    UsbTestBus bus;
    const HidSensorRecord sensor = Sensor(1, Join({DigitizerCollection(), SensorReportDescriptor(0xFF00, 0x01)}));
    bus.Plug(sensor);
    ASSERT_EQ(HidInterfaceNames().size(), 2u);
    bus.Unplug(sensor);
    EXPECT_FALSE(OpenHidDevice(Collection(sensor, 1), HidDevice::Access::Probe)) << "listed, but gone";

    HidSensorRecord successor = Sensor(1, DigitizerCollection());
    successor.hidCounter = sensor.hidCounter + 1;
    successor.devnum = sensor.devnum + 1;
    successor.hidraw = sensor.hidraw + 1;  // the test bed cannot make a node twice
    bus.Plug(successor);
    EXPECT_FALSE(OpenHidDevice(Collection(sensor, 1), HidDevice::Access::Probe)) << "another plug-in on the port";
    const auto probe = OpenHidDevice(successor.DeviceName(), HidDevice::Access::Probe);
    ASSERT_TRUE(probe) << "not listed yet, found all the same";
    EXPECT_EQ(probe->Capabilities()->usagePage, 0x000D);
}

TEST(HidrawCollections, ACollectionExchangesOnlyItsOwnFeatureReports)
{
    UsbTestBus bus;
    const HidSensorRecord sensor = Sensor(1, Join({DigitizerCollection(), SensorReportDescriptor(0xFF00, 0x01)}));
    const auto device = bus.Plug(sensor);
    const auto configuration = OpenHidDevice(Collection(sensor, 2), HidDevice::Access::ReadWrite);
    const auto digitizer = OpenHidDevice(Collection(sensor, 1), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(configuration);
    ASSERT_TRUE(digitizer);

    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE};
    EXPECT_FALSE(digitizer->SetFeature(request.data(), request.size())) << "report 0x01 is not the digitizer's";
    std::array<std::uint8_t, 258> answer{0x02, 0xFF};
    EXPECT_FALSE(digitizer->GetFeature(answer.data(), answer.size()));
    std::array<std::uint8_t, 9> touch{0x10};
    EXPECT_FALSE(digitizer->GetFeature(touch.data(), touch.size())) << "0x10 is an input report, no feature report";
    EXPECT_TRUE(device->SentReports().empty());
    EXPECT_TRUE(device->ReadLengths().empty()) << "refused before anything reached the node";

    ASSERT_TRUE(configuration->SetFeature(request.data(), request.size()));
    ASSERT_TRUE(configuration->GetFeature(answer.data(), answer.size()));
    EXPECT_EQ(device->SentReports().size(), 1u);
    EXPECT_EQ(device->SentReports()[0][0], 0x01) << "the report ID travels in byte 0";
    EXPECT_EQ(answer[0], 0x02);
    EXPECT_EQ(answer[2], 0x01) << "the echo of the request";
    EXPECT_FALSE(configuration->GetFeature(touch.data(), touch.size()));
}

TEST(HidrawCollections, AShortReportIsFollowedByZerosAndAStalledOneFails)
{
    UsbTestBus bus;
    const HidSensorRecord sensor = Sensor(1, SensorReportDescriptor(0xFF00, 0x01));
    const auto device = bus.Plug(sensor);
    const auto hid = OpenHidDevice(sensor.DeviceName(), HidDevice::Access::ReadWrite);
    ASSERT_TRUE(hid);
    const std::array<std::uint8_t, 4> request{0x01, 0x08, 0xEE, 0x06};
    ASSERT_TRUE(hid->SetFeature(request.data(), request.size()));

    device->SetReportLength(5);  // 02, the count, three bytes of the echo
    std::array<std::uint8_t, 258> answer;
    answer.fill(0xAA);
    answer[0] = 0x02;
    ASSERT_TRUE(hid->GetFeature(answer.data(), answer.size()));
    EXPECT_EQ(device->ReadLengths(), std::vector<std::size_t>{258}) << "the whole length was asked for";
    EXPECT_EQ(std::vector<std::uint8_t>(answer.begin(), answer.begin() + 5),
              (std::vector<std::uint8_t>{0x02, 0x04, 0x01, 0x08, 0xEE}));
    EXPECT_EQ(std::count(answer.begin() + 5, answer.end(), 0), 253) << "zeros, not what the buffer held before";

    // A report ID the device does not have is stalled; the device answers its own reports afterwards.
    std::array<std::uint8_t, 258> other{0x80};
    EXPECT_FALSE(hid->GetFeature(other.data(), other.size()));
    device->SetReportLength(0);
    answer.fill(0xAA);
    answer[0] = 0x02;
    EXPECT_TRUE(hid->GetFeature(answer.data(), answer.size()));
    EXPECT_EQ(answer[257], 0x00);
}

}  // namespace
