// A logging port whose device is unplugged and plugged in again: the task waits for it without
// polling and goes on into the same file, but only for the same device. The device folder
// holds links to pseudo-terminals, and a sysfs of the test's own says which USB adapter each
// one is, so nothing of the machine's is touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/line_settings.h"
#include "serial/port_device.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_owner.h"
#include "tests/support/test_environment.h"
#include "tests/support/test_files.h"
#include "tests/support/thread_probe.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::FileBytes;
using testing_support::PtyPair;
using testing_support::RecordingOwner;
using testing_support::StatusMessage;

constexpr int kIndex = 2;
constexpr const char* kPort = "ttyRP0";

Bytes Stream(size_t size, uint8_t first) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + i * 7);
  return bytes;
}

class ReplugTest : public testing::Test {
 protected:
  ReplugTest() {
    fs::create_directories(devices);
    Plug(*pty, "A50285BI");
    task->m_strFile = (dir / "log.bin").string();
  }

  // The adapter with this serial number appears at the port's node, as the pseudo-terminal.
  void Plug(const PtyPair& line, const std::string& serialNumber) {
    const fs::path usb = dir / "sys/devices/usb1" / serialNumber;
    const fs::path tty = usb / "1-1:1.0/ttyUSB0";
    fs::create_directories(tty);
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    std::ofstream(usb / "serial") << serialNumber << "\n";
    struct stat node {};
    ASSERT_EQ(stat(line.devicePath().c_str(), &node), 0);
    const fs::path byNumber = dir / "sys/dev/char" /
                              (std::to_string(major(node.st_rdev)) + ":" +
                               std::to_string(minor(node.st_rdev)));
    fs::create_directories(byNumber.parent_path());
    fs::remove(byNumber);
    fs::create_symlink(tty, byNumber);
    fs::create_symlink(line.devicePath(), devices / kPort);
  }

  // The adapter goes: the line hangs up and its node disappears.
  void Unplug() {
    pty->CloseMaster();
    fs::remove(devices / kPort);
  }

  bool AwaitStatus(const std::string& status, int code, size_t times = 1) {
    return owner.WaitFor(StatusMessage(kIndex, code), times) &&
           owner.WaitUntil([&] { return task->Status() == status; });
  }

  testing_support::TempDir dir;
  fs::path devices = dir / "dev";
  std::unique_ptr<serial::PortOpener> opener = serial::MakeTermiosOpener(
      devices.string(), {.lockFolders = testing_support::TestMachinePlaces().lockFolders,
                         .sysfs = dir / "sys"});
  SettingsStore store{dir / "settings.toml"};
  RecordingOwner owner;
  std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
  std::unique_ptr<CRedirectPort> task =
      std::make_unique<CRedirectPort>(kPort, true, &owner, kIndex, *opener, store);
};

TEST_F(ReplugTest, TheSameDeviceGoesOnInTheSameFileWithNothingLostOrDoubled) {
  ASSERT_TRUE(task->StartLogging(115200, 8, serial::NOPARITY, serial::ONESTOPBIT, 0));
  const Bytes before = Stream(3000, 1), after = Stream(5000, 2);
  pty->Send(before);
  ASSERT_TRUE(owner.WaitUntil([&] { return task->m_nReceived == before.size(); }));

  Unplug();
  ASSERT_TRUE(AwaitStatus("Port lost, waiting for it to return", PORT_STATUS_PORT_LOST));
  EXPECT_TRUE(task->IsOpen());
  pty = std::make_unique<PtyPair>();
  Plug(*pty, "A50285BI");
  ASSERT_TRUE(AwaitStatus("Logging resumed", PORT_STATUS_STARTED, 2));

  pty->Send(after);
  ASSERT_TRUE(owner.WaitUntil([&] { return task->m_nReceived == before.size() + after.size(); }));
  task->StopLogging();
  Bytes both = before;
  both.insert(both.end(), after.begin(), after.end());
  EXPECT_EQ(FileBytes(dir / "log.bin"), both);
  EXPECT_EQ(task->m_nFileBytes, both.size());
}

TEST_F(ReplugTest, ADifferentDeviceThatTakesTheNameIsNotLogged) {
  ASSERT_TRUE(task->StartLogging(115200, 8, serial::NOPARITY, serial::ONESTOPBIT, 0));
  const Bytes before = Stream(100, 3);
  pty->Send(before);
  ASSERT_TRUE(owner.WaitUntil([&] { return task->m_nReceived == before.size(); }));

  Unplug();
  ASSERT_TRUE(AwaitStatus("Port lost, waiting for it to return", PORT_STATUS_PORT_LOST));
  pty = std::make_unique<PtyPair>();
  Plug(*pty, "FT9ZZZZZ");
  ASSERT_TRUE(AwaitStatus("A different device appeared as ttyRP0", PORT_STATUS_PORT_LOST, 2));
  pty->Send(Stream(100, 4));
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(task->m_nReceived, before.size());
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_STARTED)), 1u) << "only the start";

  const auto stopAt = std::chrono::steady_clock::now();
  task->StopLogging();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 1s);
  EXPECT_EQ(FileBytes(dir / "log.bin"), before);
}

// While its device is away, the task's thread sleeps: nothing wakes it, and Stop (or the
// destructor) ends the wait at once.
TEST_F(ReplugTest, AWaitingTaskNeverWakesAndEndsAtOnce) {
  const std::vector<pid_t> before = testing_support::ThreadIds();
  ASSERT_TRUE(task->StartLogging(115200, 8, serial::NOPARITY, serial::ONESTOPBIT, 0));
  Unplug();
  ASSERT_TRUE(AwaitStatus("Port lost, waiting for it to return", PORT_STATUS_PORT_LOST));
  // The reader is the thread that starting made and that now sleeps in poll.
  pid_t reader = 0;
  for (const pid_t tid : testing_support::ThreadIds()) {
    const bool started = std::find(before.begin(), before.end(), tid) == before.end();
    if (started && testing_support::WaitUntilBlockedInPoll(tid, 1s)) reader = tid;
  }
  ASSERT_NE(reader, 0);
  const uint64_t switches = testing_support::ContextSwitches(reader);
  std::this_thread::sleep_for(10s);
  EXPECT_EQ(testing_support::ContextSwitches(reader), switches);

  const auto endAt = std::chrono::steady_clock::now();
  task.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - endAt, 1s);
}

}  // namespace
