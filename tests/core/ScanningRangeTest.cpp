#include "core/Utility.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

std::map<int, int> RangesForPeakCounts(int first, int last)
{
    std::map<int, int> ranges;
    for (int p = first; p <= last; ++p) {
        ranges[Utility::GetRangeFromPeakCount(p)] = p;
    }
    return ranges;
}

TEST(ScanningRange, RangesOfEveryOfferedPeakCount)
{
    const std::vector<int> expected = {149,  298,  447,  596,  745,  894,  1043, 1192, 1340, 1489, 1638, 1787,
                                       1936, 2085, 2234, 2383, 2532, 2681, 2830, 2979, 3128, 3277, 3426, 3575};
    for (int p = 3; p <= 26; ++p) {
        EXPECT_EQ(Utility::GetRangeFromPeakCount(p), expected[static_cast<std::size_t>(p - 3)]) << "peak count " << p;
    }
    EXPECT_EQ(Utility::GetRangeFromPeakCount(2), 0);
    EXPECT_EQ(Utility::GetRangeFromPeakCount(1), 16777067);  // unsigned wrap, as the sensor firmware computes it
}

TEST(ScanningRange, PeakCountFromRangeInvertsAndRoundsToTheNearest)
{
    for (int p = 2; p <= 26; ++p) {
        EXPECT_EQ(Utility::GetPeakCountFromRange(Utility::GetRangeFromPeakCount(p)), p) << "peak count " << p;
    }
    EXPECT_EQ(Utility::GetPeakCountFromRange(0), 2);
    EXPECT_EQ(Utility::GetPeakCountFromRange(74), 2);
    EXPECT_EQ(Utility::GetPeakCountFromRange(75), 3);
    EXPECT_EQ(Utility::GetPeakCountFromRange(223), 3);
    EXPECT_EQ(Utility::GetPeakCountFromRange(224), 4);
    EXPECT_EQ(Utility::GetPeakCountFromRange(372), 4);
}

TEST(ScanningRange, PeakCountLimitOfSensorSizes)
{
    const std::vector<std::pair<int, int>> rows = {{1, 0},  {2, 1},   {5, 2},   {6, 3},   {7, 3},     {10, 5},
                                                   {16, 8}, {53, 26}, {54, 27}, {56, 28}, {0, 112647}};
    for (const auto& [sources, limit] : rows) {
        EXPECT_EQ(Utility::GetPeakCountLimit(sources), limit) << "source count " << sources;
    }
}

TEST(ScanningRange, PossibleRangesFollowTheLimitAndStopAt26)
{
    for (unsigned int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(Utility::GetPossiblePeakCountAndRelativeHeights(n).empty()) << "source count " << n;
    }
    EXPECT_EQ(Utility::GetPossiblePeakCountAndRelativeHeights(6), (std::map<int, int>{{149, 3}}));
    EXPECT_EQ(Utility::GetPossiblePeakCountAndRelativeHeights(7), (std::map<int, int>{{149, 3}}));
    EXPECT_EQ(Utility::GetPossiblePeakCountAndRelativeHeights(10), (std::map<int, int>{{149, 3}, {298, 4}, {447, 5}}));

    const std::map<int, int> sixteen = Utility::GetPossiblePeakCountAndRelativeHeights(16);
    EXPECT_EQ(sixteen, RangesForPeakCounts(3, 8));
    EXPECT_EQ(sixteen.rbegin()->first, 894);

    const std::map<int, int> all = RangesForPeakCounts(3, 26);
    ASSERT_EQ(all.size(), 24u);
    for (unsigned int n : {53u, 54u, 56u, 0u, 255u}) {
        EXPECT_EQ(Utility::GetPossiblePeakCountAndRelativeHeights(n), all) << "source count " << n;
    }
}

}  // namespace
