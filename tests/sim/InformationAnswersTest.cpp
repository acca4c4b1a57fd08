#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "sim/sensor/FeatureReports.h"
#include "sim/sensor/InformationAnswers.h"
#include "sim/host/SimulatedHidDevice.h"
#include "tests/support/SimulatedBus.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

SensorState SmallSensor()
{
    SensorState state;
    state.serial = "S1";
    state.product = "P";
    state.manufacturer = "M";
    state.mcuId = {0x00, 0x1F, 0xA0};
    state.firmware = {2, 4};
    state.schema = Version{1, 1};
    return state;
}

const Bytes kPlatformAnswer = {
    0xEF, 0x5B,                                                          // envelope, 91 bytes
    0x40, 0x02, 0x00, 0x00,                                              // address 00 00
    0x6C, 0x55,                                                          // information element
    0xA0, 0x53,                                                          // platform block, 83 bytes
    0x80, 0x02, 0x00, 0x01, 0x81, 0x02, 0x00, 0x02,                      // hardware 1.2
    0x82, 0x02, 0x00, 0x03, 0x83, 0x02, 0x00, 0x01,                      // bootloader 3.1
    0x84, 0x02, 0x00, 0x02, 0x85, 0x02, 0x00, 0x04,                      // firmware 2.4
    0x86, 0x01, 'P',  0x87, 0x01, 'M',                                   // product, manufacturer
    0x88, 0x04, 0x00, 0x02, 0x00, 0x00,                                  // flash size 128 KiB
    0x89, 0x04, 0x00, 0x00, 0x07, 0xD4,                                  // build 2004
    0x8A, 0x03, 0x00, 0x1F, 0xA0,                                        // MCU identifier
    0x8B, 0x02, 'S',  '1',  0x8C, 0x01, 'C',                             // serial, hardware revision
    0x8D, 0x0A, '2',  '0',  '2',  '4',  '-',  '0',  '3', '-', '1', '8',  // build date
    0x8E, 0x07, 'r',  'e',  'l',  'e',  'a',  's',  'e',                 // variant
    0x8F, 0x02, 0x00, 0x01, 0x90, 0x02, 0x00, 0x01,                      // schema 1.1
};

const Bytes kDeviceAnswer = {
    0xEF, 0x1C, 0x40, 0x02, 0x02, 0x00, 0x6C, 0x16, 0xA1, 0x14,  // envelope, address 02 00, device block
    0x80, 0x02, 0x00, 0x10, 0x81, 0x02, 0x00, 0x10, 0x82, 0x02,
    0x00, 0x08, 0x83, 0x02, 0x00, 0xC8, 0x84, 0x02, 0x00, 0x02,
};

TEST(InformationAnswers, PlatformAnswerHasEveryElementInTagOrder)
{
    EXPECT_EQ(InformationAnswers::Platform(SmallSensor()), kPlatformAnswer);
}

TEST(InformationAnswers, DeviceAnswerHasTheDeviceBlock)
{
    EXPECT_EQ(InformationAnswers::Device(SmallSensor()), kDeviceAnswer);
}

TEST(InformationAnswers, FirmwareWithoutSchemaLeavesOutTheSchemaPair)
{
    SensorState state = SmallSensor();
    state.schema.reset();
    const Bytes answer = InformationAnswers::Platform(state);
    ASSERT_EQ(answer.size(), kPlatformAnswer.size() - 8);
    EXPECT_EQ(answer[1], 0x5B - 8);
    EXPECT_EQ(answer[9], 0x53 - 8);
    EXPECT_TRUE(std::equal(answer.begin() + 10, answer.end(), kPlatformAnswer.begin() + 10));
}

TEST(InformationAnswers, LongAnswersUseTheOneByteLongLengthForm)
{
    SensorState state = SmallSensor();
    state.product = std::string(48, 'x');  // elements grow from 83 to 130 bytes
    const Bytes answer = InformationAnswers::Platform(state);
    const Bytes head = {0xEF, 0x81, 0x8C, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x81, 0x85, 0xA0, 0x81, 0x82};
    ASSERT_GE(answer.size(), head.size());
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + static_cast<long>(head.size())), head);
    EXPECT_EQ(answer.size(), 3u + 0x8C);
}

TEST(FeatureReports, ClassifiesTheRequestsOfTheHost)
{
    std::array<std::uint8_t, 257> platform{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    std::array<std::uint8_t, 257> device{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x02, 0x00, 0x6C, 0x00};
    const std::uint8_t toDfu[] = {0x80, 0x00};
    EXPECT_EQ(FeatureReports::Classify(platform.data(), platform.size()), FeatureRequest::PlatformInformation);
    EXPECT_EQ(FeatureReports::Classify(device.data(), device.size()), FeatureRequest::DeviceInformation);
    EXPECT_EQ(FeatureReports::Classify(toDfu, sizeof toDfu), FeatureRequest::SwitchToDfu);

    const std::uint8_t otherSwitch[] = {0x80, 0x01};
    EXPECT_EQ(FeatureReports::Classify(otherSwitch, sizeof otherSwitch), FeatureRequest::Unknown);
    EXPECT_EQ(FeatureReports::Classify(platform.data(), 9), FeatureRequest::Unknown);  // cut short
    platform[6] = 0x01;
    EXPECT_EQ(FeatureReports::Classify(platform.data(), platform.size()), FeatureRequest::Unknown);
    device[2] = 0xEF;
    EXPECT_EQ(FeatureReports::Classify(device.data(), device.size()), FeatureRequest::Unknown);
    EXPECT_EQ(FeatureReports::Classify(nullptr, 10), FeatureRequest::Unknown);
}

TEST(FeatureReports, AnswerReportCarriesCountAndAnswerThenZeros)
{
    std::array<std::uint8_t, 258> report;
    report.fill(0xAA);
    ASSERT_TRUE(FeatureReports::FillAnswer(kDeviceAnswer, report.data(), report.size()));
    EXPECT_EQ(report[0], 0x02);
    EXPECT_EQ(report[1], kDeviceAnswer.size());
    EXPECT_TRUE(std::equal(kDeviceAnswer.begin(), kDeviceAnswer.end(), report.begin() + 2));
    EXPECT_TRUE(std::all_of(report.begin() + 2 + static_cast<long>(kDeviceAnswer.size()), report.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_FALSE(FeatureReports::FillAnswer(kDeviceAnswer, report.data(), kDeviceAnswer.size() + 1));
}

// The whole exchange as the host does it: a 257-byte request, then 258-byte reads of report 02.
TEST(InformationAnswers, SensorAnswersRequestsOverItsHidInterface)
{
    test::SimulatedBus bus;
    SensorState prototype = test::SimulatedBus::QuickSensor();
    prototype.serial = "S1";
    prototype.product = "P";
    prototype.manufacturer = "M";
    prototype.mcuId = {0x00, 0x1F, 0xA0};
    bus.Plug(SensorMode::Normal, prototype);
    const auto interfaces = bus.Bus().Enumerate(kHidInterfaceClass);
    ASSERT_EQ(interfaces.size(), 1u);
    auto hid = SimulatedHidDevice::Open(interfaces[0].devicePath, SimulatedHidDevice::Access::ReadWrite);
    ASSERT_TRUE(hid);

    std::array<std::uint8_t, 258> report{};
    report[0] = 0x02;
    report[1] = 0xFF;
    ASSERT_TRUE(hid->GetFeature(report.data(), report.size()));
    EXPECT_EQ(report[1], 0) << "no answer before a request";
    EXPECT_EQ(report[2], 0);

    std::array<std::uint8_t, 257> request{0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x00};
    ASSERT_TRUE(hid->SetFeature(request.data(), request.size()));
    report.fill(0);
    report[0] = 0x02;
    ASSERT_TRUE(hid->GetFeature(report.data(), report.size()));
    EXPECT_EQ(report[1], kPlatformAnswer.size());
    EXPECT_EQ(Bytes(report.begin() + 2, report.begin() + 2 + static_cast<long>(kPlatformAnswer.size())),
              kPlatformAnswer);

    request[6] = 0x02;
    ASSERT_TRUE(hid->SetFeature(request.data(), request.size()));
    ASSERT_TRUE(hid->GetFeature(report.data(), report.size()));
    EXPECT_EQ(Bytes(report.begin() + 2, report.begin() + 2 + static_cast<long>(kDeviceAnswer.size())), kDeviceAnswer);
}

}  // namespace
}  // namespace tarnix::sim
