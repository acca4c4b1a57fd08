#include <gtest/gtest.h>

#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/DfuBootloader.h"
#include "sim/host/SimulatedDfuTransport.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RunBeside;
using test::sensor_flash::DfuCommand;

// Sets the address pointer, returns to dfuIDLE, and uploads one block from `address`.
Bytes UploadThroughPort(SimulatedDfuTransport& port, std::uint32_t address, std::size_t length)
{
    const Bytes setAddress = DfuCommand(0x21, address);
    Bytes data(length);
    std::size_t received = 0;
    if (!port.Dnload(0, setAddress.data(), setAddress.size()) || !port.Abort() ||
        !port.Upload(2, data.data(), data.size(), received)) {
        return {};
    }
    data.resize(received);
    return data;
}

TEST(SimTool, PlugPrintsTheSerialAndAnotherProcessSeesTheSensor)
{
    test::SimulatedBus bus;
    const test::ToolRun plug = bus.RunSimTool({"plug", "--serial", "ALPHA", "--reenumerate-ms", "0"});
    ASSERT_EQ(plug.exitCode, 0) << plug.err;
    EXPECT_EQ(plug.out, "ALPHA\n");
    const test::ToolRun second = bus.RunSimTool({"plug", "--mode", "dfu", "--driver", "incompatible"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "TNX000001\n");

    const auto hid = bus.Bus().Enumerate(kHidInterfaceClass);
    ASSERT_EQ(hid.size(), 1u);
    EXPECT_EQ(hid[0].hardwareId, "HID\\VID_3C9E&PID_0101&REV_0100");
    const auto dfu = bus.Bus().Enumerate(kUsbDeviceInterfaceClass);
    ASSERT_EQ(dfu.size(), 1u);
    EXPECT_EQ(dfu[0].setupClass, kGenericUsbDeviceSetupClass);

    const test::ToolRun list = bus.RunSimTool({"list"});
    ASSERT_EQ(list.exitCode, 0);
    const auto lines = test::LinesOfWords(list.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (std::vector<std::string>{"ALPHA", "normal", "ok", hid[0].devicePath}));
    EXPECT_EQ(lines[1], (std::vector<std::string>{"TNX000001", "dfu", "incompatible", dfu[0].devicePath}));
}

TEST(SimTool, FlashWrittenByOneProcessIsReadByTheOther)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Dfu);
    Bytes written(300);
    for (std::size_t i = 0; i < written.size(); ++i) {
        written[i] = static_cast<std::uint8_t>(i * 7);
    }
    bus.Files().Write("in.bin", written);
    const test::ToolRun write = bus.RunSimTool({"write-flash", serial, "0x08010000", bus.File("in.bin")});
    ASSERT_EQ(write.exitCode, 0) << write.err;

    const auto interfaces = bus.Bus().Enumerate(kUsbDeviceInterfaceClass);
    ASSERT_EQ(interfaces.size(), 1u);
    auto port = SimulatedDfuTransport::Open(interfaces[0].devicePath);
    ASSERT_TRUE(port);
    EXPECT_EQ(UploadThroughPort(*port, 0x08010000, written.size()), written);

    // And the other way: the port programs, the tool reads.
    const Bytes erase = {0x41, 0x00, 0x80, 0x01, 0x08};
    ASSERT_TRUE(port->Abort());
    ASSERT_TRUE(port->Dnload(0, erase.data(), erase.size()));
    const Bytes setAddress = {0x21, 0x00, 0x80, 0x01, 0x08};
    ASSERT_TRUE(port->Dnload(0, setAddress.data(), setAddress.size()));
    const Bytes data(64, 0x42);
    ASSERT_TRUE(port->Dnload(2, data.data(), data.size()));
    const test::ToolRun read = bus.RunSimTool({"read-flash", serial, "0x08018000", "64", "-o", bus.File("out.bin")});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(bus.Files().ReadBytes("out.bin"), data);
}

TEST(SimTool, NewSensorsCarryFirmwareHeaderAndFactoryParameters)
{
    test::SimulatedBus bus;
    const test::ToolRun plug = bus.RunSimTool({"plug", "--firmware", "5.6", "--schema", "none"});
    ASSERT_EQ(plug.exitCode, 0) << plug.err;
    const std::string serial = plug.out.substr(0, plug.out.size() - 1);
    const Bytes header = bus.Bus().ReadFlash(serial, kFlashBase + kFirmwareHeaderOffset, 14);
    EXPECT_EQ(header, (Bytes{'T', 'N', 'X', 'F', 'W', '1', 5, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    const Bytes parameters = bus.Bus().ReadFlash(serial, kParameterAddress, 8);
    EXPECT_EQ(Bytes(parameters.begin() + 4, parameters.end()), (Bytes{'Q', 'T', 'X', 'S'}));
}

TEST(SimTool, FaultAndUnplugChangeTheBus)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Dfu);
    ASSERT_EQ(bus.RunSimTool({"fault", serial, "open"}).exitCode, 0);
    EXPECT_FALSE(SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath));
    ASSERT_EQ(bus.RunSimTool({"fault", serial, "none"}).exitCode, 0);
    EXPECT_TRUE(SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath));
    ASSERT_EQ(bus.RunSimTool({"fault", serial, "open", "--once"}).exitCode, 0);
    EXPECT_FALSE(SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath));
    EXPECT_TRUE(SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath));

    ASSERT_EQ(bus.RunSimTool({"unplug", serial}).exitCode, 0);
    EXPECT_TRUE(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).empty());
    bus.Plug(SensorMode::Normal);
    bus.Plug(SensorMode::Dfu);
    ASSERT_EQ(bus.RunSimTool({"unplug", "--all"}).exitCode, 0);
    EXPECT_TRUE(bus.Bus().List().empty());
}

TEST(SimTool, ListShowsADashWhileTheSensorIsOffTheBus)
{
    test::SimulatedBus bus;
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.mode = SensorMode::Dfu;
    prototype.serial = "GONE";
    bus.Bus().Plug(prototype);
    bus.Bus().SetFault("GONE", Fault::Unplug);
    auto port = SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath);
    ASSERT_TRUE(port);
    const Bytes setAddress = {0x21, 0x00, 0x00, 0x00, 0x08};
    ASSERT_TRUE(port->Dnload(0, setAddress.data(), setAddress.size()));
    ASSERT_FALSE(port->Dnload(2, setAddress.data(), setAddress.size()));
    const test::ToolRun list = bus.RunSimTool({"list"});
    EXPECT_EQ(test::LinesOfWords(list.out), (std::vector<std::vector<std::string>>{{"GONE", "dfu", "ok", "-"}}));
}

TEST(SimTool, DriverInstallerStandInFixesIncompatibleDrivers)
{
    test::SimulatedBus bus;
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.driver = DriverKind::Incompatible;
    bus.Plug(SensorMode::Dfu, prototype);
    ASSERT_EQ(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).setupClass, kGenericUsbDeviceSetupClass);
    EXPECT_FALSE(SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath))
        << "the bootloader driver is needed to open it";

    const test::ToolRun install = RunBeside("Drivers/STtube_DFU_Drivers/dpinst_amd64.exe", {"/q", "/se"}, bus.Files());
    ASSERT_EQ(install.exitCode, 0) << install.err;
    EXPECT_EQ(install.out, "") << "the installer says nothing when it succeeds";
    EXPECT_EQ(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).setupClass, kUsbSetupClass);
    EXPECT_TRUE(SimulatedDfuTransport::Open(bus.Bus().Enumerate(kUsbDeviceInterfaceClass).at(0).devicePath));
    EXPECT_EQ(RunBeside("Drivers/STtube_DFU_Drivers/dpinst_x86.exe", {}, bus.Files()).exitCode, 0);
}

TEST(SimTool, PlugWithCollectionsShowsOneHidInterfacePerCollection)
{
    test::SimulatedBus bus;
    const test::ToolRun plug = bus.RunSimTool({"plug", "--serial", "MULTI", "--collections", "0x0D:0x04,config"});
    ASSERT_EQ(plug.exitCode, 0) << plug.err;
    const std::vector<DeviceInterfaceRecord> interfaces = bus.Bus().Enumerate(kHidInterfaceClass);
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[0].devicePath,
              "\\\\?\\hid#vid_3c9e&pid_0101&col01#7&MULTI&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(interfaces[1].devicePath,
              "\\\\?\\hid#vid_3c9e&pid_0101&col02#7&MULTI&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    EXPECT_EQ(interfaces[0].hardwareId, interfaces[1].hardwareId);
    const test::ToolRun list = bus.RunSimTool({"list"});
    EXPECT_EQ(test::LinesOfWords(list.out),
              (std::vector<std::vector<std::string>>{{"MULTI", "normal", "ok", interfaces[1].devicePath}}))
        << "the configuration collection names the sensor";
    const test::ToolRun help = bus.RunSimTool({"--help"});
    EXPECT_NE(help.out.find("[--collections LIST]"), std::string::npos);
}

TEST(SimTool, EveryErrorIsOneLineOnStandardErrorAndAFailingExit)
{
    test::SimulatedBus bus;
    const std::string serial = bus.Plug(SensorMode::Normal);
    const std::vector<std::vector<std::string>> failing = {
        {},
        {"frobnicate"},
        {"plug", "--mode", "sideways"},
        {"plug", "--firmware", "2"},
        {"plug", "--mcu", "XYZ"},
        {"plug", "--serial", "bad serial"},
        {"plug", "--serial", serial},
        {"plug", "--page-ms"},
        {"plug", "--colour", "red"},
        {"plug", "--collections", "config,config"},
        {"plug", "--collections", "0x0D"},
        {"unplug", "NOPE"},
        {"unplug"},
        {"fault", serial, "explode"},
        {"fault", "NOPE", "none"},
        {"read-flash", serial, "0x08000000", "16"},
        {"read-flash", serial, "0x07FFFFFF", "16", "-o", bus.File("x")},
        {"read-flash", serial, "0x0801FFF0", "17", "-o", bus.File("x")},
        {"read-flash", serial, "banana", "16", "-o", bus.File("x")},
        {"read-flash", serial, "0x08000000", "16", "-o", "/nonexistent/folder/x"},
        {"write-flash", serial, "0x08000000", bus.File("missing.bin")},
        {"make-firmware", "-o", bus.File("fw.hex")},
        {"make-firmware", "--version", "1.0", "-o", bus.File("fw.bin")},
        {"make-firmware", "--version", "1.0", "--size", "16", "-o", bus.File("fw.hex")},
        {"make-firmware", "--version", "1.0", "--params", bus.File("missing.bin"), "-o", bus.File("fw.hex")},
        {"list", "extra"},
    };
    for (const auto& arguments : failing) {
        const test::ToolRun run = bus.RunSimTool(arguments);
        std::string joined;
        for (const std::string& argument : arguments) {
            joined += argument + ' ';
        }
        EXPECT_NE(run.exitCode, 0) << joined;
        EXPECT_TRUE(run.out.empty()) << joined;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << joined << ": " << run.err;
        EXPECT_EQ(run.err.rfind("tarnix-sim: ", 0), 0u) << joined << ": " << run.err;
    }
    EXPECT_EQ(bus.Bus().List().size(), 1u) << "no failed command changed the bus";
}

}  // namespace
}  // namespace tarnix::sim
