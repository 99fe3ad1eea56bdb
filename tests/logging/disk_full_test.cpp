// Logging onto a disk that really fills up: a small tmpfs mounted in a private mount
// namespace of a child process, so nothing outside the test sees it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/line_settings.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_owner.h"
#include "tests/support/run_in_child.h"
#include "tests/support/test_environment.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::ChildResult;
using testing_support::RecordingOwner;
using testing_support::StatusMessage;
using testing_support::Bytes;
using testing_support::FileBytes;
using testing_support::WriteFileBytes;

constexpr int kIndex = 3;

// Mounts a tmpfs of `bytes` over `folder`, visible to this process only. False (and why on
// standard error) where the process may not make mount namespaces.
bool MountPrivateTmpfs(const std::filesystem::path& folder, size_t bytes) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
    std::fprintf(stderr, "no private mount namespace here (%s); needs root\n",
                 std::strerror(errno));
    return false;
  }
  const std::string size = "size=" + std::to_string(bytes);
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0) {
    std::fprintf(stderr, "cannot mount a tmpfs (%s)\n", std::strerror(errno));
    return false;
  }
  return true;
}

// Writes until the file system takes no more.
void FillUp(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const Bytes chunk(4096, 'f');
  while (write(fd, chunk.data(), chunk.size()) > 0) {
  }
  EXPECT_EQ(errno, ENOSPC);
  close(fd);
}

Bytes Block(size_t size, uint8_t first) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// The log file fills most of its first page; a block that needs a second page on the full
// disk gets in only partly, fails, is taken back out, and logging goes on.
bool LogOntoAFullDisk(const std::filesystem::path& disk, const std::filesystem::path& settings) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (!MountPrivateTmpfs(disk, 16 * page)) return false;

  const std::filesystem::path logPath = disk / "log.bin";
  const Bytes old(page - 1000, 'o');
  WriteFileBytes(logPath, old);
  FillUp(disk / "filler");

  testing_support::PtyPair pty;
  RecordingOwner owner;
  SettingsStore store(settings);  // never written here
  CRedirectPort task(pty.portName(), true, &owner, kIndex, serial::SystemPortOpener(), store);
  task.m_strFile = logPath.string();
  task.m_bAppend = true;
  EXPECT_TRUE(task.StartLogging(9600, 8, serial::NOPARITY, serial::ONESTOPBIT, 0));
  const auto fileBytes = static_cast<uint32_t>(old.size());
  EXPECT_EQ(task.m_nFileBytes, fileBytes);

  for (size_t failures = 1; failures <= 2; ++failures) {
    pty.Send(Block(3000, static_cast<uint8_t>(failures)));
    EXPECT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_FILE_ERROR), failures));
    EXPECT_EQ(task.Status(), "Disk full while accessing " + logPath.string() + ".");
    EXPECT_EQ(task.m_nReceived, 0u);
    EXPECT_EQ(task.m_nFileBytes, fileBytes);
    EXPECT_EQ(FileBytes(logPath), old);
  }

  std::filesystem::remove(disk / "filler");
  const Bytes later = Block(3000, 'L');
  pty.Send(later);
  EXPECT_TRUE(owner.WaitUntil([&] { return task.m_nReceived == later.size(); }));
  task.StopLogging();
  EXPECT_EQ(task.m_nFileBytes, fileBytes + later.size());
  Bytes expected = old;
  expected.insert(expected.end(), later.begin(), later.end());
  EXPECT_EQ(FileBytes(logPath), expected);
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_FILE_ERROR)), 2u);
  return true;
}

TEST(DiskFullTest, TheStatusSaysSoAndLoggingGoesOnOnceThereIsSpace) {
  // The folders belong to this process, so they go when the test ends, mounted over or not.
  testing_support::TempDir dir;
  std::filesystem::create_directory(dir / "disk");
  switch (testing_support::RunInChild(
      [&] { return LogOntoAFullDisk(dir / "disk", dir / "settings.toml"); })) {
    case ChildResult::kPassed:
      break;
    case ChildResult::kFailed:
      FAIL() << "see the child's failures above";
    case ChildResult::kCannotRun:
      GTEST_SKIP() << "needs a private mount namespace with a small tmpfs, so root";
  }
}

}  // namespace
