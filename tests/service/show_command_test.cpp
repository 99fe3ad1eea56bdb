#include "service/show_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "logging/time_index.h"
#include "tests/support/test_environment.h"

namespace service {
namespace {

using testing_support::TempDir;

void Write(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

struct Shown {
  int status;
  std::string out, err;
};

using Time = std::optional<std::chrono::system_clock::time_point>;

Shown Show(std::vector<std::string> files, bool hex = false, Time from = {}, Time to = {}) {
  Command command;
  command.action = Action::kShow;
  command.files = std::move(files);
  command.hex = hex;
  command.from = from;
  command.to = to;
  std::ostringstream out, err;
  const int status = ShowLogs(command, out, err);
  return {status, out.str(), err.str()};
}

class ShowTest : public testing::Test {
 protected:
  void SetUp() override {
    // 19 bytes: a line, then bytes a terminal must not get as they are.
    Write(log, std::string("GPS fix\n") + std::string("\x01\x1b[2J\t\x7f\xc3\xa9\xc3\n", 11));
    Write(log.string() + ".times",
          "# corvessa time index 1: offset, bytes, time (UTC), event\n"
          "0\t0\t2026-12-10T10:13:19.000000Z\tLogging started\n"
          "0\t8\t2026-12-10T10:13:19.123456Z\n"
          "8\t11\t2026-12-10T10:13:20.000001Z\n"
          "19\t0\t2026-12-10T10:13:21.000000Z\tLogging stopped\n");
  }
  TempDir dir;
  std::filesystem::path log = dir / "log.txt";
};

TEST_F(ShowTest, TextHasOneLinePerRunWithControlBytesWrittenOut) {
  const Shown shown = Show({log.string()});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out,
            "2026-12-10T10:13:19.000000Z  -- Logging started\n"
            "2026-12-10T10:13:19.123456Z  GPS fix\n"
            "2026-12-10T10:13:20.000001Z  \\x01\\x1b[2J\t\\x7f\xc3\xa9\\xc3\n"
            "2026-12-10T10:13:21.000000Z  -- Logging stopped\n");
  EXPECT_EQ(shown.err, "");
}

TEST_F(ShowTest, HexHasHexdumpRowsEachAfterItsTime) {
  const Shown shown = Show({log.string()}, true);
  EXPECT_EQ(shown.out,
            "2026-12-10T10:13:19.000000Z  -- Logging started\n"
            "2026-12-10T10:13:19.123456Z  00000000  47 50 53 20 66 69 78 0a                        "
            "   |GPS fix.|\n"
            "2026-12-10T10:13:20.000001Z  00000008  01 1b 5b 32 4a 09 7f c3  a9 c3 0a              "
            "   |..[2J......|\n"
            "2026-12-10T10:13:21.000000Z  -- Logging stopped\n");
}

TEST_F(ShowTest, FromAndToKeepTheRunsBetween) {
  const Shown shown = Show({log.string()}, false, ParseIndexTime("2026-12-10T10:13:19.5Z"),
                           ParseIndexTime("2026-12-10T10:13:20.5Z"));
  EXPECT_EQ(shown.out, "2026-12-10T10:13:20.000001Z  \\x01\\x1b[2J\t\\x7f\xc3\xa9\\xc3\n");
}

TEST_F(ShowTest, RotatedFilesComeFirstOldestFirst) {
  Write(dir / "log-20261210-101318-1.txt", "second\n");
  Write(dir / "log-20261210-101318-1.txt.times", "0\t7\t2026-12-10T10:13:18.500000Z\n");
  Write(dir / "log-20261210-101318.txt", "first\n");
  Write(dir / "log-20261210-101318.txt.times", "0\t6\t2026-12-10T10:13:18.000000Z\n");
  const Shown shown = Show({log.string()}, false, ParseIndexTime("2026-12-10T10:13:18Z"),
                           ParseIndexTime("2026-12-10T10:13:19.2Z"));
  EXPECT_EQ(shown.out,
            "2026-12-10T10:13:18.000000Z  first\n"
            "2026-12-10T10:13:18.500000Z  second\n"
            "2026-12-10T10:13:19.000000Z  -- Logging started\n"
            "2026-12-10T10:13:19.123456Z  GPS fix\n");
}

TEST_F(ShowTest, ALogWithoutIndexIsShownWithoutTimesAndSaysSoOnce) {
  const auto bare = dir / "bare.bin";
  Write(bare, std::string("ab\0\n", 4));
  const Shown shown = Show({bare.string()});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, "-  ab\\x00\n");
  EXPECT_EQ(shown.err, "corvessa-logger: " + bare.string() +
                           " has no time index; its bytes are shown without times\n");

  const Shown missing = Show({(dir / "none.txt").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

TEST_F(ShowTest, BytesTheIndexDoesNotReachYetAreShownAfterIt) {
  std::ofstream(log, std::ios::binary | std::ios::app) << "more";
  const Shown shown = Show({log.string()});
  EXPECT_TRUE(shown.out.ends_with("Logging stopped\n-  more\n")) << shown.out;
}

}  // namespace
}  // namespace service
