// The label's window-free decisions: text format, gradient bands and click action.
#include "ui/label_rules.h"

#include <gtest/gtest.h>

namespace {

using ui::ClickAction;
using ui::GradientBand;

struct FormatCase {
  const char* name;
  uint32_t style;
  const char* text;
  uint32_t flags;
};

class TextFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(TextFormatTest, FlagsFollowStyleAndText) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(ui::TextFormatFlags(c.style, QString::fromUtf8(c.text)), c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, TextFormatTest,
    testing::Values(FormatCase{"Left", ui::SS_LEFT, "Hide for now", 0x10},
                    FormatCase{"Center", ui::SS_CENTER, "abc", 0x11},
                    FormatCase{"Right", ui::SS_RIGHT, "abc", 0x12},
                    FormatCase{"LeftNoWordWrap", ui::SS_LEFTNOWORDWRAP, "abc", 0x00},
                    // Other static types (here SS_SIMPLE, 0x0B) draw like SS_LEFT.
                    FormatCase{"OtherType", 0x0B, "abc", 0x10},
                    // Bits above the type do not change the alignment.
                    FormatCase{"NotifyIgnored", ui::SS_NOTIFY | ui::SS_RIGHT, "abc", 0x12},
                    FormatCase{"LeftTab", ui::SS_LEFT, "a\tb", 0x50},
                    FormatCase{"NoWrapTab", ui::SS_LEFTNOWORDWRAP, "a\tb", 0x40},
                    FormatCase{"CenterTab", ui::SS_CENTER, "\t", 0x51},
                    FormatCase{"EmptyText", ui::SS_LEFT, "", 0x10},
                    FormatCase{"CenterImageOneLine", ui::SS_CENTERIMAGE, "one line", 0x25},
                    FormatCase{"CenterImageEmpty", ui::SS_CENTERIMAGE | ui::SS_RIGHT, "", 0x25},
                    FormatCase{"CenterImageCrLf", ui::SS_CENTERIMAGE, "one\r\ntwo", 0x01},
                    // A bare line feed is not a CR LF pair; tabs are never expanded here.
                    FormatCase{"CenterImageLfOnly", ui::SS_CENTERIMAGE, "one\ntwo", 0x25},
                    FormatCase{"CenterImageTab", ui::SS_CENTERIMAGE | ui::SS_CENTER, "a\tb", 0x25},
                    FormatCase{"CenterImageCrLfTab", ui::SS_CENTERIMAGE, "a\tb\r\nc", 0x01}),
    [](const testing::TestParamInfo<FormatCase>& testCase) { return testCase.param.name; });

struct QtFlagsCase {
  const char* name;
  uint32_t format;
  int qtFlags;
};

class QtTextFlagsTest : public testing::TestWithParam<QtFlagsCase> {};

TEST_P(QtTextFlagsTest, MapsAlignmentAndWrapping) {
  const QtFlagsCase& c = GetParam();
  EXPECT_EQ(ui::ToQtTextFlags(c.format), c.qtFlags | Qt::TextHideMnemonic);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, QtTextFlagsTest,
    testing::Values(QtFlagsCase{"LeftWrapped", 0x10, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap},
                    QtFlagsCase{"CenterWrapped", 0x11, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap},
                    QtFlagsCase{"RightWrapped", 0x12, Qt::AlignRight | Qt::AlignTop | Qt::TextWordWrap},
                    QtFlagsCase{"LeftPlain", 0x00, Qt::AlignLeft | Qt::AlignTop},
                    QtFlagsCase{"Tabs", 0x50, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs},
                    QtFlagsCase{"CentredOneLine", 0x25, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine},
                    // Vertical centring without single-line has no effect.
                    QtFlagsCase{"VCenterMultiLine", 0x05, Qt::AlignHCenter | Qt::AlignTop}),
    [](const testing::TestParamInfo<QtFlagsCase>& testCase) { return testCase.param.name; });

TEST(ColorTest, ColorRefIsBlueGreenRed) {
  EXPECT_EQ(ui::ToQColor(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(ui::ToQColor(0x123456), QColor(0x56, 0x34, 0x12));
  EXPECT_EQ(ui::ToColorRef(QColor(0x56, 0x34, 0x12)), 0x123456u);
}

TEST(GradientTest, WideLabelHasHundredBandsWithRestInTheLast) {
  const auto bands = ui::GradientBands(0, 250, 0x000000, 0xFFFFFF, 100);
  ASSERT_EQ(bands.size(), 100u);
  for (size_t i = 0; i + 1 < bands.size(); ++i) {
    EXPECT_EQ(bands[i].left, static_cast<int>(2 * i)) << i;
    EXPECT_EQ(bands[i].right, static_cast<int>(2 * i + 2)) << i;
  }
  EXPECT_EQ(bands.back(), (GradientBand{198, 250, 0xFCFCFC}));
  EXPECT_EQ(bands[0].color, 0x000000u);
  EXPECT_EQ(bands[1].color, 0x020202u);
  EXPECT_EQ(bands[2].color, 0x050505u);
}

TEST(GradientTest, FallingChannelsStopShortOfTheEndColour) {
  const auto bands = ui::GradientBands(0, 250, 0xFFFFFF, 0x000000, 100);
  ASSERT_EQ(bands.size(), 100u);
  EXPECT_EQ(bands.front().color, 0xFFFFFFu);
  EXPECT_EQ(bands.back().color, 0x020202u);
}

TEST(GradientTest, ChannelsStepIndependently) {
  // Red rises, green stays, blue falls; 4 columns give 4 bands of one pixel.
  const auto bands = ui::GradientBands(10, 14, 0xFF4000, 0x0040FF, 100);
  const std::vector<GradientBand> expected{
      {10, 11, 0xFF4000}, {11, 12, 0xBF403F}, {12, 13, 0x7F407F}, {13, 14, 0x3F40BF}};
  EXPECT_EQ(bands, expected);
}

TEST(GradientTest, NarrowLabelHasOneBandPerColumn) {
  const auto bands = ui::GradientBands(5, 45, 0x000000, 0xFFFFFF, 100);
  ASSERT_EQ(bands.size(), 40u);
  for (size_t i = 0; i < bands.size(); ++i) {
    EXPECT_EQ(bands[i].left, static_cast<int>(5 + i));
    EXPECT_EQ(bands[i].right, static_cast<int>(6 + i));
  }
}

TEST(GradientTest, SingleBandTakesTheWholeWidthInTheStartColour) {
  EXPECT_EQ(ui::GradientBands(3, 250, 0x102030, 0xFFFFFF, 1), (std::vector<GradientBand>{{3, 250, 0x102030}}));
}

TEST(GradientTest, NoWidthDrawsNothing) {
  EXPECT_TRUE(ui::GradientBands(7, 7, 0, 0xFFFFFF, 100).empty());
  EXPECT_TRUE(ui::GradientBands(9, 7, 0, 0xFFFFFF, 100).empty());
  EXPECT_TRUE(ui::GradientBands(0, 250, 0, 0xFFFFFF, 0).empty());
}

struct ClickCase {
  const char* name;
  int linkMode;
  bool notifyParent;
  const char* url;
  const char* text;
  ClickAction expected;
};

class ClickTest : public testing::TestWithParam<ClickCase> {};

TEST_P(ClickTest, DecidesWhatAClickDoes) {
  const ClickCase& c = GetParam();
  EXPECT_EQ(ui::DecideClick(c.linkMode, c.notifyParent, QString::fromUtf8(c.url), QString::fromUtf8(c.text)),
            c.expected);
}

const ClickAction kNotify{ClickAction::Kind::Notify, {}, {}};
const ClickAction kNothing{};

ClickAction Open(const char* target, const char* verb) {
  return {ClickAction::Kind::Open, QString::fromUtf8(target), QString::fromUtf8(verb)};
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ClickTest,
    testing::Values(ClickCase{"NotifyWebLinkWithUrl", 1, true, "https://example.com/", "text", kNotify},
                    ClickCase{"NotifyMailLink", 2, true, "", "a@b.example", kNotify},
                    ClickCase{"NotifyWithoutLink", 0, true, "", "text", kNotify},
                    ClickCase{"WebLinkOpensUrl", 1, false, "https://example.com/products", "Maker",
                              Open("https://example.com/products", "open")},
                    ClickCase{"WebLinkWithoutUrlOpensText", 1, false, "", "https://example.com/x",
                              Open("https://example.com/x", "open")},
                    ClickCase{"WebLinkWithNothingToOpen", 1, false, "", "", kNothing},
                    ClickCase{"MailLinkIgnoresUrl", 2, false, "https://example.com/", "a@b.example",
                              Open("mailto:a@b.example", "")},
                    ClickCase{"NotALink", 0, false, "https://example.com/", "text", kNothing}),
    [](const testing::TestParamInfo<ClickCase>& testCase) { return testCase.param.name; });

}  // namespace
