#include "logging/byte_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TextCase {
  std::string bytes;
  std::string shown;
};

class TextTest : public testing::TestWithParam<TextCase> {};

TEST_P(TextTest, ShowsPrintableAndUtf8AsTheyAreAndTheRestAsHex) {
  const std::string& bytes = GetParam().bytes;
  std::string shown;
  byte_text::AppendText(shown, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  EXPECT_EQ(shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, TextTest,
    testing::Values(TextCase{"$GPGGA,123519*47\n", "$GPGGA,123519*47\n"},
                    TextCase{"a\tb\r\n", "a\tb\\x0d\n"},
                    TextCase{std::string("\0\x1b\x7f", 3), "\\x00\\x1b\\x7f"},
                    TextCase{"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1",
                             "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1"},
                    // broken: a lead without its rest, a lone continuation, an overlong form,
                    // a surrogate, a sequence cut at the end, a C1 control
                    TextCase{"\xc3"
                             "A",
                             "\\xc3A"},
                    TextCase{"\x80", "\\x80"}, TextCase{"\xc0\xaf", "\\xc0\\xaf"},
                    TextCase{"\xed\xa0\x80", "\\xed\\xa0\\x80"}, TextCase{"\xe2\x82", "\\xe2\\x82"},
                    TextCase{"\xc2\x85", "\\xc2\\x85"}, TextCase{"\xff\xfe", "\\xff\\xfe"}));

TEST(HexRowTest, RowsAreAsHexdumpWritesThem) {
  const std::vector<uint8_t> full{'0', '1', '2', '3', '4', '5', '6',  '7',
                                  '8', '9', 'a', 'b', 'c', 'd', 0x00, 0xff};
  std::string row;
  byte_text::AppendHexRow(row, 0x1230, full);
  EXPECT_EQ(row, "00001230  30 31 32 33 34 35 36 37  38 39 61 62 63 64 00 ff  |0123456789abcd..|");
  row.clear();
  byte_text::AppendHexRow(row, 0, std::span(full).first(3));
  EXPECT_EQ(row, "00000000  30 31 32                                          |012|");
}

}  // namespace
