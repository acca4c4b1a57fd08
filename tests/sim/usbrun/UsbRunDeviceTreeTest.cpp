#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus/SimBus.h"
#include "sim/sensor/TextNumbers.h"
#include "tests/sim/usbrun/UsbRunSession.h"

namespace tarnix::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Prints an attribute file as "NAME=" and its bytes in hex, so that a text attribute's trailing newline
// and a binary attribute's bytes both show.
std::string DumpAttributes(const std::string& sysPath, const std::vector<std::string>& names)
{
    std::string script;
    for (const std::string& name : names) {
        script +=
            "printf '" + name + "='; od -An -v -tx1 " + sysPath + "/" + name + " 2>/dev/null | tr -d ' \\n'; echo; ";
    }
    return script;
}

Bytes FromHex(const std::string& hex) { return sim::TextNumbers::ParseHexBytes(hex).value_or(Bytes()); }

std::string TextOf(const std::string& hex)
{
    const Bytes bytes = FromHex(hex);
    return std::string(bytes.begin(), bytes.end());
}

// The descriptors found by walking a `descriptors` attribute: type -> every descriptor of that type.
std::multimap<std::uint8_t, Bytes> Walk(const Bytes& descriptors)
{
    std::multimap<std::uint8_t, Bytes> found;
    for (std::size_t index = 0; index + 2 <= descriptors.size() && descriptors[index] >= 2;
         index += descriptors[index]) {
        const std::size_t end = std::min(descriptors.size(), index + descriptors[index]);
        found.emplace(descriptors[index + 1], Bytes(descriptors.begin() + index, descriptors.begin() + end));
    }
    return found;
}

struct ReportSummary {
    unsigned usagePage = 0;
    unsigned usage = 0;
    std::vector<unsigned> featureIds;
    std::vector<unsigned> featureBytes;  // data bytes of each feature report (size x count / 8)
    bool balanced = false;               // every collection closed
};

// A small reading of a report descriptor: the top-level usage page and usage, and the feature reports.
ReportSummary Summarize(const Bytes& descriptor)
{
    ReportSummary summary;
    unsigned reportId = 0, reportSize = 0, reportCount = 0, usagePage = 0, depth = 0;
    bool top = true;
    for (std::size_t index = 0; index < descriptor.size();) {
        const std::uint8_t prefix = descriptor[index];
        const std::size_t size = (prefix & 3) == 3 ? 4 : prefix & 3;
        unsigned value = 0;
        for (std::size_t byte = 0; byte < size && index + 1 + byte < descriptor.size(); ++byte) {
            value |= static_cast<unsigned>(descriptor[index + 1 + byte]) << (8 * byte);
        }
        switch (prefix & 0xFC) {
            case 0x04:
                usagePage = value;
                break;
            case 0x08:
                if (top) {
                    summary.usagePage = usagePage;
                    summary.usage = value;
                }
                break;
            case 0xA0:
                ++depth;
                top = false;
                break;
            case 0xC0:
                depth -= depth > 0 ? 1 : 0;
                break;
            case 0x84:
                reportId = value;
                break;
            case 0x74:
                reportSize = value;
                break;
            case 0x94:
                reportCount = value;
                break;
            case 0xB0:
                summary.featureIds.push_back(reportId);
                summary.featureBytes.push_back(reportSize * reportCount / 8);
                break;
            default:
                break;
        }
        index += 1 + size;
    }
    summary.balanced = depth == 0 && !descriptor.empty() && descriptor.back() == 0xC0;
    return summary;
}

TEST(UsbRunDeviceTree, ASensorInNormalModeIsAUsbHidDeviceWithAHidrawNode)
{
    UsbRunSession session;
    sim::SensorState prototype = SimulatedBus::QuickSensor();
    prototype.serial = "ALPHA";
    prototype.product = "Panel \xC3\xA9";
    session.Bus().Plug(sim::SensorMode::Normal, prototype);
    const std::string port = UsbRunSession::PortPath(1);
    const std::string interface = port + "/1-1:1.0";
    const std::string hid = interface + "/0003:3C9E:0101.0001";
    const ToolRun run = session.Run(
        "$PROBE devices; " +
        DumpAttributes(port, {"idVendor", "idProduct", "bcdDevice", "busnum", "devnum", "manufacturer", "product",
                              "serial", "descriptors"}) +
        DumpAttributes(interface, {"bInterfaceClass", "bInterfaceSubClass", "bInterfaceProtocol", "bInterfaceNumber"}) +
        DumpAttributes(hid, {"report_descriptor"}) + "grep -h '^HID_ID=\\|^DEVNAME=\\|^DEVNUM=\\|^BUSNUM=' " + hid +
        "/uevent " + port + "/uevent");
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto devices = UsbRunSession::Devices(run.out);
    EXPECT_EQ(devices.at(UsbRunSession::kRootHub),
              (std::vector<std::string>{"usb", "usb_device", "/dev/bus/usb/001/001", "189:0", "-"}));
    EXPECT_EQ(devices.at(port), (std::vector<std::string>{"usb", "usb_device", "/dev/bus/usb/001/002", "189:1", "-"}));
    EXPECT_EQ(devices.at(interface), (std::vector<std::string>{"usb", "usb_interface", "-", "-", "-"}));
    EXPECT_EQ(devices.at(hid), (std::vector<std::string>{"hid", "-", "-", "-", "-"}));
    EXPECT_EQ(devices.at(hid + "/hidraw/hidraw0"),
              (std::vector<std::string>{"hidraw", "-", "/dev/hidraw0", "241:0", "-"}));
    EXPECT_EQ(devices.size(), 5u) << "the root hub and the sensor's four devices";

    const auto values = UsbRunSession::Values(run.out);
    EXPECT_EQ(TextOf(values.at("idVendor")), "3c9e\n");
    EXPECT_EQ(TextOf(values.at("idProduct")), "0101\n");
    EXPECT_EQ(TextOf(values.at("bcdDevice")), "0100\n");
    EXPECT_EQ(TextOf(values.at("busnum")), "1\n");
    EXPECT_EQ(TextOf(values.at("devnum")), "2\n");
    EXPECT_EQ(TextOf(values.at("manufacturer")), "Tarnix\n");
    EXPECT_EQ(TextOf(values.at("product")), "Panel \xC3\xA9\n");
    EXPECT_EQ(TextOf(values.at("serial")), "ALPHA\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceClass")), "03\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceSubClass")), "00\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceProtocol")), "00\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceNumber")), "00\n");
    EXPECT_EQ(values.at("HID_ID"), "0003:00003C9E:00000101");
    EXPECT_EQ(values.at("DEVNAME"), "bus/usb/001/002");  // the kernel's uevent names the node below /dev

    const auto descriptors = Walk(FromHex(values.at("descriptors")));
    const Bytes device = descriptors.find(0x01)->second;
    ASSERT_EQ(device.size(), 18u);
    EXPECT_EQ(Bytes(device.begin() + 8, device.begin() + 14), (Bytes{0x9E, 0x3C, 0x01, 0x01, 0x00, 0x01}));
    const Bytes configuration = descriptors.find(0x02)->second;
    EXPECT_EQ(configuration[2] + 256u * configuration[3], FromHex(values.at("descriptors")).size() - 18);
    ASSERT_EQ(descriptors.count(0x04), 1u);
    EXPECT_EQ(descriptors.find(0x04)->second[5], 0x03) << "one HID interface";
    const Bytes report = FromHex(values.at("report_descriptor"));
    ASSERT_EQ(descriptors.count(0x21), 1u);
    EXPECT_EQ(descriptors.find(0x21)->second[7] + 256u * descriptors.find(0x21)->second[8], report.size());

    const ReportSummary summary = Summarize(report);
    EXPECT_EQ(summary.usagePage, 0xFF00u);
    EXPECT_EQ(summary.usage, 0x01u);
    EXPECT_EQ(summary.featureIds, (std::vector<unsigned>{0x80, 0x01, 0x02}));
    EXPECT_EQ(summary.featureBytes, (std::vector<unsigned>{257, 257, 257}));
    EXPECT_TRUE(summary.balanced);
}

TEST(UsbRunDeviceTree, SensorFaultsShapeTheRecords)
{
    UsbRunSession session;
    sim::SensorState plain = SimulatedBus::QuickSensor();
    plain.usagePage = 0x00FF;
    plain.usage = 0x0300;
    session.Bus().Plug(sim::SensorMode::Normal, plain);
    sim::SensorState faulty = SimulatedBus::QuickSensor();
    faulty.serialStringFails = true;
    faulty.capabilitiesUnreadable = true;
    faulty.openFails = true;
    session.Bus().Plug(sim::SensorMode::Normal, faulty);
    const std::string faultyHid = UsbRunSession::PortPath(2) + "/1-2:1.0/0003:3C9E:0101.0002";
    const ToolRun run =
        session.Run("$PROBE devices; " +
                    DumpAttributes(UsbRunSession::PortPath(1) + "/1-1:1.0/0003:3C9E:0101.0001", {"report_descriptor"}) +
                    "test -e " + UsbRunSession::PortPath(2) + "/serial && echo serial=present; " +
                    "printf 'faulty_report='; wc -c <" + faultyHid +
                    "/report_descriptor; "
                    "$PROBE hid-request /dev/hidraw1");
    ASSERT_EQ(run.exitCode, 1) << "the probe cannot open the node of the sensor whose open fails\n" << run.err;

    const auto values = UsbRunSession::Values(run.out);
    const ReportSummary summary = Summarize(FromHex(values.at("report_descriptor")));
    EXPECT_EQ(summary.usagePage, 0x00FFu);
    EXPECT_EQ(summary.usage, 0x0300u);
    EXPECT_EQ(values.count("serial"), 0u) << "no serial attribute when the serial string fails";
    EXPECT_EQ(values.at("faulty_report"), "0");
    EXPECT_EQ(values.at("open"), "EIO") << "the node is there and refuses the open, as for a user without access";
    const auto devices = UsbRunSession::Devices(run.out);
    EXPECT_EQ(devices.at(faultyHid + "/hidraw/hidraw1"),
              (std::vector<std::string>{"hidraw", "-", "/dev/hidraw1", "241:1", "-"}))
        << "the device is there, only its node cannot be opened";
}

TEST(UsbRunDeviceTree, ASensorInDfuModeIsTheBootloaderWithTheDriverPropertyWhenItsDriverIsRight)
{
    UsbRunSession session;
    session.Bus().Plug(sim::SensorMode::Dfu);
    sim::SensorState wrongDriver = SimulatedBus::QuickSensor();
    wrongDriver.driver = sim::DriverKind::Incompatible;
    session.Bus().Plug(sim::SensorMode::Dfu, wrongDriver);
    const std::string port = UsbRunSession::PortPath(1);
    const ToolRun run =
        session.Run("$PROBE devices; " +
                    DumpAttributes(port, {"idVendor", "idProduct", "bcdDevice", "manufacturer", "descriptors"}) +
                    DumpAttributes(port + "/1-1:1.0",
                                   {"bInterfaceClass", "bInterfaceSubClass", "bInterfaceProtocol", "interface"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto devices = UsbRunSession::Devices(run.out);
    EXPECT_EQ(devices.at(port), (std::vector<std::string>{"usb", "usb_device", "/dev/bus/usb/001/002", "189:1", "1"}));
    EXPECT_EQ(devices.at(UsbRunSession::PortPath(2)),
              (std::vector<std::string>{"usb", "usb_device", "/dev/bus/usb/001/003", "189:2", "-"}));
    EXPECT_EQ(devices.size(), 5u) << "the root hub and two devices per bootloader, no HID devices";

    const auto values = UsbRunSession::Values(run.out);
    EXPECT_EQ(TextOf(values.at("idVendor")), "0483\n");
    EXPECT_EQ(TextOf(values.at("idProduct")), "df11\n");
    EXPECT_EQ(TextOf(values.at("bcdDevice")), "2200\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceClass")), "fe\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceSubClass")), "01\n");
    EXPECT_EQ(TextOf(values.at("bInterfaceProtocol")), "02\n");
    EXPECT_EQ(TextOf(values.at("interface")), "@Internal Flash  /0x08000000/64*002Kg\n");

    const auto descriptors = Walk(FromHex(values.at("descriptors")));
    ASSERT_EQ(descriptors.count(0x04), 1u) << "one interface, alternate setting 0";
    EXPECT_EQ(descriptors.find(0x04)->second, (Bytes{9, 0x04, 0, 0, 0, 0xFE, 0x01, 0x02, 4}));
    ASSERT_EQ(descriptors.count(0x21), 1u);
    EXPECT_EQ(descriptors.find(0x21)->second, (Bytes{9, 0x21, 0x0B, 0xFF, 0x00, 0x00, 0x08, 0x1A, 0x01}))
        << "will detach, manifestation tolerant, up and download; 255 ms detach, 2048-byte transfers, DfuSe";
}

}  // namespace
}  // namespace tarnix::test
