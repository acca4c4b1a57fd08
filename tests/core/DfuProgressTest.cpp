// Progress of firmware operations: the percentage shown for the library's Percent, and when the poll of a
// running operation ends.

#include "core/Dfu.h"
#include "core/Timer.h"

#include <gtest/gtest.h>

#include <vector>

using Dfuse::DFUThreadContext;
using Dfuse::SuccessCode;

TEST(DfuProgressTest, WriteMapsPercentOntoTheUpperTwoThirds)
{
    const std::vector<std::pair<unsigned, int>> table = {{0, 33},  {1, 33},  {2, 34},  {49, 65},
                                                         {50, 66}, {99, 99}, {100, 99}};
    for (const auto& [percent, shown] : table) {
        EXPECT_EQ(Dfu::WritePercentage(percent), shown) << "Percent " << percent;
    }
    EXPECT_EQ(Dfu::WritePercentage(255), 100) << "a library value above 100 is capped";
}

TEST(DfuProgressTest, EraseMapsPercentOntoTheFirstThird)
{
    EXPECT_EQ(Dfu::ErasePercentage(0), 0);
    EXPECT_EQ(Dfu::ErasePercentage(50), 16);
    EXPECT_EQ(Dfu::ErasePercentage(100), 33);
}

namespace {
struct PollRecord {
    int polls = 0;
    std::vector<unsigned> progress;
};

void Poll(DFUThreadContext& context, bool launched, PollRecord& record,
          const std::function<bool(DFUThreadContext&, int)>& status, int stallLimit = 5000)
{
    Dfu::PollOperation(
        context, launched, [&](DFUThreadContext& polled) { return status(polled, ++record.polls); },
        [&](unsigned percent) { record.progress.push_back(percent); }, stallLimit);
}
}  // namespace

TEST(DfuPollTest, HealthyOperationIsFollowedUntilItReachesOneHundred)
{
    DFUThreadContext context{};
    PollRecord record;
    Poll(context, true, record, [](DFUThreadContext& polled, int poll) {
        polled.ErrorCode = SuccessCode;
        polled.Percent = static_cast<std::uint8_t>(std::min(poll * 10, 100));
        return true;
    });
    EXPECT_EQ(record.polls, 10);
    EXPECT_EQ(record.progress.back(), 100u);
}

TEST(DfuPollTest, NothingIsPolledWhenTheLaunchFailed)
{
    DFUThreadContext context{};
    PollRecord record;
    Poll(context, false, record, [](DFUThreadContext&, int) { return true; });
    EXPECT_EQ(record.polls, 0);
}

TEST(DfuPollTest, FailingStatusCallEndsThePoll)
{
    DFUThreadContext context{};
    PollRecord record;
    Poll(context, true, record, [](DFUThreadContext& polled, int poll) {
        polled.ErrorCode = SuccessCode;
        polled.Percent = 40;
        return poll < 3;
    });
    EXPECT_EQ(record.polls, 3);
    EXPECT_EQ(record.progress.size(), 3u) << "the progress of the failing call is still shown";
}

TEST(DfuPollTest, OperationReportingErrorsIsStoppedAfterTheStallLimit)
{
    DFUThreadContext context{};
    PollRecord record;
    Utility::Timer timer;
    timer.Start();
    Poll(
        context, true, record,
        [](DFUThreadContext& polled, int) {
            polled.ErrorCode = SuccessCode + 1;
            return true;
        },
        150);
    const double elapsed = timer.Current();
    EXPECT_GE(elapsed, 150.0);
    EXPECT_LT(elapsed, 1000.0);
}

// Every good status restarts the stall limit, so a slow but healthy operation runs as long as it needs:
// here errors come for 50 ms between two good statuses, the limit is 500 ms, and the run takes 1200 ms. The
// gap between the limit and the error stretch is wide, so that a poll the scheduler delays on a busy machine
// cannot stretch one error spell past the limit.
TEST(DfuPollTest, GoodStatusRestartsTheStallLimit)
{
    DFUThreadContext context{};
    PollRecord record;
    Utility::Timer total;
    total.Start();
    Utility::Timer sinceGood;
    sinceGood.Start();
    Poll(
        context, true, record,
        [&](DFUThreadContext& polled, int) {
            const bool good = sinceGood.Current() >= 50.0;
            if (good) {
                sinceGood.Start();
            }
            polled.ErrorCode = good ? SuccessCode : SuccessCode + 1;
            polled.Percent = total.Current() >= 1200.0 ? 100 : 10;
            return true;
        },
        500);
    EXPECT_GE(total.Current(), 1200.0) << "errors between good statuses did not stop it";
    EXPECT_EQ(record.progress.back(), 100u);
}
