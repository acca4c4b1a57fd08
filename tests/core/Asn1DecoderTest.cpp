#include "core/Asn1Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const Asn1Decoder& Decoder() { return Asn1Decoder::GetInstance(); }

// An answer with every length in short form: EF L 40 02 00 00 6C L' <block> E <elements>.
Bytes Answer(unsigned char blockTag, const Bytes& elements)
{
    const auto size = static_cast<unsigned char>(elements.size());
    Bytes answer = {0xEF, static_cast<unsigned char>(8 + size), 0x40,     0x02, 0x00, 0x00,
                    0x6C, static_cast<unsigned char>(2 + size), blockTag, size};
    // Room for the elements first: GCC 12 (-O2 and up) warns of a bound it cannot see in the growth path of
    // an insert into a vector made from an initializer list (a false -Warray-bounds).
    answer.reserve(answer.size() + elements.size());
    answer.insert(answer.end(), elements.begin(), elements.end());
    return answer;
}

// The decoder sees exactly the bytes given, in an allocation of that size, so that any read past them is
// caught by the address sanitizer.
template <typename Decode>
auto DecodeExact(const Bytes& bytes, unsigned int count, Decode decode)
{
    auto exact = std::make_unique<unsigned char[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return decode(exact.get(), count, bytes.size());
}

std::optional<PlatformInformationRecord> Platform(const Bytes& bytes, unsigned int count)
{
    return DecodeExact(bytes, count, [](const unsigned char* d, unsigned int c, std::size_t n) {
        return Decoder().GetPlatformInformation(d, c, n);
    });
}
std::optional<PlatformInformationRecord> Platform(const Bytes& bytes)
{
    return Platform(bytes, static_cast<unsigned int>(bytes.size()));
}

std::optional<DeviceInformationRecord> Device(const Bytes& bytes, unsigned int count)
{
    return DecodeExact(bytes, count, [](const unsigned char* d, unsigned int c, std::size_t n) {
        return Decoder().GetDeviceInformation(d, c, n);
    });
}
std::optional<DeviceInformationRecord> Device(const Bytes& bytes)
{
    return Device(bytes, static_cast<unsigned int>(bytes.size()));
}

const Bytes kVersionElements = {0x84, 0x01, 0x02, 0x85, 0x02, 0x00, 0x04};

TEST(Asn1Decoder, LengthFieldsInShortAndLongFormAddTheirBytes)
{
    const Bytes shortForm = {0x7F}, longForm = {0x82, 0x01, 0x02}, emptyLong = {0x80}, cutLong = {0x83, 0xFF};
    EXPECT_EQ(Decoder().GetLength(shortForm.data(), 1), 0x7Fu);
    EXPECT_EQ(Decoder().GetNumLengthBytes(shortForm.data()), 1u);
    EXPECT_EQ(Decoder().GetLength(longForm.data(), 3), 3u);
    EXPECT_EQ(Decoder().GetNumLengthBytes(longForm.data()), 3u);
    EXPECT_EQ(Decoder().GetLength(emptyLong.data(), 1), 0u);
    EXPECT_EQ(Decoder().GetNumLengthBytes(emptyLong.data()), 1u);
    EXPECT_EQ(Decoder().GetLength(cutLong.data(), cutLong.size()), std::nullopt);
}

TEST(Asn1Decoder, ElementValuesKeepTheLowBitsAndStopTextsAtNul)
{
    const Bytes three = {0x01, 0x02, 0x03}, five = {0x01, 0x02, 0x03, 0x04, 0x05}, text = {'a', 'b', 0, 'c'};
    EXPECT_EQ(Decoder().DecodeUint16(three.data(), 3), 0x0203);
    EXPECT_EQ(Decoder().DecodeUint32(five.data(), 5), 0x02030405u);
    EXPECT_EQ(Decoder().DecodeUint16(three.data(), 0), std::nullopt);
    EXPECT_EQ(Decoder().DecodeString(text.data(), 4), "ab");
    EXPECT_EQ(Decoder().DecodeString(text.data(), 0), "");
    EXPECT_EQ(Decoder().DecodeOctetString(text.data(), 4), text);
}

TEST(Asn1Decoder, PlatformAnswerFillsEveryKindOfValueAndSkipsUnknownTags)
{
    const auto record = Platform(
        Answer(0xA0, {0x80, 0x01, 0x07, 0x99, 0x01, 0x55, 0x8F, 0x01, 0x01, 0x90, 0x02, 0x00, 0x02, 0x88, 0x04, 0x12,
                      0x34, 0x56, 0x78, 0x86, 0x03, 'T',  'S',  '2',  0x8A, 0x03, 0x00, 0x1F, 0xA0, 0x8E, 0x00}));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value80, 7);
    EXPECT_EQ(record->value8F, 1);
    EXPECT_EQ(record->value90, 2);
    EXPECT_EQ(record->value88, 0x12345678u);
    EXPECT_EQ(record->text86, "TS2");
    EXPECT_EQ(record->text8E, "");
    EXPECT_EQ(record->octets8A, (Bytes{0x00, 0x1F, 0xA0}));
    EXPECT_FALSE(record->value81 || record->value84 || record->value89 || record->text87);
}

TEST(Asn1Decoder, DeviceAnswerTakesOnlyItsIntegerTags)
{
    const auto record = Device(Answer(0xA1, {0x80, 0x01, 0x05, 0x84, 0x02, 0x01, 0x00, 0x86, 0x01, 'x'}));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value80, 5);
    EXPECT_EQ(record->value84, 0x100);
    EXPECT_FALSE(record->value81);
    EXPECT_FALSE(Platform(Answer(0xA1, kVersionElements)));  // a device block in a platform answer
}

TEST(Asn1Decoder, MalformedHeadersGiveNoRecord)
{
    const Bytes good = Answer(0xA0, kVersionElements);
    ASSERT_TRUE(Platform(good));
    EXPECT_TRUE(Platform(good, static_cast<unsigned int>(good.size() - 1)));  // one byte of slack
    EXPECT_FALSE(Platform(good, static_cast<unsigned int>(good.size() - 2)));
    EXPECT_FALSE(Platform(good, static_cast<unsigned int>(good.size() + 1)));
    EXPECT_FALSE(Platform(good, 0xFFFFFFFFu));  // a report count of 0 minus 1
    // Envelopes claiming 6 (device) and 11 (platform) bytes: a count of L + 1 falls under each minimum.
    const Bytes shortDevice = {0xEF, 0x06, 0x40, 0x02, 0x02, 0x00, 0x6C, 0x01, 0xA1, 0x80};
    EXPECT_TRUE(Device(shortDevice, 8));
    EXPECT_FALSE(Device(shortDevice, 7));
    Bytes shortPlatform = shortDevice;
    shortPlatform[1] = 0x0B;
    shortPlatform[8] = 0xA0;
    EXPECT_TRUE(Platform(shortPlatform, 13));
    EXPECT_FALSE(Platform(shortPlatform, 12));
    for (const auto& [index, value] : {std::pair{0, 0xEE}, {1, 0x80}, {6, 0x6D}, {7, 0x00}, {7, 0x80}, {9, 0x00}}) {
        Bytes broken = good;
        broken[index] = static_cast<unsigned char>(value);
        EXPECT_FALSE(Platform(broken)) << "byte " << index << " = " << value;
    }
}

TEST(Asn1Decoder, LongFormLengthsAreSkippedByTheirByteCount)
{
    Bytes answer = {0xEF, 0x82, 0x05, 0x09, 0x40, 0x02, 0x00, 0x00, 0x6C,
                    0x82, 0xFF, 0xFF, 0xA0, 0x83, 0x03, 0x02, 0x02};
    answer.insert(answer.end(), kVersionElements.begin(), kVersionElements.end());
    const auto record = Platform(answer, 16);  // the envelope claims 5 + 9 = 14 bytes
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value84, 2);
    EXPECT_EQ(record->value85, 4);
}

TEST(Asn1Decoder, EmptyLongFormBlockGivesARecordWithNothingPresent)
{
    for (const Bytes& blockLength : {Bytes{0x80}, Bytes{0x82, 0x00, 0x00}}) {
        Bytes answer = {0xEF, 0x10, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x02, 0xA0};
        answer.insert(answer.end(), blockLength.begin(), blockLength.end());
        answer.insert(answer.end(), kVersionElements.begin(), kVersionElements.end());
        const auto record = Platform(answer, 0x12);
        ASSERT_TRUE(record);
        EXPECT_FALSE(record->value84 || record->value85);
    }
}

TEST(Asn1Decoder, WalkEndsAtTheBlockLengthAndSkipsEmptyIntegers)
{
    Bytes answer = Answer(0xA0, {0x80, 0x00, 0x81, 0x03, 0x00, 0x00, 0x09, 0x82, 0x01, 0x03});
    answer[9] = 0x03;  // the block holds the first element and the start of the second
    const auto record = Platform(answer);
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->value80);
    EXPECT_EQ(record->value81, 9);  // starts inside the block, so it is read in full
    EXPECT_FALSE(record->value82);
}

TEST(Asn1Decoder, LyingLengthsNeverReadPastTheBuffer)
{
    Bytes cutElement = Answer(0xA0, {0x84, 0x01, 0x02, 0x85, 0x01, 0x04, 0x86, 0x0A, 'a', 'b'});
    cutElement[1] = 0x7F;  // envelope and block claim far more than the buffer holds
    cutElement[9] = 0x7F;
    const auto record = Platform(cutElement, 0x81);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->value85, 4);
    EXPECT_FALSE(record->text86);

    Bytes cutHeader = cutElement;
    cutHeader.resize(cutHeader.size() - 3);  // the last element's tag is the final byte
    EXPECT_TRUE(Platform(cutHeader, 0x81));
    EXPECT_FALSE(Platform(Bytes{0xEF, 0xFF}, 20));
    EXPECT_FALSE(Platform(Bytes{0xEF, 0x0B, 0x40, 0x02, 0x00, 0x00}, 13));
    EXPECT_FALSE(Platform(Bytes{0xEF, 0x0B, 0x40, 0x02, 0x00, 0x00, 0x6C}, 13));
    EXPECT_FALSE(Platform(Bytes{0xEF, 0x10, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x8F, 0x01}, 0x12));
    EXPECT_FALSE(Platform(Bytes{0xEF, 0x10, 0x40, 0x02, 0x00, 0x00, 0x6C, 0x02, 0xA0, 0x82, 0x01}, 0x12));
}

}  // namespace
