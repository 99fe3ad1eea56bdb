// What a view of a port's data gets from its task: every block as it was written, the newest
// when it falls behind, with the count of what it missed; and how it shows them.
#include "logging/data_tap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "logging/byte_text.h"

namespace {

using Bytes = std::vector<uint8_t>;
using WallTime = std::chrono::system_clock::time_point;

// Block `n` of a stream of blocks of `size` bytes: every byte tells where it stands.
Bytes BlockOf(uint64_t n, size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((n * size + i) % 253);
  return bytes;
}

TEST(DataTapTest, AViewThatKeepsUpGetsEveryBlockInOrder) {
  DataTap tap;
  tap.StartViewing();
  for (uint64_t n = 0; n < 10; ++n) tap.Put(n * 100, BlockOf(n, 100), {});
  uint64_t skipped = 1;
  const std::vector<DataTap::Block> blocks = tap.Take(skipped);
  EXPECT_EQ(skipped, 0u);
  ASSERT_EQ(blocks.size(), 10u);
  for (uint64_t n = 0; n < 10; ++n) {
    EXPECT_EQ(blocks[n].offset, n * 100);
    EXPECT_EQ(blocks[n].bytes, BlockOf(n, 100));
  }
  EXPECT_TRUE(tap.Take(skipped).empty());
}

TEST(DataTapTest, AViewThatFellBehindGetsTheNewestAndHowManyBytesItSkipped) {
  DataTap tap;
  tap.StartViewing();
  tap.Put(0, BlockOf(0, 10), {});
  uint64_t skipped = 0;
  ASSERT_EQ(tap.Take(skipped).size(), 1u);
  constexpr uint64_t kMore = DataTap::kSlots + 36;
  for (uint64_t n = 1; n <= kMore; ++n) tap.Put(n * 10, BlockOf(n, 10), {});
  const std::vector<DataTap::Block> blocks = tap.Take(skipped);
  ASSERT_EQ(blocks.size(), DataTap::kSlots);
  EXPECT_EQ(blocks.back().bytes, BlockOf(kMore, 10));
  EXPECT_EQ(skipped, 36u * 10);
}

TEST(DataTapTest, AViewStartedLateBeginsWithWhatComesThen) {
  DataTap tap;
  tap.Put(0, BlockOf(0, 10), {});
  tap.StartViewing();
  tap.Put(10, BlockOf(1, 10), {});
  uint64_t skipped = 0;
  const std::vector<DataTap::Block> blocks = tap.Take(skipped);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].offset, 10u);
  EXPECT_EQ(skipped, 0u);
}

// The reader never waits and the viewer never sees a torn block, however they meet: each
// block's length, bytes and run time tell which block it is, so words of two blocks disagree.
TEST(DataTapTest, BlocksTakenWhileTheReaderPutsAreWhole) {
  DataTap tap;
  tap.StartViewing();
  constexpr uint64_t kBlocks = 20000;
  constexpr size_t kLargest = 512;
  const auto sizeOf = [](uint64_t n) { return static_cast<size_t>(1 + n % kLargest); };
  const auto timeOf = [](uint64_t n) { return WallTime(std::chrono::microseconds(n)); };
  uint64_t total = 0;
  for (uint64_t n = 0; n < kBlocks; ++n) total += sizeOf(n);
  std::atomic<bool> done{false};
  std::jthread reader([&] {
    for (uint64_t n = 0; n < kBlocks; ++n) {
      const DataTap::Run run{0, timeOf(n)};
      tap.Put(n * kLargest, BlockOf(n, sizeOf(n)), std::span(&run, 1));
    }
    done = true;
  });
  uint64_t taken = 0, skipped = 0, lastOffset = 0;
  bool sawLast = false;
  while (!sawLast) {
    const bool finished = done;
    uint64_t missed = 0;
    for (const DataTap::Block& block : tap.Take(missed)) {
      const uint64_t n = block.offset / kLargest;
      ASSERT_EQ(block.bytes, BlockOf(n, sizeOf(n))) << "torn at " << block.offset;
      ASSERT_EQ(block.runs.size(), 1u);
      ASSERT_EQ(block.runs[0].time, timeOf(n)) << "torn at " << block.offset;
      ASSERT_GE(block.offset, lastOffset);
      lastOffset = block.offset;
      taken += block.bytes.size();
      sawLast = n == kBlocks - 1;
    }
    skipped += missed;
    if (finished && !sawLast) FAIL() << "the last block never came";
  }
  EXPECT_EQ(taken + skipped, total);
}

struct ShownCase {
  const char* name;
  std::vector<DataTap::Block> blocks;
  bool hex;
  bool times;
  std::string shown;
};

WallTime At(int hours, int minutes, int seconds, int millis) {
  return WallTime(std::chrono::hours(hours) + std::chrono::minutes(minutes) +
                  std::chrono::seconds(seconds) + std::chrono::milliseconds(millis));
}

DataTap::Block Block(uint64_t offset, std::string bytes, std::vector<DataTap::Run> runs = {}) {
  return {offset, Bytes(bytes.begin(), bytes.end()), std::move(runs)};
}

class ShownTest : public testing::TestWithParam<ShownCase> {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
  }
};

TEST_P(ShownTest, IsAsAPersonReadsIt) {
  const ShownCase& c = GetParam();
  EXPECT_EQ(c.hex ? byte_text::HexOfBlocks(c.blocks, c.times)
                  : byte_text::TextOfBlocks(c.blocks, c.times),
            c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Views, ShownTest,
    testing::Values(
        ShownCase{"TextLinesAsTheyCame",
                  {Block(0, "$GPGGA\r\nok\n"), Block(11, "par")},
                  false,
                  false,
                  "$GPGGA\\x0d\nok\npar"},
        ShownCase{"TextUtf8CutBetweenBlocksStaysWhole",
                  {Block(0, "caf\xc3"), Block(4, "\xa9!")},
                  false,
                  false,
                  "caf\xc3\xa9!"},
        ShownCase{"TextBrokenUtf8AndControlBytes",
                  {Block(0, std::string("\xc3(\x00\x7f", 4))},
                  false,
                  false,
                  "\\xc3(\\x00\\x7f"},
        ShownCase{"TextEachLineWithTheTimeOfItsFirstByte",
                  {Block(0, "one\ntw", {{0, At(10, 13, 19, 123)}}),
                   Block(6, "o\nthree\n", {{0, At(10, 13, 19, 200)}, {2, At(10, 13, 20, 5)}})},
                  false,
                  true,
                  "10:13:19.123  one\n10:13:19.123  two\n10:13:20.005  three\n"},
        ShownCase{
            "TextWithoutTimesWhereTheBlocksHaveNone", {Block(0, "a\nb")}, false, true, "a\nb"},
        ShownCase{"HexRowsWithTheirOffsetInTheLog",
                  {Block(0x20, "0123456789abcdefXY")},
                  true,
                  false,
                  "00000020  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
                  "00000030  58 59                                             |XY|\n"},
        ShownCase{
            "HexANewRowWhereABlockDoesNotFollow",
            {Block(0, "ab"), Block(100, "c", {{0, At(0, 0, 1, 0)}})},
            true,
            true,
            "00000000  61 62                                             |ab|\n"
            "00:00:01.000  00000064  63                                                |c|\n"}),
    [](const testing::TestParamInfo<ShownCase>& row) { return std::string(row.param.name); });

}  // namespace
