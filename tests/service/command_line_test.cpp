#include "service/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "logging/redirect_port.h"

namespace service {
namespace {

using testing::HasSubstr;

ParsedCommandLine Parse(std::initializer_list<std::string_view> arguments) {
  const std::vector<std::string_view> list(arguments);
  return ParseCommandLine(list);
}

struct BadCase {
  std::vector<std::string_view> arguments;
  const char* error;
};

class BadCommandLineTest : public testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLineTest, IsRefusedWithOneClearLine) {
  const ParsedCommandLine parsed = ParseCommandLine(GetParam().arguments);
  EXPECT_FALSE(parsed.command.has_value());
  EXPECT_THAT(parsed.error, HasSubstr(GetParam().error));
  EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadCommandLineTest,
    testing::Values(
        BadCase{{"--verbose"}, "unknown option \"--verbose\""},
        BadCase{{"start"}, "unknown command \"start\""},
        BadCase{{"enable", "ttyUSB0", "--parity", "7"},
                "--parity takes none, odd, even, mark or space, not \"7\""},
        BadCase{{"enable", "ttyUSB0", "--baud", "abc"}, "--baud takes a whole number from 1 to 2147483647, not \"abc\""},
        BadCase{{"enable", "ttyUSB0", "--baud=0"}, "not \"0\""},
        BadCase{{"enable", "ttyUSB0", "--data-bits", "9"}, "--data-bits takes 5, 6, 7 or 8"},
        BadCase{{"enable", "ttyUSB0", "--stop-bits", "1,5"}, "--stop-bits takes 1, 1.5 or 2"},
        BadCase{{"enable", "ttyUSB0", "--flow", "rts"}, "--flow takes none, xonxoff or hardware"},
        BadCase{{"enable", "ttyUSB0", "--file", ""}, "--file takes a path"},
        BadCase{{"enable", "ttyUSB0", "--baud"}, "--baud needs a value"},
        BadCase{{"enable", "ttyUSB0", "--append=1"}, "--append takes no value"},
        BadCase{{"enable"}, "which port?"},
        BadCase{{"disable"}, "which port?"},
        BadCase{{"enable", "../sda"}, "\"../sda\" is no port name"},
        BadCase{{"enable", "/dev/../etc/passwd"}, "is no port name"},
        BadCase{{"disable", "ttyS0", "ttyS1"}, "unexpected argument \"ttyS1\""},
        BadCase{{"list", "--baud", "9600"}, "port settings are given to enable only"},
        BadCase{{"run", "--no-append"}, "port settings are given to enable only"},
        BadCase{{"--config"}, "--config needs a value"},
        BadCase{{"--config="}, "--config takes a file"},
        BadCase{{"list", "--help"}, "--help and --version take nothing else"},
        BadCase{{"enable", "ttyUSB0", "--timestamps", "yes"},
                "--timestamps takes on or off, not \"yes\""},
        BadCase{{"enable", "ttyUSB0", "--rotate-size", "10X"},
                "--rotate-size takes a whole number"},
        BadCase{{"enable", "ttyUSB0", "--rotate-size", "4G"}, "not \"4G\""},
        BadCase{{"enable", "ttyUSB0", "--rotate-keep", "-1"}, "--rotate-keep takes a whole number"},
        BadCase{{"show"}, "show which log file?"},
        BadCase{{"list", "--hex"}, "--hex, --from and --to are given to show only"},
        BadCase{{"show", "log.txt", "--from", "yesterday"}, "--from takes a time such as"},
        BadCase{{"show", "log.txt", "--timestamps", "on"},
                "port settings are given to enable only"}));

TEST(CommandLineTest, RunIsTheDefaultAndTheConfigMayStandAnywhere) {
  const ParsedCommandLine none = Parse({});
  ASSERT_TRUE(none.command);
  EXPECT_EQ(none.command->action, Action::kRun);
  EXPECT_TRUE(none.command->config.empty());

  for (const auto& parsed : {Parse({"--config", "/etc/corvessa/settings.toml", "list"}),
                             Parse({"list", "--config=/etc/corvessa/settings.toml"})}) {
    ASSERT_TRUE(parsed.command) << parsed.error;
    EXPECT_EQ(parsed.command->action, Action::kList);
    EXPECT_EQ(parsed.command->config, "/etc/corvessa/settings.toml");
  }
  EXPECT_EQ(Parse({"--config", "settings.toml"}).command->config,
            std::filesystem::current_path() / "settings.toml");
  EXPECT_EQ(Parse({"--version"}).command->action, Action::kVersion);
  EXPECT_EQ(Parse({"--help"}).command->action, Action::kHelp);
}

TEST(CommandLineTest, EnableTakesEverySettingAndANodePath) {
  const ParsedCommandLine parsed =
      Parse({"enable", "/dev/ttyUSB0", "--baud", "19200", "--data-bits=7", "--parity", "even",
             "--stop-bits", "1.5", "--flow", "xonxoff", "--file", "logs/../gps.log", "--append"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->port, "ttyUSB0");
  CRedirectPort task("ttyUSB0", false, nullptr, 0);
  for (const TaskChange& change : parsed.command->changes) change(task);
  EXPECT_EQ(task.m_nBaudRate, 19200);
  EXPECT_EQ(task.m_nDataBits, 2);
  EXPECT_EQ(task.m_nParity, 2);
  EXPECT_EQ(task.m_nStopBits, 1);
  EXPECT_EQ(task.m_nFlowCtrl, 1);
  EXPECT_TRUE(task.m_bAppend);
  // Taken from where the command runs, tidied.
  EXPECT_EQ(task.m_strFile, (std::filesystem::current_path() / "gps.log").string());

  const ParsedCommandLine later = Parse({"enable", "pts/3", "--append", "--no-append"});
  ASSERT_TRUE(later.command);
  for (const TaskChange& change : later.command->changes) change(task);
  EXPECT_FALSE(task.m_bAppend) << "the last one given counts";
}

TEST(CommandLineTest, EnableTakesTheLogOptions) {
  const ParsedCommandLine parsed =
      Parse({"enable", "ttyUSB0", "--timestamps", "on", "--rotate-size=10M", "--rotate-daily",
             "1", "--rotate-keep", "30"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  CRedirectPort task("ttyUSB0", false, nullptr, 0);
  for (const TaskChange& change : parsed.command->changes) change(task);
  EXPECT_EQ(task.m_options, (LogOptions{.timestamps = 1, .rotateSize = 10u << 20,
                                        .rotateDaily = 1, .rotateKeep = 30}));
}

TEST(CommandLineTest, ShowTakesFilesAndTimesInUtcOrLocal) {
  setenv("TZ", "CET-1", 1);  // a rule, not a zone file: UTC+1
  tzset();
  const ParsedCommandLine parsed =
      Parse({"show", "a.txt", "--hex", "b.txt", "--from", "2026-12-10T10:13:19.5Z", "--to",
             "2026-12-10 12:00:00"});
  unsetenv("TZ");
  tzset();
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->files, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_TRUE(parsed.command->hex);
  using std::chrono::seconds;
  const auto tenThirteen = std::chrono::system_clock::time_point(seconds(1796897599));
  EXPECT_EQ(parsed.command->from, tenThirteen + std::chrono::milliseconds(500));
  // 12:00 there is 11:00 UTC.
  EXPECT_EQ(parsed.command->to, tenThirteen + seconds(46 * 60 + 41));
}

}  // namespace
}  // namespace service
