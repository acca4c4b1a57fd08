// DfuSe files read through STDFUFILES_OpenExistingDFUFile / ReadImageFromDFUFile, and their refusals.

#include "dfuse/DfuseApi.h"
#include "dfuse/files/Crc32.h"
#include "tests/dfuse/DfuseFileBuilder.h"
#include "tests/dfuse/ImageHandle.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace {

using Element = ImageHandle::Element;

class DfuseFileTest : public ::testing::Test {
protected:
    DfuseFileTest()
    {
        builder_.targets.push_back({0, "Internal Flash", {{0x08000000, {1, 2, 3, 4}}, {0x08004800, {5, 6}}}});
        builder_.targets.push_back({1, "", {{0x1FFFC000, {0xAA}}}});
    }

    std::uint32_t Open(const std::vector<std::uint8_t>& bytes)
    {
        const std::string path = folder_.Write("image.dfu", bytes);
        return STDFUFILES_OpenExistingDFUFile(path.c_str(), &file_, &vid_, &pid_, &bcd_, &imageCount_);
    }

    void TearDown() override
    {
        if (file_ != nullptr) {
            EXPECT_EQ(STDFUFILES_CloseDFUFile(file_), DFUSE_STATUS_SUCCESS);
        }
    }

    tarnix::test::TemporaryFolder folder_;
    DfuseFileBuilder builder_;
    void* file_ = nullptr;
    std::uint16_t vid_ = 0;
    std::uint16_t pid_ = 0;
    std::uint16_t bcd_ = 0;
    std::uint8_t imageCount_ = 0;
};

TEST_F(DfuseFileTest, ReadsTheSuffixIdentityAndEveryTarget)
{
    ASSERT_EQ(Open(builder_.Build()), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(vid_, 0x0483);
    EXPECT_EQ(pid_, 0xDF11);
    EXPECT_EQ(bcd_, 0x0200);
    EXPECT_EQ(imageCount_, 2);

    ImageHandle first;
    ImageHandle second;
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file_, 0, first.Out()), DFUSE_STATUS_SUCCESS);
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file_, 1, second.Out()), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(first.Elements(), (std::vector<Element>{{0x08000000, {1, 2, 3, 4}}, {0x08004800, {5, 6}}}));
    EXPECT_EQ(second.Elements(), (std::vector<Element>{{0x1FFFC000, {0xAA}}}));
}

TEST_F(DfuseFileTest, AnImageOutlivesItsFile)
{
    ASSERT_EQ(Open(builder_.Build()), DFUSE_STATUS_SUCCESS);
    ImageHandle image;
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file_, 1, image.Out()), DFUSE_STATUS_SUCCESS);
    ASSERT_EQ(STDFUFILES_CloseDFUFile(file_), DFUSE_STATUS_SUCCESS);
    void* closed = file_;
    file_ = nullptr;
    EXPECT_EQ(image.Elements(), (std::vector<Element>{{0x1FFFC000, {0xAA}}}));
    ImageHandle another;
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(closed, 0, another.Out()), DFUSE_ERROR_BAD_HANDLE);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(closed), DFUSE_ERROR_BAD_HANDLE);
}

TEST_F(DfuseFileTest, TargetIndexesOutsideTheFileAreRefused)
{
    ASSERT_EQ(Open(builder_.Build()), DFUSE_STATUS_SUCCESS);
    ImageHandle image;
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file_, 2, image.Out()), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file_, -1, image.Out()), DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(image.Get(), nullptr);
}

TEST_F(DfuseFileTest, FileAndImageHandlesAreNotInterchangeable)
{
    ASSERT_EQ(Open(builder_.Build()), DFUSE_STATUS_SUCCESS);
    ImageHandle image;
    ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file_, 0, image.Out()), DFUSE_STATUS_SUCCESS);
    unsigned long count = 0;
    EXPECT_EQ(STDFUFILES_GetImageNbElement(file_, &count), DFUSE_ERROR_BAD_HANDLE);
    ImageHandle notAnImage;
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(image.Get(), 0, notAnImage.Out()), DFUSE_ERROR_BAD_HANDLE);
}

TEST_F(DfuseFileTest, NullOutputsAreRefused)
{
    const std::string path = folder_.Write("image.dfu", builder_.Build());
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file_, nullptr, &pid_, &bcd_, &imageCount_),
              DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), nullptr, &vid_, &pid_, &bcd_, &imageCount_),
              DFUSE_ERROR_BAD_PARAMETER);
    EXPECT_EQ(file_, nullptr);
}

TEST(Crc32Test, MatchesTheStandardCheckValue)
{
    const std::string text = "123456789";
    EXPECT_EQ(tarnix::dfuse::Crc32::Compute(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
              0xCBF43926u);
}

// Offsets in the file built by the fixture.
constexpr std::size_t kTargetStart = DfuseFileBuilder::kPrefixSize;
constexpr std::size_t kTargetSizeField = kTargetStart + 266;
constexpr std::size_t kElementCountField = kTargetStart + 270;
constexpr std::size_t kFirstElementSizeField = kTargetStart + DfuseFileBuilder::kTargetPrefixSize + 4;

TEST_F(DfuseFileTest, ABadCrcIsRefused)
{
    std::vector<std::uint8_t> file = builder_.Build();
    file[kTargetStart + DfuseFileBuilder::kTargetPrefixSize + 8] ^= 0x01;  // first data byte
    EXPECT_EQ(Open(file), DFUSE_ERROR_FILE_BAD_CRC);
}

TEST_F(DfuseFileTest, PrefixDefectsAreRefused)
{
    std::vector<std::uint8_t> signature = builder_.Build();
    signature[0] = 'X';
    DfuseFileBuilder::FixCrc(signature);
    EXPECT_EQ(Open(signature), DFUSE_ERROR_FILE_BAD_PREFIX);

    std::vector<std::uint8_t> version = builder_.Build();
    version[5] = 2;
    DfuseFileBuilder::FixCrc(version);
    EXPECT_EQ(Open(version), DFUSE_ERROR_FILE_BAD_PREFIX);

    std::vector<std::uint8_t> smallerSize = builder_.Build();
    DfuseFileBuilder::Put32(smallerSize, 6, static_cast<std::uint32_t>(smallerSize.size() - 17));
    DfuseFileBuilder::FixCrc(smallerSize);
    EXPECT_EQ(Open(smallerSize), DFUSE_ERROR_FILE_BAD_PREFIX);

    std::vector<std::uint8_t> largerSize = builder_.Build();
    DfuseFileBuilder::Put32(largerSize, 6, static_cast<std::uint32_t>(largerSize.size()));
    DfuseFileBuilder::FixCrc(largerSize);
    EXPECT_EQ(Open(largerSize), DFUSE_ERROR_FILE_TRUNCATED);
    EXPECT_EQ(file_, nullptr);
}

TEST_F(DfuseFileTest, SuffixDefectsAreRefused)
{
    const std::vector<std::uint8_t> good = builder_.Build();
    const std::size_t suffix = good.size() - DfuseFileBuilder::kSuffixSize;
    for (const std::size_t field : {suffix + 6, suffix + 8, suffix + 10, suffix + 11}) {
        std::vector<std::uint8_t> file = good;
        file[field] ^= 0x20;  // DFU version, "UFD" (first and last letter), suffix length
        DfuseFileBuilder::FixCrc(file);
        EXPECT_EQ(Open(file), DFUSE_ERROR_FILE_BAD_SUFFIX) << "suffix byte " << field - suffix;
    }
}

TEST_F(DfuseFileTest, ZeroTargetsAreRefused)
{
    builder_.targets.clear();
    EXPECT_EQ(Open(builder_.Build()), DFUSE_ERROR_FILE_BAD_TARGET);
}

TEST_F(DfuseFileTest, ABadTargetSignatureIsRefused)
{
    std::vector<std::uint8_t> file = builder_.Build();
    file[kTargetStart] = 't';
    DfuseFileBuilder::FixCrc(file);
    EXPECT_EQ(Open(file), DFUSE_ERROR_FILE_BAD_TARGET);
}

TEST_F(DfuseFileTest, AnElementSizePastTheEndOfTheFileIsRefused)
{
    std::vector<std::uint8_t> file = builder_.Build();
    DfuseFileBuilder::Put32(file, kFirstElementSizeField, 0xFFFFFFF0u);
    DfuseFileBuilder::FixCrc(file);
    EXPECT_EQ(Open(file), DFUSE_ERROR_FILE_TRUNCATED);
}

TEST_F(DfuseFileTest, AnElementSizePastTheEndOfItsTargetIsRefused)
{
    std::vector<std::uint8_t> file = builder_.Build();
    DfuseFileBuilder::Put32(file, kFirstElementSizeField, 4 + 8 + 2 + 1);  // reaches into the next target
    DfuseFileBuilder::FixCrc(file);
    EXPECT_EQ(Open(file), DFUSE_ERROR_FILE_TRUNCATED);
}

TEST_F(DfuseFileTest, TargetSizesThatDisagreeWithTheElementsAreRefused)
{
    std::vector<std::uint8_t> tooLarge = builder_.Build();
    DfuseFileBuilder::Put32(tooLarge, kTargetSizeField, 0x7FFFFFFFu);
    DfuseFileBuilder::FixCrc(tooLarge);
    EXPECT_EQ(Open(tooLarge), DFUSE_ERROR_FILE_TRUNCATED);

    std::vector<std::uint8_t> fewerElements = builder_.Build();
    DfuseFileBuilder::Put32(fewerElements, kElementCountField, 1);  // leaves the second element unread
    DfuseFileBuilder::FixCrc(fewerElements);
    EXPECT_EQ(Open(fewerElements), DFUSE_ERROR_FILE_BAD_TARGET);

    std::vector<std::uint8_t> manyElements = builder_.Build();
    DfuseFileBuilder::Put32(manyElements, kElementCountField, 0xFFFFFFFFu);
    DfuseFileBuilder::FixCrc(manyElements);
    EXPECT_EQ(Open(manyElements), DFUSE_ERROR_FILE_TRUNCATED);
}

TEST_F(DfuseFileTest, AnElementReachingPastTheAddressSpaceIsRefused)
{
    builder_.targets = {{0, "", {{0xFFFFFFFE, {1, 2, 3}}}}};
    EXPECT_EQ(Open(builder_.Build()), DFUSE_ERROR_FILE_BAD_TARGET);
}

TEST_F(DfuseFileTest, EveryTruncationIsRefused)
{
    const std::vector<std::uint8_t> good = builder_.Build();
    for (std::size_t length = 0; length < good.size(); ++length) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_NE(Open(cut), DFUSE_STATUS_SUCCESS) << "cut at " << length;
        ASSERT_EQ(file_, nullptr);
    }
}

TEST_F(DfuseFileTest, TruncationsWithAFreshSuffixAreRefusedByTheStructureChecks)
{
    const std::vector<std::uint8_t> good = builder_.Build();
    const std::vector<std::uint8_t> suffix(good.end() - DfuseFileBuilder::kSuffixSize, good.end());
    const std::size_t body = good.size() - DfuseFileBuilder::kSuffixSize;
    for (std::size_t length = 0; length < body; ++length) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        cut.insert(cut.end(), suffix.begin(), suffix.end());
        if (length >= 11) {
            DfuseFileBuilder::Put32(cut, 6, static_cast<std::uint32_t>(length));  // a consistent image size
        }
        DfuseFileBuilder::FixCrc(cut);
        const std::uint32_t status = Open(cut);
        ASSERT_TRUE(status == DFUSE_ERROR_FILE_TRUNCATED || status == DFUSE_ERROR_FILE_BAD_TARGET)
            << "cut at " << length << " gave 0x" << std::hex << status;
    }
}

TEST_F(DfuseFileTest, UnreadableFilesAreRefused)
{
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile((folder_.Path() / "absent.dfu").c_str(), &file_, &vid_, &pid_, &bcd_,
                                             &imageCount_),
              DFUSE_ERROR_FILE_OPEN);
    EXPECT_EQ(file_, nullptr);
}

}  // namespace
