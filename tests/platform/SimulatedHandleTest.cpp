// A simulated HID handle opened for reading and writing and a simulated DFU transport each hold a descriptor
// while they live, as a hidraw node and a usbfs node do on the real bus, so that a handle a program never
// closes shows in its descriptor count (the handle-lifetime tests count them).

#include "platform/BackendFactories.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>

#include "sim/sensor/BusConstants.h"
#include "tests/support/SimulatedBus.h"

namespace {

using tarnix::io::HidDevice;
using tarnix::platform::OpenDfuTransport;
using tarnix::platform::OpenHidDevice;
using tarnix::sim::SensorMode;
using tarnix::test::SimulatedBus;

// The descriptors open in this process, the one that reads the list left out.
int OpenDescriptorCount()
{
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) {
        ADD_FAILURE() << "/proc/self/fd cannot be read";
        return -1;
    }
    int count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        count += entry->d_name[0] != '.';
    }
    ::closedir(folder);
    return count - 1;
}

TEST(SimulatedHandles, AReadWriteHidHandleHoldsOneDescriptorAndAProbeNone)
{
    SimulatedBus bus;
    const std::string path = bus.PlugHidSensor(SimulatedBus::QuickSensor());
    const int before = OpenDescriptorCount();
    {
        const auto probe = OpenHidDevice(path, HidDevice::Access::Probe);
        ASSERT_TRUE(probe);
        EXPECT_EQ(OpenDescriptorCount(), before);
        const auto device = OpenHidDevice(path, HidDevice::Access::ReadWrite);
        ASSERT_TRUE(device);
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), before) << "closed with the handle";
}

TEST(SimulatedHandles, ADfuTransportHoldsOneDescriptor)
{
    SimulatedBus bus;
    bus.Plug(SensorMode::Dfu);
    const auto interfaces = bus.Bus().Enumerate(tarnix::sim::kUsbDeviceInterfaceClass);
    ASSERT_EQ(interfaces.size(), 1u);
    const int before = OpenDescriptorCount();
    {
        const auto transport = OpenDfuTransport(interfaces[0].devicePath);
        ASSERT_TRUE(transport);
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), before) << "closed with the transport";
}

}  // namespace
