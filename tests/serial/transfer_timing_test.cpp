// How long reads and writes may wait, from the port's timeouts.
#include "serial/transfer_timing.h"

#include <gtest/gtest.h>

namespace serial {
namespace {

using std::chrono::milliseconds;

struct PlanCase {
  const char* what;
  CommTimeouts timeouts;
  uint32_t count;
  TransferPlan read;
};

TransferPlan Plan(bool atOnce, bool onFirst, std::optional<milliseconds> total,
                  std::optional<milliseconds> interval) {
  return TransferPlan{atOnce, onFirst, total, interval};
}

class ReadPlanning : public testing::TestWithParam<PlanCase> {};

TEST_P(ReadPlanning, FollowsThePlatformRules) {
  SCOPED_TRACE(GetParam().what);
  EXPECT_EQ(PlanRead(GetParam().timeouts, GetParam().count), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadPlanning,
    testing::Values(PlanCase{"all zero: wait for the count",
                             {0, 0, 0, 0, 0},
                             10,
                             Plan(false, false, std::nullopt, std::nullopt)},
                    PlanCase{"constant only",
                             {0, 0, 300, 0, 0},
                             4096,
                             Plan(false, false, milliseconds(300), std::nullopt)},
                    PlanCase{"multiplier times count plus constant",
                             {0, 10, 5, 0, 0},
                             7,
                             Plan(false, false, milliseconds(75), std::nullopt)},
                    PlanCase{"interval only",
                             {20, 0, 0, 0, 0},
                             7,
                             Plan(false, false, std::nullopt, milliseconds(20))},
                    PlanCase{"return at once",
                             {MAXDWORD, 0, 0, 0, 0},
                             7,
                             Plan(true, false, std::nullopt, std::nullopt)},
                    PlanCase{"first bytes or constant",
                             {MAXDWORD, MAXDWORD, 250, 0, 0},
                             7,
                             Plan(false, true, milliseconds(250), std::nullopt)},
                    PlanCase{"huge product does not wrap",
                             {0, MAXDWORD, 0, 0, 0},
                             MAXDWORD,
                             Plan(false, false, milliseconds(MAXDWORD), std::nullopt)}));

TEST(WritePlanning, UsesTheWriteTotals) {
  EXPECT_EQ(PlanWrite({0, 0, 0, 2, 100}, 50), Plan(false, false, milliseconds(200), std::nullopt));
  EXPECT_EQ(PlanWrite({5, 5, 5, 0, 0}, 50), Plan(false, false, std::nullopt, std::nullopt));
}

TEST(TransferClockTest, CountsDownTheTotalAndTheGapAfterTheLastBytes) {
  const TransferClock::Clock::time_point start{};
  TransferClock clock(Plan(false, false, milliseconds(300), milliseconds(50)), start);
  EXPECT_EQ(clock.WaitMs(start), 300) << "the gap counts only once bytes came";
  EXPECT_EQ(clock.WaitMs(start + std::chrono::microseconds(100'500)), 200) << "rounded up";
  clock.BytesMoved(start + milliseconds(100));
  EXPECT_EQ(clock.WaitMs(start + milliseconds(120)), 30);
  clock.BytesMoved(start + milliseconds(280));
  EXPECT_EQ(clock.WaitMs(start + milliseconds(290)), 10) << "the total still ends it";
  EXPECT_EQ(clock.WaitMs(start + milliseconds(300)), 0);
  EXPECT_EQ(TransferClock(Plan(false, false, std::nullopt, std::nullopt), start).WaitMs(start), -1);
}

}  // namespace
}  // namespace serial
