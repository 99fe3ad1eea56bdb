#include "serial/line_settings.h"

#include <gtest/gtest.h>

#include <optional>

namespace serial {
namespace {

struct BaudCase {
  const char* text;
  std::optional<uint32_t> rate;
};

class ParseBaudRateTest : public testing::TestWithParam<BaudCase> {};

TEST_P(ParseBaudRateTest, TakesOnlyAPositiveDecimalNumber) {
  EXPECT_EQ(ParseBaudRate(GetParam().text), GetParam().rate) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseBaudRateTest,
    testing::Values(BaudCase{"9600", 9600}, BaudCase{"250000", 250000}, BaudCase{"  14400 ", 14400},
                    BaudCase{"\t57600\n", 57600}, BaudCase{"007", 7},
                    BaudCase{"2147483647", 2147483647u}, BaudCase{"2147483648", std::nullopt},
                    BaudCase{"4294967296", std::nullopt},
                    BaudCase{"99999999999999999999999", std::nullopt}, BaudCase{"0", std::nullopt},
                    BaudCase{"-5", std::nullopt}, BaudCase{"+9600", std::nullopt},
                    BaudCase{"abc", std::nullopt}, BaudCase{"96 00", std::nullopt},
                    BaudCase{"9600 baud", std::nullopt}, BaudCase{"", std::nullopt},
                    BaudCase{"   ", std::nullopt}, BaudCase{"\xd9\xa3", std::nullopt}));

struct TextCase {
  LineSettings settings;
  const char* text;
};

class LineSettingsTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(LineSettingsTextTest, WritesTheSettingsAsPeopleDo) {
  EXPECT_EQ(LineSettingsText(GetParam().settings), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LineSettingsTextTest,
    testing::Values(TextCase{{115200, 3, 0, 0, 0}, "115200 8N1"},
                    TextCase{{9600, 3, 0, 0, 2}, "9600 8N1, hardware flow control"},
                    TextCase{{300, 2, 2, 2, 1}, "300 7E2, Xon/Xoff flow control"},
                    TextCase{{110, 0, 4, 1, 0}, "110 5S1.5"},
                    TextCase{{19200, 0, 3, 0, 0}, "19200 5M1"},
                    TextCase{{1200, 1, 1, 0, 0}, "1200 6O1"},
                    // Stored values are never checked: what has no name says so.
                    TextCase{{9600, 7, -1, 3, 255}, "9600 ???, the port's own flow control"}));

TEST(ChoiceNamedTest, FindsOnlyTheExactName) {
  EXPECT_EQ(ChoiceNamed(kParityNames, "even"), 2);
  EXPECT_EQ(ChoiceNamed(kStopBitsNames, "1.5"), 1);
  EXPECT_EQ(ChoiceNamed(kFlowControlNames, "hardware"), 2);
  EXPECT_EQ(ChoiceNamed(g_szDataBits, "7"), 2);
  EXPECT_EQ(ChoiceNamed(kParityNames, "Even"), std::nullopt);
  EXPECT_EQ(ChoiceNamed(kParityNames, "7"), std::nullopt);
  EXPECT_EQ(ChoiceNamed(kStopBitsNames, ""), std::nullopt);
}

}  // namespace
}  // namespace serial
