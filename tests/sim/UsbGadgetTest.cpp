// The USB gadget's device side without a kernel: the FunctionFS blobs it writes and the answers its two
// personalities give to control requests, against sensors of a private simulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sim/sensor/BusConstants.h"
#include "sim/sensor/InformationAnswers.h"
#include "sim/gadget/DfuPersonality.h"
#include "sim/gadget/FunctionFsBlobs.h"
#include "sim/gadget/HidPersonality.h"
#include "sim/sensor/UsbDescriptorBuilder.h"
#include "tests/support/HidReportLayout.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::sensor_flash::DfuCommand;

std::uint16_t Le16(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
}

std::uint32_t Le32(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Le16(bytes, at)) | (static_cast<std::uint32_t>(Le16(bytes, at + 2)) << 16);
}

ControlSetup Packet(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::uint16_t length)
{
    return ControlSetup{type, request, value, index, length};
}

// ---- FunctionFS ----

TEST(FunctionFsBlobs, HeadersStateTheExactLengthsAndCounts)
{
    const Bytes fullSpeed = {9, 4, 0, 0, 1, 3, 0, 0, 0, 7, 5, 0x81, 3, 64, 0, 1};
    Bytes highSpeed = fullSpeed;
    highSpeed.insert(highSpeed.end(), {3, 0x24, 0});
    const Bytes descriptors = FunctionFsBlobs::Descriptors(fullSpeed, highSpeed);
    EXPECT_EQ(Le32(descriptors, 0), 3u) << "format version 2";
    EXPECT_EQ(Le32(descriptors, 4), descriptors.size());
    EXPECT_EQ(Le32(descriptors, 12), 2u);
    EXPECT_EQ(Le32(descriptors, 16), 3u);
    EXPECT_EQ(descriptors.size(), 20u + 16 + 19);

    const Bytes strings = FunctionFsBlobs::Strings({"@Flash", "x"});
    EXPECT_EQ(Le32(strings, 4), strings.size());
    EXPECT_EQ(strings.size(), 16u + 2 + 7 + 2);
    EXPECT_EQ(Le32(strings, 8), 2u) << "strings";
    EXPECT_EQ(Le32(strings, 12), 1u) << "languages";
    EXPECT_EQ(Le16(strings, 16), 0x0409);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(strings.data()) + 18), "@Flash");

    const Bytes none = FunctionFsBlobs::Strings({});
    EXPECT_EQ(none.size(), 16u);
    EXPECT_EQ(Le32(none, 12), 0u);
}

TEST(FunctionFsBlobs, DescriptorSetsEndAtTheLastWholeDescriptor)
{
    // A zero length byte would never advance; a length past the end would read beyond the set.
    const Bytes zeroLength = {9, 4, 0, 0, 0, 3, 0, 0, 0, 0, 5, 1};
    const Bytes pastTheEnd = {9, 4, 0, 0, 0, 3, 0, 0, 0, 7, 5, 0x81};
    for (const Bytes& set : {zeroLength, pastTheEnd}) {
        const Bytes descriptors = FunctionFsBlobs::Descriptors(set, set);
        EXPECT_EQ(Le32(descriptors, 12), 1u);
        EXPECT_EQ(Le32(descriptors, 16), 1u);
        EXPECT_EQ(descriptors.size(), 20u + 9 + 9);
    }
}

// ---- Normal mode ----

class HidPersonalityTest : public ::testing::Test {
protected:
    HidPersonality Plug(SensorState prototype = test::SimulatedBus::QuickSensor())
    {
        serial_ = bus_.Plug(SensorMode::Normal, prototype);
        return HidPersonality(SensorStore(bus_.Folder()), *SensorStore(bus_.Folder()).Load(serial_));
    }

    static ControlAnswer SetFeature(HidPersonality& hid, const Bytes& report)
    {
        return hid.Answer(Packet(0x21, 0x09, static_cast<std::uint16_t>(0x0300 | report[0]), 0,
                                 static_cast<std::uint16_t>(report.size())),
                          report);
    }
    static ControlAnswer GetFeature(HidPersonality& hid, std::uint8_t id, std::uint16_t length)
    {
        return hid.Answer(Packet(0xA1, 0x01, static_cast<std::uint16_t>(0x0300 | id), 0, length), {});
    }
    static Bytes InformationRequest(std::uint8_t address)
    {
        Bytes request(257, 0);
        const Bytes head = {0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, address, 0x00, 0x6C, 0x00};
        std::copy(head.begin(), head.end(), request.begin());
        return request;
    }
    SensorState State() const { return *SensorStore(bus_.Folder()).Load(serial_); }

    test::SimulatedBus bus_;
    std::string serial_;
};

TEST_F(HidPersonalityTest, PresentsTheSensorWithItsReportDescriptor)
{
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.usagePage = 0x00FF;
    prototype.usage = 0x0004;
    prototype.product = "Tarnix TS-210";
    HidPersonality hid = Plug(prototype);

    const GadgetIds identity = hid.Identity();
    EXPECT_EQ(identity.vendorId, 0x3C9E);
    EXPECT_EQ(identity.productId, 0x0101);
    EXPECT_EQ(identity.bcdDevice, 0x0100);
    EXPECT_EQ(identity.product, "Tarnix TS-210");
    EXPECT_EQ(identity.serial, serial_);

    const ControlAnswer report = hid.Answer(Packet(0x81, 0x06, 0x2200, 0, 255), {});
    ASSERT_EQ(report.kind, ControlAnswer::Kind::Data);
    EXPECT_EQ(report.data, hid.ReportDescriptor());
    const test::ReportLayout layout = test::ParseReportDescriptor(report.data);
    EXPECT_EQ(layout.usagePage, 0x00FFu);
    EXPECT_EQ(layout.usage, 0x0004u);

    EXPECT_EQ(hid.Answer(Packet(0x81, 0x06, 0x2200, 1, 255), {}).kind, ControlAnswer::Kind::Stall)
        << "an interface it does not have";
}

TEST_F(HidPersonalityTest, FunctionDescriptorsNameTheReportDescriptorAndTheInterruptEndpoint)
{
    HidPersonality hid = Plug();
    const Bytes blob = hid.FunctionDescriptors();
    ASSERT_EQ(Le32(blob, 4), blob.size());
    ASSERT_EQ(Le32(blob, 12), 3u);
    const Bytes fullSpeed(blob.begin() + 20, blob.begin() + 20 + 25);
    EXPECT_EQ(fullSpeed[5], 0x03) << "interface class HID";
    EXPECT_EQ(fullSpeed[4], 1) << "one endpoint";
    EXPECT_EQ(fullSpeed[10], 0x21);
    EXPECT_EQ(Le16(fullSpeed, 16), hid.ReportDescriptor().size());
    EXPECT_EQ(fullSpeed[20], 0x81) << "interrupt IN endpoint";
    EXPECT_EQ(fullSpeed[21], 0x03);
    EXPECT_TRUE(std::equal(fullSpeed.begin(), fullSpeed.end(), blob.begin() + 20 + 25)) << "the same at high speed";
    EXPECT_EQ(hid.FunctionStrings().size(), 16u);
}

TEST_F(HidPersonalityTest, InformationRequestIsAnsweredThroughTheAnswerReport)
{
    HidPersonality hid = Plug();
    EXPECT_EQ(SetFeature(hid, InformationRequest(0x00)).kind, ControlAnswer::Kind::Acknowledge);
    const ControlAnswer answer = GetFeature(hid, 0x02, 258);
    ASSERT_EQ(answer.kind, ControlAnswer::Kind::Data);
    ASSERT_EQ(answer.data.size(), 258u);
    const Bytes expected = InformationAnswers::Platform(State());
    EXPECT_EQ(answer.data[0], 0x02);
    EXPECT_EQ(answer.data[1], expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), answer.data.begin() + 2));

    EXPECT_EQ(SetFeature(hid, InformationRequest(0x02)).kind, ControlAnswer::Kind::Acknowledge);
    const ControlAnswer device = GetFeature(hid, 0x02, 258);
    const Bytes deviceExpected = InformationAnswers::Device(State());
    ASSERT_EQ(device.kind, ControlAnswer::Kind::Data);
    EXPECT_TRUE(std::equal(deviceExpected.begin(), deviceExpected.end(), device.data.begin() + 2));
}

TEST_F(HidPersonalityTest, RefusesReportsTheSensorDoesNotHave)
{
    HidPersonality hid = Plug();
    EXPECT_EQ(GetFeature(hid, 0x01, 258).kind, ControlAnswer::Kind::Stall) << "the request report is write-only";
    EXPECT_EQ(hid.Answer(Packet(0xA1, 0x01, 0x0102, 0, 258), {}).kind, ControlAnswer::Kind::Stall) << "input report";
    EXPECT_EQ(GetFeature(hid, 0x02, 300).kind, ControlAnswer::Kind::Stall) << "longer than the report";
    Bytes mislabelled = InformationRequest(0x00);
    EXPECT_EQ(hid.Answer(Packet(0x21, 0x09, 0x0302, 0, 257), mislabelled).kind, ControlAnswer::Kind::Stall)
        << "data whose first byte is not the report ID of the request";
    EXPECT_EQ(hid.Answer(Packet(0x21, 0x0A, 0, 0, 0), {}).kind, ControlAnswer::Kind::Acknowledge) << "SET_IDLE";
}

TEST_F(HidPersonalityTest, ASensorWithSeveralCollectionsAnswersWithItsOwnReportLength)
{
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.collections = {SensorCollection{false, 0x000D, 0x0004, 0}, SensorCollection{true, 0, 0, 200}};
    HidPersonality hid = Plug(prototype);
    const std::vector<test::ReportLayout> layouts = test::ParseTopLevelCollections(hid.ReportDescriptor());
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_EQ(layouts[0].usagePage, 0x000Du);
    EXPECT_EQ(layouts[1].usagePage, 0xFF00u);
    EXPECT_EQ(layouts[1].featureBits.at(0x02), 1600u);

    EXPECT_EQ(SetFeature(hid, InformationRequest(0x00)).kind, ControlAnswer::Kind::Acknowledge);
    const ControlAnswer answer = GetFeature(hid, 0x02, 258);
    ASSERT_EQ(answer.kind, ControlAnswer::Kind::Data);
    EXPECT_EQ(answer.data.size(), 201u) << "the report it has, not the length asked for";
    const Bytes expected = InformationAnswers::Platform(State());
    EXPECT_EQ(answer.data[1], expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), answer.data.begin() + 2));
    EXPECT_EQ(GetFeature(hid, 0x02, 64).kind, ControlAnswer::Kind::Stall) << "the answer does not fit 64 bytes";
    EXPECT_EQ(SetFeature(hid, InformationRequest(0x02)).kind, ControlAnswer::Kind::Acknowledge);
    EXPECT_EQ(GetFeature(hid, 0x02, 64).data.size(), 64u) << "the short device answer, cut to the request";
    EXPECT_EQ(GetFeature(hid, 0x10, 9).kind, ControlAnswer::Kind::Stall) << "the digitizer's input report";
}

TEST_F(HidPersonalityTest, SilentSensorAnswersAnEmptyReport)
{
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.silent = true;
    HidPersonality hid = Plug(prototype);
    EXPECT_EQ(SetFeature(hid, InformationRequest(0x00)).kind, ControlAnswer::Kind::Acknowledge);
    const ControlAnswer answer = GetFeature(hid, 0x02, 258);
    ASSERT_EQ(answer.kind, ControlAnswer::Kind::Data);
    Bytes empty(258, 0);
    empty[0] = 0x02;
    EXPECT_EQ(answer.data, empty);
}

TEST_F(HidPersonalityTest, SwitchReportSendsTheSensorToDfuMode)
{
    HidPersonality hid = Plug();
    EXPECT_EQ(SetFeature(hid, {0x80, 0x00}).kind, ControlAnswer::Kind::Acknowledge);
    EXPECT_EQ(State().mode, SensorMode::Dfu);
    EXPECT_EQ(SetFeature(hid, InformationRequest(0x00)).kind, ControlAnswer::Kind::Stall)
        << "the HID personality is gone";
}

// ---- DFU mode ----

class DfuPersonalityTest : public ::testing::Test {
protected:
    DfuPersonalityTest()
        : serial_(bus_.Plug(SensorMode::Dfu)),
          dfu_(SensorStore(bus_.Folder()), *SensorStore(bus_.Folder()).Load(serial_))
    {
    }

    ControlAnswer Dnload(std::uint16_t block, const Bytes& data)
    {
        return dfu_.Answer(Packet(0x21, 1, block, 0, static_cast<std::uint16_t>(data.size())), data);
    }
    ControlAnswer Request(std::uint8_t type, std::uint8_t request, std::uint16_t length = 0, std::uint16_t value = 0)
    {
        return dfu_.Answer(Packet(type, request, value, 0, length), {});
    }
    // bState of a GETSTATUS answer.
    int StatusState()
    {
        const ControlAnswer status = Request(0xA1, 3, 6);
        return status.kind == ControlAnswer::Kind::Data && status.data.size() == 6 ? status.data[4] : -1;
    }
    std::optional<SensorListing> Listing() const { return bus_.Listing(serial_); }

    test::SimulatedBus bus_;
    std::string serial_;
    DfuPersonality dfu_;
};

TEST_F(DfuPersonalityTest, DescribesTheBootloaderInterfaceAndItsTransferSize)
{
    const GadgetIds identity = dfu_.Identity();
    EXPECT_EQ(identity.vendorId, 0x0483);
    EXPECT_EQ(identity.productId, 0xDF11);
    EXPECT_EQ(identity.bcdDevice, 0x2200);

    const Bytes blob = dfu_.FunctionDescriptors();
    ASSERT_EQ(Le32(blob, 4), blob.size());
    ASSERT_EQ(Le32(blob, 12), 3u);
    const Bytes set(blob.begin() + 20, blob.begin() + 20 + 27);
    EXPECT_EQ(Bytes(set.begin(), set.begin() + 9), (Bytes{9, 0x04, 0, 0, 0, 0xFE, 0x01, 0x02, 1}))
        << "alternate setting 0: DFU mode, the function's string 1";
    EXPECT_EQ(set[9 + 3], 1) << "the carrier is alternate setting 1";
    EXPECT_EQ(set[9 + 5], 0x03) << "of the class after which FunctionFS takes a type 0x21 descriptor";
    EXPECT_EQ(Bytes(set.begin() + 18, set.end()), (Bytes{9, 0x21, 0x0B, 0xFF, 0x00, 0x00, 0x08, 0x1A, 0x01}));

    const Bytes strings = dfu_.FunctionStrings();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(strings.data()) + 18), kDfuMemoryLayout);
}

TEST_F(DfuPersonalityTest, ReadsTheParameterPageAsTheHostDoes)
{
    EXPECT_EQ(Dnload(0, DfuCommand(0x21, 0x08004000 - 6 * 2048)).kind, ControlAnswer::Kind::Acknowledge);
    EXPECT_EQ(StatusState(), 5) << "dfuDNLOAD-IDLE";
    EXPECT_EQ(Request(0x21, 4).kind, ControlAnswer::Kind::Acknowledge) << "CLRSTATUS";
    EXPECT_EQ(StatusState(), 2) << "dfuIDLE";
    const ControlAnswer upload = Request(0xA1, 2, 2048, 8);
    ASSERT_EQ(upload.kind, ControlAnswer::Kind::Data);
    EXPECT_EQ(upload.data, bus_.ReadFlash(serial_, kParameterAddress, 2048));
    const ControlAnswer state = Request(0xA1, 5, 1);
    ASSERT_EQ(state.kind, ControlAnswer::Kind::Data);
    EXPECT_EQ(state.data, Bytes{9}) << "dfuUPLOAD-IDLE";
    EXPECT_EQ(Request(0x21, 6).kind, ControlAnswer::Kind::Acknowledge) << "ABORT";
}

TEST_F(DfuPersonalityTest, StatusCarriesThePollTimeoutAndTheState)
{
    EXPECT_EQ(Dnload(0, DfuCommand(0x21, kFlashBase)).kind, ControlAnswer::Kind::Acknowledge);
    const ControlAnswer status = Request(0xA1, 3, 6);
    ASSERT_EQ(status.kind, ControlAnswer::Kind::Data);
    EXPECT_EQ(status.data, (Bytes{0x00, 0x01, 0x00, 0x00, 0x05, 0x00}))
        << "OK, bwPollTimeout 1 ms (3 bytes little-endian), dfuDNLOAD-IDLE, no string";
    EXPECT_EQ(Request(0xA1, 3, 5).kind, ControlAnswer::Kind::Stall) << "no room for the six bytes";
    EXPECT_EQ(Request(0xA1, 5, 0).kind, ControlAnswer::Kind::Stall) << "no room for the state";
}

TEST_F(DfuPersonalityTest, StallsRequestsOutsideTheProtocol)
{
    EXPECT_EQ(Request(0x21, 3, 6).kind, ControlAnswer::Kind::Stall) << "GETSTATUS as an OUT request";
    EXPECT_EQ(Request(0xA1, 1, 16).kind, ControlAnswer::Kind::Stall) << "DNLOAD as an IN request";
    EXPECT_EQ(dfu_.Answer(Packet(0xA1, 3, 0, 1, 6), {}).kind, ControlAnswer::Kind::Stall) << "another interface";
    EXPECT_EQ(Request(0xA1, 0x07, 1).kind, ControlAnswer::Kind::Stall) << "no such DFU request";
    EXPECT_EQ(Request(0x80, 0x06, 255, 0x0304).kind, ControlAnswer::Kind::Stall)
        << "standard requests are the kernel's";
    EXPECT_EQ(Dnload(1, Bytes(16, 0)).kind, ControlAnswer::Kind::Stall) << "block 1 is reserved";
    EXPECT_EQ(StatusState(), 10) << "dfuERROR after the stalled block";
}

// FunctionFS acknowledges an OUT request when its data is taken: a refusal must come before that, and it
// does for a data block, which the bootloader refuses (or takes) whatever its bytes.
TEST_F(DfuPersonalityTest, AStallFaultRefusesADataBlockBeforeItsDataStage)
{
    const ControlSetup dataBlock = Packet(0x21, 1, 2, 0, 2048);
    EXPECT_EQ(Dnload(0, DfuCommand(0x21, kParameterAddress)).kind, ControlAnswer::Kind::Acknowledge);
    const Bytes before = bus_.ReadFlash(serial_, kParameterAddress, 2048);
    EXPECT_FALSE(dfu_.AnswerBeforeData(dataBlock)) << "the data decides";
    EXPECT_EQ(StatusState(), 5) << "dfuDNLOAD-IDLE: looking at the request changed nothing";

    bus_.Bus().SetFault(serial_, Fault::Stall);
    EXPECT_FALSE(dfu_.AnswerBeforeData(Packet(0x21, 1, 0, 0, 5))) << "a command is judged by its bytes";
    const auto refusal = dfu_.AnswerBeforeData(dataBlock);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->kind, ControlAnswer::Kind::Stall);
    EXPECT_EQ(Request(0xA1, 3, 6).kind, ControlAnswer::Kind::Stall) << "the stall lasts";
    EXPECT_EQ(bus_.ReadFlash(serial_, kParameterAddress, 2048), before);
}

TEST_F(DfuPersonalityTest, OneShotAndDownloadFaultsAreSpentBeforeTheDataStageToo)
{
    const ControlSetup dataBlock = Packet(0x21, 1, 2, 0, 2048);
    EXPECT_EQ(Dnload(0, DfuCommand(0x21, kParameterAddress)).kind, ControlAnswer::Kind::Acknowledge);
    bus_.Bus().SetFault(serial_, Fault::Stall, true);
    ASSERT_TRUE(dfu_.AnswerBeforeData(dataBlock));
    EXPECT_EQ(StatusState(), 5) << "answered again after the one stalled request";
    EXPECT_FALSE(dfu_.AnswerBeforeData(dataBlock)) << "the fault is spent";

    bus_.Bus().SetFault(serial_, Fault::Download);
    const auto refusal = dfu_.AnswerBeforeData(dataBlock);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->kind, ControlAnswer::Kind::Stall);
    EXPECT_EQ(StatusState(), 10) << "dfuERROR";
}

TEST_F(DfuPersonalityTest, LeavingDfuModeBootsTheFirmwareInFlash)
{
    EXPECT_EQ(Dnload(0, DfuCommand(0x21, kFlashBase)).kind, ControlAnswer::Kind::Acknowledge);
    EXPECT_EQ(Request(0x21, 4).kind, ControlAnswer::Kind::Acknowledge);
    EXPECT_EQ(Dnload(0, {}).kind, ControlAnswer::Kind::Acknowledge) << "the zero-length request";
    EXPECT_EQ(StatusState(), 8) << "dfuMANIFEST";
    const auto listing = Listing();
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing->mode, SensorMode::Normal);
    EXPECT_EQ(StatusState(), -1) << "the bootloader is gone";
}

TEST_F(DfuPersonalityTest, UnplugFaultDropsTheSensorOffTheBusAtTheFirstDataBlock)
{
    ASSERT_TRUE(bus_.Fault(serial_, "unplug"));
    EXPECT_EQ(Dnload(0, DfuCommand(0x21, kParameterAddress)).kind, ControlAnswer::Kind::Acknowledge)
        << "commands still work";
    EXPECT_EQ(Request(0x21, 4).kind, ControlAnswer::Kind::Acknowledge);
    EXPECT_EQ(Dnload(2, Bytes(2048, 0x5A)).kind, ControlAnswer::Kind::Stall);
    const auto listing = Listing();
    ASSERT_TRUE(listing);
    EXPECT_FALSE(listing->present);
    EXPECT_EQ(StatusState(), -1);
}

}  // namespace
}  // namespace tarnix::sim
