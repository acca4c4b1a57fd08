#include "core/DeviceInformation.h"

#include "core/Asn1Decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

PlatformInformationRecord CompletePlatformRecord()
{
    PlatformInformationRecord record;
    record.value80 = 10, record.value81 = 11, record.value82 = 12, record.value83 = 13;
    record.value84 = 2, record.value85 = 4, record.value8F = 1, record.value90 = 1;
    record.value88 = 0xDEADBEEF, record.value89 = 0xFFFFFFFF;
    record.text86 = "t86", record.text87 = "t87", record.text8B = "t8B";
    record.text8C = "t8C", record.text8D = "t8D", record.text8E = "t8E";
    record.octets8A = std::vector<unsigned char>{0x00, 0x1F, 0xA0};
    return record;
}

TEST(DeviceInformation, PlatformRecordFillsItsPairsTextsAndIdentifier)
{
    DeviceInformation information;
    information.FillFromPlatformRecord(CompletePlatformRecord());
    EXPECT_EQ(information.firmwareVersionMajor, 2u);
    EXPECT_EQ(information.firmwareVersionMinor, 4u);
    EXPECT_EQ(information.platformValue80 + information.platformValue81, 21u);
    EXPECT_EQ(information.platformValue82 + information.platformValue83, 25u);
    EXPECT_EQ(information.parametersVersionMajor, 1u);
    EXPECT_EQ(information.parametersVersionMinor, 1u);
    EXPECT_EQ(information.platformText86 + information.platformText87 + information.platformText8B +
                  information.platformText8C + information.platformText8D + information.platformText8E,
              "t86t87t8Bt8Ct8Dt8E");
    EXPECT_EQ(information.mcuIdentifier, "001FA0");
    EXPECT_EQ(
        information.deviceValue80 + information.deviceValue81 + information.deviceValue82 + information.deviceValue83,
        0u);  // the 32-bit platform values have no member and leak into none
}

TEST(DeviceInformation, HalfAPairLeavesBothMembersZero)
{
    PlatformInformationRecord platform = CompletePlatformRecord();
    platform.value90.reset();
    platform.value84.reset();
    platform.value81.reset();
    platform.value82.reset();
    DeviceInformationRecord device;
    device.value80 = 5, device.value82 = 6, device.value83 = 7, device.value84 = 8;

    DeviceInformation information;
    information.FillFromPlatformRecord(platform);
    information.FillFromDeviceRecord(device);
    EXPECT_EQ(information.parametersVersionMajor + information.parametersVersionMinor, 0u);
    EXPECT_EQ(information.firmwareVersionMajor + information.firmwareVersionMinor, 0u);
    EXPECT_EQ(information.platformValue80 + information.platformValue81, 0u);
    EXPECT_EQ(information.platformValue82 + information.platformValue83, 0u);
    EXPECT_EQ(information.deviceValue80 + information.deviceValue81, 0u);
    EXPECT_EQ(information.deviceValue82, 6u);
    EXPECT_EQ(information.deviceValue83, 7u);
}

TEST(DeviceInformation, AbsentTextsAndEmptyOctetsLeaveTheMembersAlone)
{
    DeviceInformation information;
    information.platformText86 = "replaced";
    information.platformText87 = "kept";
    information.mcuIdentifier = "0A";
    PlatformInformationRecord record;
    record.text86 = "";
    record.octets8A = std::vector<unsigned char>{};
    information.FillFromPlatformRecord(record);
    EXPECT_EQ(information.platformText86, "");  // a present text is copied even when empty
    EXPECT_EQ(information.platformText87, "kept");
    EXPECT_EQ(information.mcuIdentifier, "0A");
}

TEST(DeviceInformation, McuIdentifierIsCutAfterNinetyNineDigits)
{
    EXPECT_EQ(DeviceInformation::FormatMcuIdentifier({0xAB, 0x0C, 0xFF}), "AB0CFF");
    std::vector<unsigned char> octets(49, 0x5A);
    std::string expected;
    for (int i = 0; i < 49; ++i) {
        expected += "5A";
    }
    EXPECT_EQ(DeviceInformation::FormatMcuIdentifier(octets), expected);
    octets.push_back(0xC7);  // only its first digit still fits
    EXPECT_EQ(DeviceInformation::FormatMcuIdentifier(octets), expected + "C");
    octets.resize(120, 0x11);
    EXPECT_EQ(DeviceInformation::FormatMcuIdentifier(octets), expected + "C");
}

TEST(DeviceInformation, DecodedAnswersFillAFreshValue)
{
    const std::vector<unsigned char> platform = {0xEF, 0x17, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x11, 0xA0,
                                                 0x0F, 0x84, 0x01, 0x02, 0x85, 0x01, 0x04, 0x8F, 0x01,
                                                 0x01, 0x90, 0x01, 0x01, 0x8A, 0x01, 0x3C};
    const std::vector<unsigned char> emptyDevice = {0xEF, 0x08, 0x40, 0x02, 0x02, 0x00, 0x6C, 0x02, 0xA1, 0x80};
    const auto platformRecord = Asn1Decoder::GetInstance().GetPlatformInformation(platform.data(), 25, 25);
    const auto deviceRecord = Asn1Decoder::GetInstance().GetDeviceInformation(emptyDevice.data(), 10, 10);
    ASSERT_TRUE(platformRecord && deviceRecord);
    DeviceInformation information;
    information.FillFromPlatformRecord(*platformRecord);
    information.FillFromDeviceRecord(*deviceRecord);
    EXPECT_EQ(information.firmwareVersionMajor, 2u);
    EXPECT_EQ(information.firmwareVersionMinor, 4u);
    EXPECT_EQ(information.parametersVersionMinor, 1u);
    EXPECT_EQ(information.mcuIdentifier, "3C");
    EXPECT_EQ(information.deviceValue80, 0u);
}

}  // namespace
