#include "service/logger_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/service/fake_machine.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_files.h"

namespace service {
namespace {

namespace fs = std::filesystem;
using service_testing::FakeMachine;
using testing_support::PtyPair;

class LoggerCommandsTest : public testing::Test {
 protected:
  LoggerCommandsTest() {
    machine.AddPort("ttyUSB0", usb);
    machine.AddPort("ttyS0", builtIn);
  }

  std::string List() {
    std::ostringstream out;
    EXPECT_EQ(ListPorts(machine.places, out), 0);
    return out.str();
  }

  Command Marking(Action action, const std::string& port) {
    Command command;
    command.action = action;
    command.port = port;
    return command;
  }

  FakeMachine machine;
  PtyPair usb, builtIn;
};

TEST_F(LoggerCommandsTest, ListShowsEachPortWithItsIdentitySettingsFileAndState) {
  fs::create_directories(machine.devices / "serial/by-id");
  fs::create_symlink("../../ttyUSB0",
                     machine.devices / "serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
  machine.store.Save("ttyUSB0", {{"logging", 1u},
                                 {"file", std::string("/var/log/corvessa/gps.txt")},
                                 {"baudrate", 115200u},
                                 {"flowctrl", 0u}});
  const std::string documents = std::getenv("XDG_DOCUMENTS_DIR");
  // In discovery's order: ttyS0 before ttyUSB0.
  EXPECT_EQ(List(),
            "ttyS0\t-\tnot stored\t9600 8N1, hardware flow control\t" + documents +
                "/Corvessa/ttyS0port.txt\tnot logging\n"
                "ttyUSB0\tusb-FTDI_FT232R_A50285BI-if00-port0\tstored\t115200 8N1\t"
                "/var/log/corvessa/gps.txt\tlogging\n");
  EXPECT_FALSE(fs::exists(documents + "/Corvessa")) << "list changes nothing";
}

TEST_F(LoggerCommandsTest, EnableStoresTheGivenSettingsAndKeepsTheOthers) {
  machine.store.Save("ttyS0", {{"baudrate", 4800u}, {"parity", 2u}, {"future", 7u}});
  Command enable = Marking(Action::kEnable, "ttyS0");
  enable.changes.push_back([](CRedirectPort& task) { task.m_nStopBits = 2; });
  std::ostringstream err;
  ASSERT_EQ(EnablePort(enable, machine.places, err), 0) << err.str();
  const StoredValues stored = machine.store.Load("ttyS0").value();
  EXPECT_EQ(stored.at("logging"), StoredValue(1u));
  EXPECT_EQ(stored.at("stopbits"), StoredValue(2u));
  EXPECT_EQ(stored.at("baudrate"), StoredValue(4800u));
  EXPECT_EQ(stored.at("parity"), StoredValue(2u));
  EXPECT_EQ(stored.at("future"), StoredValue(7u));
  // The logger that runs the port names the default file in its own log folder.
  EXPECT_EQ(stored.at("file"), StoredValue(std::string()));

  ASSERT_EQ(DisablePort(Marking(Action::kDisable, "ttyS0"), machine.places, err), 0);
  EXPECT_EQ(machine.store.Load("ttyS0")->at("logging"), StoredValue(0u));
  EXPECT_EQ(machine.store.Load("ttyS0")->at("baudrate"), StoredValue(4800u));
}

TEST_F(LoggerCommandsTest, DisableOfAPortNeitherFoundNorStoredIsBadUsageAndChangesNothing) {
  machine.store.Save("ttyACM3", {{"logging", 1u}});  // stored, not plugged in: known
  const testing_support::Bytes before = testing_support::FileBytes(machine.store.file());
  std::ostringstream err;
  EXPECT_EQ(DisablePort(Marking(Action::kDisable, "ttyUSB7"), machine.places, err), kExitUsage);
  EXPECT_THAT(err.str(), testing::StartsWith("corvessa-logger: no port ttyUSB7 is found or stored\n"
                                             "Usage:"));
  EXPECT_EQ(testing_support::FileBytes(machine.store.file()), before);
  EXPECT_EQ(DisablePort(Marking(Action::kDisable, "ttyACM3"), machine.places, err), 0);
}

}  // namespace
}  // namespace service
