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

}  // namespace
}  // namespace serial
