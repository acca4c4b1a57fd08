// Reading the memory layout strings of DfuSe devices into sectors.

#include "dfuse/prt/MemoryLayout.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

using tarnix::dfuse::MemoryLayout;

TEST(MemoryLayoutTest, ReadsTheSensorsFlashLayout)
{
    MemoryLayout layout;
    ASSERT_EQ(layout.Parse("@Internal Flash  /0x08000000/64*002Kg"), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(layout.Name(), "Internal Flash");
    ASSERT_EQ(layout.Sectors().size(), 64u);
    for (std::uint32_t index = 0; index < 64; ++index) {
        const MAPPINGSECTOR& sector = layout.Sectors()[index];
        EXPECT_EQ(sector.dwStartAddress, 0x08000000u + index * 2048);
        EXPECT_EQ(sector.dwSectorSize, 2048u);
        EXPECT_EQ(sector.dwSectorIndex, index);
        EXPECT_EQ(sector.bSectorType, DFUSE_SECTOR_READABLE | DFUSE_SECTOR_ERASABLE | DFUSE_SECTOR_WRITEABLE);
    }
}

TEST(MemoryLayoutTest, ReadsGroupsOfDifferentSectorSizes)
{
    MemoryLayout layout;
    ASSERT_EQ(layout.Parse("@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg"), DFUSE_STATUS_SUCCESS);
    ASSERT_EQ(layout.Sectors().size(), 12u);
    EXPECT_EQ(layout.Sectors()[3].dwStartAddress, 0x0800C000u);
    EXPECT_EQ(layout.Sectors()[4].dwStartAddress, 0x08010000u);
    EXPECT_EQ(layout.Sectors()[4].dwSectorSize, 0x10000u);
    EXPECT_EQ(layout.Sectors()[5].dwStartAddress, 0x08020000u);
    EXPECT_EQ(layout.Sectors()[11].dwStartAddress, 0x080E0000u);
    EXPECT_EQ(layout.Sectors()[11].dwSectorSize, 0x20000u);
}

TEST(MemoryLayoutTest, ReadsSeveralBlocksByteAndMegabyteUnitsAndEveryAccessLetter)
{
    MemoryLayout layout;
    ASSERT_EQ(layout.Parse("@Option Bytes  /0x1FFFC000/01*016 e/0x40000000/02*001Ma,1*4Bb/\r\n"), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(layout.Name(), "Option Bytes");
    ASSERT_EQ(layout.Sectors().size(), 4u);
    EXPECT_EQ(layout.Sectors()[0].dwStartAddress, 0x1FFFC000u);
    EXPECT_EQ(layout.Sectors()[0].dwSectorSize, 16u);
    EXPECT_EQ(layout.Sectors()[0].bSectorType, DFUSE_SECTOR_READABLE | DFUSE_SECTOR_WRITEABLE);
    EXPECT_EQ(layout.Sectors()[2].dwStartAddress, 0x40100000u);
    EXPECT_EQ(layout.Sectors()[2].bSectorType, DFUSE_SECTOR_READABLE);
    EXPECT_EQ(layout.Sectors()[3].dwStartAddress, 0x40200000u);
    EXPECT_EQ(layout.Sectors()[3].dwSectorSize, 4u);
    EXPECT_EQ(layout.Sectors()[3].bSectorType, DFUSE_SECTOR_ERASABLE);
}

TEST(MemoryLayoutTest, ABlockMayEndExactlyAtTheTopOfTheAddressSpace)
{
    MemoryLayout layout;
    EXPECT_EQ(layout.Parse("@Top/0xFFFFF000/02*002Kg"), DFUSE_STATUS_SUCCESS);
}

class MemoryLayoutRefusalTest : public ::testing::TestWithParam<const char*> {};

// A case's name: its number, then the layout text with every character but letters and digits as '_'.
std::string LayoutName(const ::testing::TestParamInfo<const char*>& info)
{
    std::string name = "Layout" + std::to_string(info.index) + "_";
    for (const char* character = info.param; *character != '\0'; ++character) {
        name += std::isalnum(static_cast<unsigned char>(*character)) ? *character : '_';
    }
    return name;
}

TEST_P(MemoryLayoutRefusalTest, IsRefused)
{
    MemoryLayout layout;
    EXPECT_EQ(layout.Parse(GetParam()), DFUSE_ERROR_BAD_LAYOUT);
}

INSTANTIATE_TEST_SUITE_P(Defects, MemoryLayoutRefusalTest,
                         ::testing::Values("", "Internal Flash/0x08000000/64*002Kg",  // no '@'
                                           "@Internal Flash", "@Internal Flash/0x08000000", "@Flash/08000000/64*002Kg",
                                           "@Flash/0x/64*002Kg", "@Flash/0x108000000/1*002Kg",
                                           "@Flash/0x0800000G/64*002Kg", "@Flash/0x08000000/64002Kg",
                                           "@Flash/0x08000000/64*Kg", "@Flash/0x08000000/*002Kg",
                                           "@Flash/0x08000000/64*002Xg", "@Flash/0x08000000/64*002Kh",
                                           "@Flash/0x08000000/00*002Kg", "@Flash/0x08000000/64*000Kg",
                                           "@Flash/0x08000000/64*002Kg,",
                                           "@Flash/0xFFFFF800/02*002Kg",                      // past 4 GiB
                                           "@Flash/0x08000000/02*002Kg/0x08000800/01*002Kg",  // overlap
                                           "@Flash/0x00000000/70000*001 g"),                  // too many
                         LayoutName);

}  // namespace
