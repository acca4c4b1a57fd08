// Preparing images for erase and programming: cutting along sectors and leaving erased sectors alone.

#include "dfuse/DfuseApi.h"
#include "dfuse/prt/MemoryLayout.h"
#include "tests/dfuse/HexText.h"
#include "tests/dfuse/ImageHandle.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace {

using Element = ImageHandle::Element;

using namespace tarnix::test::sensor_flash;

class ImageFilterTest : public ::testing::Test {
protected:
    void UseLayout(const char* text)
    {
        ASSERT_EQ(layout_.Parse(text), DFUSE_STATUS_SUCCESS);
        sectors_ = layout_.Sectors();
        mapping_.NbSectors = static_cast<std::uint32_t>(sectors_.size());
        mapping_.pSectors = sectors_.data();
    }

    void SetUp() override { UseLayout("@Internal Flash  /0x08000000/64*002Kg"); }

    void Load(const std::vector<std::uint8_t>& bytes, std::uint32_t address = kStart)
    {
        const std::string path = folder_.Write("image.hex", HexText().Block(address, bytes).End().Text());
        ASSERT_EQ(STDFUFILES_ImageFromFile(path.c_str(), image_.Out(), 0), DFUSE_STATUS_SUCCESS);
    }

    std::uint32_t Filter(unsigned long operation, int truncate = 0)
    {
        return STDFUFILES_FilterImageForOperation(image_.Get(), &mapping_, operation, truncate);
    }

    tarnix::test::TemporaryFolder folder_;
    tarnix::dfuse::MemoryLayout layout_;
    std::vector<MAPPINGSECTOR> sectors_;
    MAPPING mapping_{};
    ImageHandle image_;
};

TEST_F(ImageFilterTest, AnErasedParameterPageIsLeftOutOfBothOperations)
{
    std::vector<std::uint8_t> firmware = Pattern(0x5000, 1);
    std::fill(firmware.begin() + 0x4000, firmware.begin() + 0x4800, 0xFF);
    for (const unsigned long operation : {DFUSE_OPERATION_ERASE, DFUSE_OPERATION_PROGRAM}) {
        ImageHandle fresh;
        std::swap(*image_.Out(), *fresh.Out());
        Load(firmware);
        ASSERT_EQ(Filter(operation), DFUSE_STATUS_SUCCESS);
        const std::vector<Element> elements = image_.Elements();
        ASSERT_EQ(elements.size(), 9u) << "10 pages less the erased one";
        for (const Element& element : elements) {
            EXPECT_FALSE(element.address >= kParameters && element.address < kParameters + kPage) << element;
            ASSERT_EQ(element.data.size(), kPage) << element;
            EXPECT_EQ(element.address % kPage, 0u) << element;
            const std::size_t offset = element.address - kStart;
            EXPECT_TRUE(std::equal(element.data.begin(), element.data.end(), firmware.begin() + offset)) << element;
        }
    }
}

TEST_F(ImageFilterTest, ElementsAreCutWhereTheyCrossASectorBoundary)
{
    const std::vector<std::uint8_t> bytes = Pattern(100, 3);
    Load(bytes, kStart + kPage - 40);
    ASSERT_EQ(Filter(DFUSE_OPERATION_PROGRAM), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image_.Elements(), (std::vector<Element>{{kStart + kPage - 40, {bytes.begin(), bytes.begin() + 40}},
                                                       {kStart + kPage, {bytes.begin() + 40, bytes.end()}}}));
}

TEST_F(ImageFilterTest, LeadingErasedBytesAreCutOnlyWhenAsked)
{
    std::vector<std::uint8_t> bytes(64, 0xFF);
    bytes[16] = 0x12;
    bytes[63] = 0x34;
    Load(bytes);
    ASSERT_EQ(Filter(DFUSE_OPERATION_PROGRAM, 0), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image_.Elements(), (std::vector<Element>{{kStart, bytes}}));

    ASSERT_EQ(Filter(DFUSE_OPERATION_PROGRAM, 1), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(image_.Elements(), (std::vector<Element>{{kStart + 16, {bytes.begin() + 16, bytes.end()}}}));
}

TEST_F(ImageFilterTest, AnImageMadeOnlyOfErasedBytesHasNothingLeft)
{
    Load(std::vector<std::uint8_t>(3 * kPage, 0xFF));
    ASSERT_EQ(Filter(DFUSE_OPERATION_ERASE), DFUSE_STATUS_SUCCESS);
    EXPECT_TRUE(image_.Elements().empty());
}

TEST_F(ImageFilterTest, DataOutsideTheMappingIsRefusedAndTheImageKept)
{
    const std::vector<std::uint8_t> bytes = Pattern(64, 5);
    Load(bytes, kStart + 64 * kPage - 32);  // the last 32 bytes lie past the end of flash
    EXPECT_EQ(Filter(DFUSE_OPERATION_PROGRAM), DFUSE_ERROR_OUTSIDE_MAPPING);
    EXPECT_EQ(image_.Elements(), (std::vector<Element>{{kStart + 64 * kPage - 32, bytes}}));
}

TEST_F(ImageFilterTest, SectorsMustAllowTheOperation)
{
    UseLayout("@Flash/0x08000000/01*002Ka,01*002Ke,01*002Kc");  // read only, no erase, no write
    Load(Pattern(16, 1), kStart);
    EXPECT_EQ(Filter(DFUSE_OPERATION_ERASE), DFUSE_ERROR_OUTSIDE_MAPPING);
    EXPECT_EQ(Filter(DFUSE_OPERATION_PROGRAM), DFUSE_ERROR_OUTSIDE_MAPPING);

    ImageHandle fresh;
    std::swap(*image_.Out(), *fresh.Out());
    Load(Pattern(16, 1), kStart + kPage);
    EXPECT_EQ(Filter(DFUSE_OPERATION_ERASE), DFUSE_ERROR_OUTSIDE_MAPPING);
    EXPECT_EQ(Filter(DFUSE_OPERATION_PROGRAM), DFUSE_STATUS_SUCCESS);

    ImageHandle third;
    std::swap(*image_.Out(), *third.Out());
    Load(Pattern(16, 1), kStart + 2 * kPage);
    EXPECT_EQ(Filter(DFUSE_OPERATION_ERASE), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(Filter(DFUSE_OPERATION_PROGRAM), DFUSE_ERROR_OUTSIDE_MAPPING);
}

TEST_F(ImageFilterTest, UnknownOperationsMissingMappingsAndStaleImagesAreRefused)
{
    Load(Pattern(16, 1));
    EXPECT_EQ(Filter(2), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(Filter(0x100000003ul), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(image_.Get(), nullptr, DFUSE_OPERATION_ERASE, 1),
              DFUSE_ERROR_BAD_PARAMETER);
    MAPPING empty{};
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(image_.Get(), &empty, DFUSE_OPERATION_ERASE, 1),
              DFUSE_ERROR_BAD_PARAMETER);
    void* stale = image_.Get();
    ASSERT_EQ(STDFUFILES_DestroyImage(image_.Out()), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(STDFUFILES_FilterImageForOperation(stale, &mapping_, DFUSE_OPERATION_ERASE, 1), DFUSE_ERROR_BAD_HANDLE);
}

}  // namespace
