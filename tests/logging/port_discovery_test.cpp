#include "logging/port_discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "tests/support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using testing::ElementsAreArray;
using testing_support::TempDir;

// One entry of a fake /sys/class/tty: its folder name, whether it has a device, and the
// attribute files in it.
struct FakeTty {
  std::string entry;
  bool device = true;
  std::map<std::string, std::string> files = {};
};

void BuildSysfs(const fs::path& root, const std::vector<FakeTty>& ttys) {
  const fs::path devices = root / "devices/fake";
  fs::create_directories(devices);
  for (const auto& tty : ttys) {
    const fs::path folder = root / "class/tty" / tty.entry;
    fs::create_directories(folder);
    if (tty.device) fs::create_directory_symlink(devices, folder / "device");
    for (const auto& [name, text] : tty.files) std::ofstream(folder / name) << text;
  }
}

FakeTty Uart(const std::string& entry, const std::string& type, const std::string& port,
             const std::string& iomemBase) {
  return {entry,
          true,
          {{"type", type + "\n"}, {"port", port + "\n"}, {"iomem_base", iomemBase + "\n"}}};
}

FakeTty Named(const std::string& entry, const std::string& devname) {
  return {entry, true, {{"uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + devname + "\n"}}};
}

struct DiscoveryCase {
  std::string description;
  std::vector<FakeTty> ttys;
  std::vector<std::string> expected;
};

void PrintTo(const DiscoveryCase& discoveryCase, std::ostream* out) {
  *out << discoveryCase.description;
}

class PortDiscovery : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(PortDiscovery, ListsTheSerialPorts) {
  TempDir sysfs;
  BuildSysfs(sysfs.path(), GetParam().ttys);
  std::vector<std::string> names;
  EXPECT_EQ(EnumerateSerialPorts(names, sysfs.path()),
            static_cast<int>(GetParam().expected.size()));
  EXPECT_THAT(names, ElementsAreArray(GetParam().expected));
}

const std::string k49(49, 'n');
const std::string k50(50, 'n');

INSTANTIATE_TEST_SUITE_P(
    Trees, PortDiscovery,
    testing::Values(
        DiscoveryCase{"OnlyEntriesWithADevice",
                      {{"ttyUSB0"}, {"tty0", false}, {"console", false}, {"ptmx", false}},
                      {"ttyUSB0"}},
        // Only type 0 marks an empty slot: UARTs on SPI or I2C (ttySC0) have a type but
        // neither an I/O port nor a memory base.
        DiscoveryCase{"Uart8250PlaceholdersLeftOut",
                      {Uart("ttyS0", "4", "0x3F8", "0x0"), Uart("ttyS1", "0", "0x2F8", "0x0"),
                       Uart("ttyS2", "0", "0x0", "0x0"), Uart("ttySC0", "107", "0x0", "0x0"),
                       Uart("ttyAMA0", "83", "0x0", "0x9000000")},
                      {"ttyAMA0", "ttyS0", "ttySC0"}},
        DiscoveryCase{"NaturalOrder",
                      {{"ttyS10"}, {"ttyUSB1"}, {"ttyS2"}, {"ttyACM0"}, {"ttyUSB10"}, {"ttyS1"}},
                      {"ttyACM0", "ttyS1", "ttyS2", "ttyS10", "ttyUSB1", "ttyUSB10"}},
        DiscoveryCase{"NodeNameFromUevent",
                      {Named("ttyX", "usb/ttyUSB7"), {"ttyY", true, {{"uevent", "MAJOR=4\n"}}}},
                      {"ttyY", "usb/ttyUSB7"}},
        DiscoveryCase{"SameNodeTwiceIsKept",
                      {Named("a", "ttyUSB0"), Named("b", "ttyUSB0")},
                      {"ttyUSB0", "ttyUSB0"}},
        DiscoveryCase{
            "NamesLongerThan49Characters", {Named("ttyA", k50), Named("ttyB", k49), {k50}}, {k49}},
        DiscoveryCase{"NoTtyAtAll", {}, {}}),
    [](const testing::TestParamInfo<DiscoveryCase>& testCase) {
      return testCase.param.description;
    });

TEST(PortDiscoveryFolders, MissingClassFolderGivesNothing) {
  TempDir sysfs;
  std::vector<std::string> names = {"kept"};
  EXPECT_EQ(EnumerateSerialPorts(names, sysfs / "nowhere"), 0);
  EXPECT_THAT(names, ElementsAreArray({"kept"}));
}

TEST(PortDiscoveryFolders, AppendsAfterWhatTheListHolds) {
  TempDir sysfs;
  BuildSysfs(sysfs.path(), {{"ttyUSB0"}, {"ttyS0"}});
  std::vector<std::string> names = {"zzz"};
  EXPECT_EQ(EnumerateSerialPorts(names, sysfs.path()), 2);
  EXPECT_THAT(names, ElementsAreArray({"zzz", "ttyS0", "ttyUSB0"}));
}

struct LogFileCase {
  std::string folder;
  std::string port;
  std::string expected;
};

class DefaultLogFileName : public testing::TestWithParam<LogFileCase> {};

TEST_P(DefaultLogFileName, IsThePortNameAndPortTxtInTheFolder) {
  EXPECT_EQ(DefaultLogFile(GetParam().folder, GetParam().port), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Ports, DefaultLogFileName,
                         testing::Values(LogFileCase{"/home/u/Documents/Corvessa", "ttyUSB0",
                                                     "/home/u/Documents/Corvessa/ttyUSB0port.txt"},
                                         LogFileCase{"/home/u/Documents/Corvessa", "pts/3",
                                                     "/home/u/Documents/Corvessa/pts_3port.txt"},
                                         LogFileCase{"/tmp", "usb/by-id/x",
                                                     "/tmp/usb_by-id_xport.txt"}));

}  // namespace
