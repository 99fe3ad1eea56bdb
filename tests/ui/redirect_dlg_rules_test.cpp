// The main window's decisions that need no window: the port list's column widths.
#include "ui/redirect_dlg_rules.h"

#include <gtest/gtest.h>


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

}  // namespace
}  // namespace ui
