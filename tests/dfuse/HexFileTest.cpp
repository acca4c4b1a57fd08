// Intel hex files read through STDFUFILES_ImageFromFile, and element access on the resulting images.

#include "dfuse/DfuseApi.h"
#include "tests/dfuse/HexText.h"
#include "tests/dfuse/ImageHandle.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<std::uint8_t> Counting(std::size_t size, std::uint8_t first = 0)
{
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class HexFileTest : public ::testing::Test {
protected:
    std::uint32_t Load(const std::string& text, ImageHandle& image, std::uint8_t alternate = 0)
    {
        return STDFUFILES_ImageFromFile(folder_.Write("image.hex", text).c_str(), image.Out(), alternate);
    }

    tarnix::test::TemporaryFolder folder_;
};

TEST_F(HexFileTest, ConsecutiveRecordsFormOneElementAtTheLinearAddress)
{
    const std::vector<std::uint8_t> bytes = Counting(40);
    ImageHandle image;
    ASSERT_EQ(Load(HexText().Block(0x08000000, bytes).End().Text(), image), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image.Elements(), (std::vector<ImageHandle::Element>{{0x08000000, bytes}}));
}

TEST_F(HexFileTest, GapsSplitElementsAndRecordsAreSortedByAddress)
{
    HexText text;
    text.LinearBase(0x0800).Data(0x4800, {7, 8}).Data(0x0000, {1, 2, 3}).Data(0x0003, {4}).Data(0x4802, {9});
    ImageHandle image;
    ASSERT_EQ(Load(text.End().Text(), image), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image.Elements(),
              (std::vector<ImageHandle::Element>{{0x08000000, {1, 2, 3, 4}}, {0x08004800, {7, 8, 9}}}));
}

TEST_F(HexFileTest, RunsContinueAcrossA64KiBBoundary)
{
    const std::vector<std::uint8_t> bytes = Counting(64, 0x80);
    ImageHandle image;
    ASSERT_EQ(Load(HexText().Block(0x0800FFE0, bytes).End().Text(), image), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image.Elements(), (std::vector<ImageHandle::Element>{{0x0800FFE0, bytes}}));
}

TEST_F(HexFileTest, SegmentAddressRecordsShiftByFourBits)
{
    ImageHandle image;
    ASSERT_EQ(Load(HexText().SegmentBase(0x1234).Data(0x0010, {0xAA, 0xBB}).End().Text(), image), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image.Elements(), (std::vector<ImageHandle::Element>{{0x12340 + 0x10, {0xAA, 0xBB}}}));
}

TEST_F(HexFileTest, AcceptsStartAddressesCrLfLowerCaseAndIgnoresWhatFollowsTheEnd)
{
    HexText text;
    text.LineEnd("\r\n").LinearBase(0x0800).Raw(":0400000508000131bd").Data(0, {0x5A}).End().Raw("garbage");
    ImageHandle image;
    ASSERT_EQ(Load(text.Text(), image), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image.Elements(), (std::vector<ImageHandle::Element>{{0x08000000, {0x5A}}}));
}

TEST_F(HexFileTest, AnEmptyImageHasNoElements)
{
    ImageHandle image;
    ASSERT_EQ(Load(HexText().End().Text(), image), DFUSE_STATUS_SUCCESS);
    unsigned long count = 99;
    ASSERT_EQ(STDFUFILES_GetImageNbElement(image.Get(), &count), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(count, 0u);
}

struct BadHex {
    const char* name;
    std::string text;
    std::uint32_t expected;
};

class HexRefusalTest : public HexFileTest, public ::testing::WithParamInterface<BadHex> {};

TEST_P(HexRefusalTest, RefusesWithItsOwnCode)
{
    ImageHandle image;
    EXPECT_EQ(Load(GetParam().text, image), GetParam().expected);
    EXPECT_EQ(image.Get(), nullptr);
}

const std::string kEnd = HexText().End().Text();

INSTANTIATE_TEST_SUITE_P(
    Defects, HexRefusalTest,
    ::testing::Values(
        BadHex{"BadChecksum", HexText().Record(0x00, 0, {1, 2, 3}, 1).End().Text(), DFUSE_ERROR_HEX_CHECKSUM},
        BadHex{"UnknownRecordType", HexText().Record(0x06, 0, {1}).End().Text(), DFUSE_ERROR_HEX_RECORD_TYPE},
        BadHex{"EndRecordWithData", HexText().Record(0x01, 0, {1}).Text(), DFUSE_ERROR_HEX_RECORD_TYPE},
        BadHex{"ShortLinearBase", HexText().Record(0x04, 0, {8}).End().Text(), DFUSE_ERROR_HEX_RECORD_TYPE},
        BadHex{"LongSegmentBase", HexText().Record(0x02, 0, {1, 2, 3}).End().Text(), DFUSE_ERROR_HEX_RECORD_TYPE},
        BadHex{"OddDigitCount", ":0100000001FE0\n" + kEnd, DFUSE_ERROR_HEX_SYNTAX},
        BadHex{"NotHex", ":01000000G1FE\n" + kEnd, DFUSE_ERROR_HEX_SYNTAX},
        BadHex{"NoColon", "0100000001FE\n" + kEnd, DFUSE_ERROR_HEX_SYNTAX},
        BadHex{"CountLargerThanRecord", ":0500000001FA\n" + kEnd, DFUSE_ERROR_HEX_SYNTAX},
        BadHex{"TooShortForARecord", ":0000\n" + kEnd, DFUSE_ERROR_HEX_SYNTAX},
        BadHex{"AddressOverflow", HexText().LinearBase(0xFFFF).Data(0xFFF8, Counting(16)).End().Text(),
               DFUSE_ERROR_HEX_ADDRESS_OVERFLOW},
        BadHex{"NoEndRecord", HexText().LinearBase(0x0800).Data(0, {1}).Text(), DFUSE_ERROR_HEX_NO_END},
        BadHex{"EmptyFile", "", DFUSE_ERROR_HEX_NO_END},
        BadHex{"Overlap", HexText().Data(0x10, {1, 2, 3, 4}).Data(0x12, {5}).End().Text(), DFUSE_ERROR_IMAGE_OVERLAP}),
    [](const ::testing::TestParamInfo<BadHex>& info) { return std::string(info.param.name); });

TEST_F(HexFileTest, DataEndingExactlyAtTheTopOfTheAddressSpaceIsAccepted)
{
    ImageHandle image;
    ASSERT_EQ(Load(HexText().LinearBase(0xFFFF).Data(0xFFF0, Counting(16)).End().Text(), image), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image.Elements(), (std::vector<ImageHandle::Element>{{0xFFFFFFF0, Counting(16)}}));
}

TEST_F(HexFileTest, MissingFilesAndFoldersCannotBeOpened)
{
    ImageHandle image;
    EXPECT_EQ(STDFUFILES_ImageFromFile((folder_.Path() / "absent.hex").c_str(), image.Out(), 0), DFUSE_ERROR_FILE_OPEN);
    EXPECT_EQ(STDFUFILES_ImageFromFile(folder_.Path().c_str(), image.Out(), 0), DFUSE_ERROR_FILE_OPEN);
    EXPECT_EQ(STDFUFILES_ImageFromFile(nullptr, image.Out(), 0), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(image.Get(), nullptr);
}

class ElementAccessTest : public HexFileTest {
protected:
    void SetUp() override
    {
        HexText text;
        text.LinearBase(0x0800).Data(0x0000, {1, 2, 3, 4}).Data(0x0100, {5, 6});
        ASSERT_EQ(Load(text.End().Text(), image_), DFUSE_STATUS_SUCCESS);
    }

    ImageHandle image_;
};

TEST_F(ElementAccessTest, WithoutABufferOnlyAddressAndLengthAreGiven)
{
    DFUIMAGEELEMENT element{0, 0, nullptr};
    ASSERT_EQ(STDFUFILES_GetImageElement(image_.Get(), 1, &element), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(element.dwAddress, 0x08000100u);
    EXPECT_EQ(element.dwDataLength, 2u);
    EXPECT_EQ(element.Data, nullptr);
}

TEST_F(ElementAccessTest, ABufferTooSmallIsLeftUntouchedAndTheNeededLengthReported)
{
    std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    DFUIMAGEELEMENT element{0, 3, buffer};
    EXPECT_EQ(STDFUFILES_GetImageElement(image_.Get(), 0, &element), DFUSE_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(element.dwDataLength, 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4), std::vector<std::uint8_t>(4, 0xEE));

    ASSERT_EQ(STDFUFILES_GetImageElement(image_.Get(), 0, &element), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(ElementAccessTest, IndexesPastTheLastElementAreRefused)
{
    DFUIMAGEELEMENT element{};
    EXPECT_EQ(STDFUFILES_GetImageElement(image_.Get(), 2, &element), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_GetImageElement(image_.Get(), 0, nullptr), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_GetImageNbElement(image_.Get(), nullptr), DFUSE_ERROR_BAD_PARAMETER);
}

TEST_F(ElementAccessTest, ADestroyedImageIsUnknownAfterwards)
{
    void* stale = image_.Get();
    ASSERT_EQ(STDFUFILES_DestroyImage(image_.Out()), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image_.Get(), nullptr);
    unsigned long count = 0;
    EXPECT_EQ(STDFUFILES_GetImageNbElement(stale, &count), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFUFILES_DestroyImage(&stale), DFUSE_ERROR_BAD_HANDLE);
    void* invented = reinterpret_cast<void*>(std::uintptr_t{0x12345678});
    EXPECT_EQ(STDFUFILES_GetImageNbElement(invented, &count), DFUSE_ERROR_BAD_HANDLE);
}

}  // namespace
