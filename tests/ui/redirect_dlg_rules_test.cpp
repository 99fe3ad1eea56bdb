// The main window's decisions that need no window: column widths and the start's baud rate.
#include "ui/redirect_dlg_rules.h"

#include <gtest/gtest.h>

#include <optional>

namespace ui {
namespace {

struct ColumnCase {
  int clientWidth;
  int columnWidth;
};

class PortColumnWidthTest : public testing::TestWithParam<ColumnCase> {};

TEST_P(PortColumnWidthTest, IsHalfTheWidthLessFivePercentCutTowardsZero) {
  EXPECT_EQ(PortColumnWidth(GetParam().clientWidth), GetParam().columnWidth);
}

// 85 - 8.55 = 76.45; 100 - 10 = 90; odd widths halve first: 50 - 5.05 = 44.95.
INSTANTIATE_TEST_SUITE_P(Widths, PortColumnWidthTest,
                         testing::Values(ColumnCase{171, 76}, ColumnCase{200, 90},
                                         ColumnCase{101, 44}, ColumnCase{0, 0}));

struct BaudCase {
  const char* text;
  std::optional<uint32_t> rate;
};

class BaudRateOfTest : public testing::TestWithParam<BaudCase> {};

TEST_P(BaudRateOfTest, TakesOnlyAPositiveDecimalNumber) {
  EXPECT_EQ(BaudRateOf(QString::fromUtf8(GetParam().text)), GetParam().rate)
      << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BaudRateOfTest,
    testing::Values(BaudCase{"9600", 9600}, BaudCase{"250000", 250000}, BaudCase{"  14400 ", 14400},
                    BaudCase{"007", 7}, BaudCase{"2147483647", 2147483647u},
                    BaudCase{"2147483648", std::nullopt}, BaudCase{"4294967296", std::nullopt},
                    BaudCase{"0", std::nullopt}, BaudCase{"-5", std::nullopt},
                    BaudCase{"+9600", std::nullopt}, BaudCase{"abc", std::nullopt},
                    BaudCase{"96 00", std::nullopt}, BaudCase{"9600baud", std::nullopt},
                    BaudCase{"", std::nullopt}, BaudCase{"   ", std::nullopt},
                    BaudCase{"\xd9\xa3", std::nullopt}));

}  // namespace
}  // namespace ui
