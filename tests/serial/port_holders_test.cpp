// Other programs on a port: lock files and open devices, over pseudo-terminals and lock folders
// of the test's own.
#include "serial/port_holders.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "serial/port_device.h"
#include "tests/support/other_program.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_environment.h"

namespace serial {
namespace {

namespace fs = std::filesystem;
using testing_support::DeadPid;
using testing_support::OtherProgram;
using testing_support::PtyPair;
using testing_support::TempDir;

void WriteLock(const fs::path& file, pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  std::ofstream(file) << text;
}

std::string Contents(const fs::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PortHoldersTest : public testing::Test {
 protected:
  PortHoldersTest() { fs::create_directories(lockFolder); }
  fs::path LockOfPty() const { return lockFolder / LockFileName(pty.portName()); }

  TempDir dir;
  fs::path lockFolder = dir / "lock";
  MachinePlaces places{.lockFolders = {dir / "missing", lockFolder}};
  PtyPair pty;
};

TEST_F(PortHoldersTest, LockFilesAreNamedAfterThePort) {
  EXPECT_EQ(LockFileName("ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(LockFileName("pts/3"), "LCK..pts_3");
}

TEST_F(PortHoldersTest, ALiveLockOrAnOpenDeviceIsAHolderAStaleLockIsNot) {
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places), std::nullopt);

  WriteLock(LockOfPty(), DeadPid());
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places), std::nullopt);
  WriteLock(LockOfPty(), getpid());
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places), std::nullopt);

  OtherProgram locker;
  WriteLock(LockOfPty(), locker.pid());
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places),
            (PortHolder{locker.pid(), "sleep"}));
  fs::remove(LockOfPty());

  OtherProgram reader(pty.devicePath());
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places),
            (PortHolder{reader.pid(), "sleep"}));
}

TEST_F(PortHoldersTest, ALockHoldsOurPidAndGoesWithTheObject) {
  bool held = true;
  auto lock = PortLock::Take(pty.portName(), places, held);
  ASSERT_NE(lock, nullptr);
  EXPECT_FALSE(held);
  EXPECT_EQ(lock->path(), LockOfPty());
  char expected[16];
  std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(getpid()));
  EXPECT_EQ(Contents(LockOfPty()), expected);
  lock.reset();
  EXPECT_FALSE(fs::exists(LockOfPty()));
}

TEST_F(PortHoldersTest, AStaleLockIsReplacedALiveOneIsNot) {
  WriteLock(LockOfPty(), DeadPid());
  bool held = true;
  EXPECT_NE(PortLock::Take(pty.portName(), places, held), nullptr);
  EXPECT_FALSE(held);

  OtherProgram locker;
  WriteLock(LockOfPty(), locker.pid());
  EXPECT_EQ(PortLock::Take(pty.portName(), places, held), nullptr);
  EXPECT_TRUE(held);
  EXPECT_EQ(std::stol(Contents(LockOfPty())), locker.pid());
}

TEST_F(PortHoldersTest, ALockReplacedByAnotherProgramIsLeftToIt) {
  bool held = false;
  auto lock = PortLock::Take(pty.portName(), places, held);
  ASSERT_NE(lock, nullptr);
  OtherProgram locker;
  WriteLock(LockOfPty(), locker.pid());
  lock.reset();
  EXPECT_TRUE(fs::exists(LockOfPty()));
}

// Another program reading our lock at any moment finds our pid in it, never an empty file it
// would take for stale.
TEST_F(PortHoldersTest, OurLockIsNeverSeenWithoutItsPid) {
  std::atomic<bool> done{false};
  std::atomic<int> emptySeen{0};
  std::jthread other([&] {
    while (!done) {
      const int fd = open(LockOfPty().c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      char text[16];
      if (read(fd, text, sizeof text) <= 0) ++emptySeen;
      close(fd);
    }
  });
  bool held = false;
  int taken = 0;
  for (int n = 0; n < 3000; ++n) taken += PortLock::Take(pty.portName(), places, held) != nullptr;
  done = true;
  other.join();
  EXPECT_EQ(taken, 3000);
  EXPECT_EQ(emptySeen, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(lockFolder), fs::directory_iterator()), 0)
      << "a draft of the lock was left behind";
}

// A lock that names no pid is another program's still being written while it is new, and
// stale once it is old.
TEST_F(PortHoldersTest, AnEmptyLockIsHeldWhileNewAndReplacedOnceOld) {
  for (const auto age : {std::chrono::seconds(0), std::chrono::seconds(10)}) {
    std::ofstream{LockOfPty()};
    fs::last_write_time(LockOfPty(), fs::file_time_type::clock::now() - age);
    bool held = false;
    const bool old = age > std::chrono::seconds(2);
    auto lock = PortLock::Take(pty.portName(), places, held);
    EXPECT_EQ(lock != nullptr, old) << age.count() << " s";
    EXPECT_EQ(held, !old) << age.count() << " s";
    EXPECT_EQ(Contents(LockOfPty()).empty(), !old) << age.count() << " s";
    lock.reset();
    fs::remove(LockOfPty());
  }
}

// Anyone may write a lock folder: a link planted under the lock's name is never followed
// (it names a live lock here, so following it would make the port look held), and a FIFO is
// never waited on.
TEST_F(PortHoldersTest, APlantedLinkOrFifoIsNeitherFollowedNorRemoved) {
  OtherProgram locker;
  const fs::path target = dir / "precious";
  WriteLock(target, locker.pid());
  const std::string kept = Contents(target);
  fs::create_symlink(target, LockOfPty());
  bool held = true;
  EXPECT_EQ(PortLock::Take(pty.portName(), places, held), nullptr);
  EXPECT_FALSE(held);
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(LockOfPty()));
  EXPECT_EQ(Contents(target), kept);

  fs::remove(LockOfPty());
  ASSERT_EQ(mkfifo(LockOfPty().c_str(), 0666), 0);
  EXPECT_EQ(FindHolder(pty.portName(), pty.devicePath(), places), std::nullopt);
  EXPECT_EQ(PortLock::Take(pty.portName(), places, held), nullptr);
}

// The opener refuses a port another program has, and holds a lock while it has the port.
TEST_F(PortHoldersTest, TheOpenerRefusesAHeldPortAndLocksTheOnesItOpens) {
  const auto opener = MakeTermiosOpener("/dev", places);
  int error = 0;
  {
    OtherProgram reader(pty.devicePath());
    EXPECT_EQ(opener->Open(pty.portName(), error), nullptr);
    EXPECT_EQ(error, EBUSY);
    EXPECT_EQ(opener->HolderOf(pty.portName()), (PortHolder{reader.pid(), "sleep"}));
  }
  auto device = opener->Open(pty.portName(), error);
  ASSERT_NE(device, nullptr) << "errno " << error;
  EXPECT_TRUE(fs::exists(LockOfPty()));
  device.reset();
  EXPECT_FALSE(fs::exists(LockOfPty()));
}

}  // namespace
}  // namespace serial
