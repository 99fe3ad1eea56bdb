// Logging into a named pipe whose reader goes away: the program must live on, report the
// failed block as a file error and write again once a reader is back. Run in a child, since
// a SIGPIPE that is not ignored ends the process that gets it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/line_settings.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_owner.h"
#include "tests/support/run_in_child.h"
#include "tests/support/test_environment.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::Bytes;
using testing_support::ChildResult;
using testing_support::RecordingOwner;
using testing_support::StatusMessage;

constexpr int kIndex = 4;

bool SigpipeIsDefault() {
  struct sigaction current {};
  sigaction(SIGPIPE, nullptr, &current);
  return current.sa_handler == SIG_DFL;
}

int OpenReader(const std::filesystem::path& fifo) {
  return open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

// Reads exactly `size` bytes from a non-blocking pipe, waiting up to 5 s for them.
Bytes ReadFromPipe(int fd, size_t size) {
  Bytes got;
  while (got.size() < size) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 5000) <= 0) break;
    uint8_t chunk[512];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    got.insert(got.end(), chunk, chunk + n);
  }
  return got;
}

bool LogIntoAPipeThatLosesItsReader(const std::filesystem::path& dir) {
  if (!SigpipeIsDefault()) {
    std::fprintf(stderr, "SIGPIPE is already ignored in this process; run the test alone\n");
    return false;
  }
  const std::filesystem::path fifo = dir / "log.fifo";
  EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int reader = OpenReader(fifo);
  EXPECT_GE(reader, 0);

  testing_support::PtyPair pty;
  RecordingOwner owner;
  SettingsStore store(dir / "settings.toml");
  CRedirectPort task(pty.portName(), true, &owner, kIndex, serial::SystemPortOpener(), store);
  task.m_strFile = fifo.string();
  EXPECT_TRUE(task.StartLogging(9600, 8, serial::NOPARITY, serial::ONESTOPBIT, 0));

  const Bytes first(100, 'a');
  pty.Send(first);
  EXPECT_EQ(ReadFromPipe(reader, first.size()), first);
  close(reader);

  pty.Send(Bytes(100, 'b'));  // nobody reads: this block is lost, and said to be
  EXPECT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_FILE_ERROR)));
  EXPECT_EQ(task.Status(), "An unknown error occurred while accessing " + fifo.string() + ".");

  reader = OpenReader(fifo);
  const Bytes later(100, 'c');
  pty.Send(later);
  EXPECT_EQ(ReadFromPipe(reader, later.size()), later);
  EXPECT_TRUE(owner.WaitUntil([&] { return task.m_nReceived == first.size() + later.size(); }));
  task.StopLogging();
  close(reader);
  return true;
}

TEST(BrokenPipeTest, AGoneReaderIsAFileErrorAndLoggingGoesOn) {
  testing_support::TempDir dir;
  switch (testing_support::RunInChild([&] { return LogIntoAPipeThatLosesItsReader(dir.path()); })) {
    case ChildResult::kPassed:
      break;
    case ChildResult::kFailed:
      FAIL() << "the child failed or died (SIGPIPE); see above";
    case ChildResult::kCannotRun:
      GTEST_SKIP() << "SIGPIPE was ignored before the test began";
  }
}

}  // namespace
