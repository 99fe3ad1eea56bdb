#include "logging/redirect_port.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/settings_store.h"
#include "serial/line_settings.h"
#include "tests/support/fake_port_device.h"
#include "tests/support/other_program.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_owner.h"
#include "tests/support/run_in_child.h"
#include "tests/support/test_environment.h"
#include "tests/support/test_files.h"

namespace {

using namespace std::chrono_literals;
using testing_support::FakePortDevice;
using testing_support::FakePortOpener;
using testing_support::kStatisticsMessage;
using testing_support::PtyPair;
using testing_support::RecordingOwner;
using testing_support::StatusMessage;
using testing_support::TempDir;
using testing_support::Bytes;
using testing_support::FileBytes;
using testing_support::WriteFileBytes;

constexpr int kIndex = 7;  // not 0, so a status message with the wrong index shows
constexpr const char* kFakePort = "fake0";

// A stream in which every byte value occurs and whose period is not a block size.
Bytes Pattern(size_t size, size_t from = 0) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((from + i) % 251 * 7 % 256);
  return bytes;
}

Bytes Concat(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

bool Start(CRedirectPort& task) {
  return task.StartLogging(9600, 8, serial::NOPARITY, serial::ONESTOPBIT, 0);
}

// Whether this process still holds a descriptor of `path`.
bool HoldsOpen(const std::filesystem::path& path) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(entry.path(), ignored) == path) return true;
  }
  return false;
}

// Whether someone else could have the port now.
bool PortIsFree(const std::string& portName) {
  CCommPort other;
  const bool opened = other.Open(portName, 9600, 8, serial::ONESTOPBIT, serial::NOPARITY, 0);
  other.Close();
  return opened;
}

class TaskTest : public testing::Test {
 protected:
  std::unique_ptr<CRedirectPort> MakeTask(const std::string& port, bool current = true) {
    auto task = std::make_unique<CRedirectPort>(port, current, &owner, kIndex, opener, store);
    task->m_strFile = logPath.string();
    return task;
  }
  std::unique_ptr<CRedirectPort> MakePtyTask(bool current = true) {
    return std::make_unique<CRedirectPort>(pty.portName(), current, &owner, kIndex,
                                           serial::SystemPortOpener(), store);
  }
  bool WaitReceived(const CRedirectPort& task, uint32_t count) {
    return owner.WaitUntil([&] { return task.m_nReceived == count; });
  }

  TempDir dir;
  std::filesystem::path logPath = dir / "log.bin";
  PtyPair pty;
  FakePortOpener opener;
  FakePortDevice& device = opener.Add(kFakePort);
  RecordingOwner owner;
  SettingsStore store{dir / "settings.toml"};
};

TEST_F(TaskTest, ANewTaskIsReadyWithTheDefaults) {
  const auto task = MakeTask(kFakePort);
  EXPECT_EQ(task->Status(), "Ready to start");
  EXPECT_EQ(task->m_nReceived, 0u);
  EXPECT_EQ(task->m_nFileBytes, 0u);
  EXPECT_EQ(task->m_nBaudRate, 9600);
  EXPECT_EQ(task->m_nDataBits, 3);
  EXPECT_EQ(task->m_nParity, 0);
  EXPECT_EQ(task->m_nStopBits, 0);
  EXPECT_EQ(task->m_nFlowCtrl, 2);
  EXPECT_FALSE(task->m_bAppend);
  EXPECT_FALSE(task->m_bLogging);

  task->StopLogging();  // stopping an idle task only says so
  EXPECT_EQ(task->Status(), "Logging stopped");
  EXPECT_TRUE(owner.Messages().empty());
}

struct IntoFileCase {
  const char* name;
  bool append;
  size_t oldSize;  // 0: no file yet
};

class LogIntoFileTest : public TaskTest, public testing::WithParamInterface<IntoFileCase> {};

TEST_P(LogIntoFileTest, WritesReceivedBytesAfterWhatIsKept) {
  const IntoFileCase& c = GetParam();
  const Bytes old(c.oldSize, 'o');
  if (c.oldSize > 0) WriteFileBytes(logPath, old);
  const auto task = MakePtyTask();
  task->m_strFile = logPath.string();
  task->m_bAppend = c.append;

  ASSERT_TRUE(Start(*task));
  EXPECT_EQ(task->Status(), "Logging started");
  EXPECT_EQ(owner.Messages(), (std::vector{StatusMessage(kIndex, PORT_STATUS_STARTED)}));
  const uint32_t kept = c.append ? static_cast<uint32_t>(c.oldSize) : 0;
  EXPECT_EQ(task->m_nFileBytes, kept);

  const Bytes received = Pattern(300);
  pty.Send(received);
  ASSERT_TRUE(WaitReceived(*task, 300));
  EXPECT_EQ(task->m_nFileBytes, kept + 300);
  EXPECT_TRUE(owner.WaitFor(kStatisticsMessage));
  EXPECT_EQ(FileBytes(logPath), Concat(c.append ? old : Bytes{}, received));
}

INSTANTIATE_TEST_SUITE_P(Files, LogIntoFileTest,
                         testing::Values(IntoFileCase{"NewFile", false, 0},
                                         IntoFileCase{"AppendTo1000Bytes", true, 1000},
                                         IntoFileCase{"Empty1000Bytes", false, 1000}),
                         [](const auto& p) { return std::string(p.param.name); });

class MovedLogTest : public TaskTest, public testing::WithParamInterface<bool> {};

// A log moved away (as log rotation does) or deleted while the port logs: what comes after
// lands in a new file at the path, nothing is lost or written twice, the counters go on.
TEST_P(MovedLogTest, LoggingGoesOnInANewFileAtThePath) {
  const bool deleted = GetParam();
  const auto task = MakePtyTask();
  task->m_strFile = logPath.string();
  ASSERT_TRUE(Start(*task));
  const Bytes before = Pattern(700), after = Pattern(900, 700);
  pty.Send(before);
  ASSERT_TRUE(WaitReceived(*task, 700));
  const std::filesystem::path moved = dir / "log.bin.1";
  if (deleted)
    std::filesystem::remove(logPath);
  else
    std::filesystem::rename(logPath, moved);

  pty.Send(after);
  ASSERT_TRUE(WaitReceived(*task, 1600));
  EXPECT_EQ(task->Status(), "Log file was moved or deleted; logging goes on in a new file");
  EXPECT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_NEW_FILE)));
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_NEW_FILE)), 1u);
  EXPECT_EQ(task->m_nFileBytes, 1600u);
  task->StopLogging();
  EXPECT_EQ(FileBytes(logPath), after);
  if (!deleted) {
    EXPECT_EQ(FileBytes(moved), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, MovedLogTest, testing::Bool(),
                         [](const auto& p) { return p.param ? "Deleted" : "Moved"; });

TEST_F(TaskTest, ARestartWithoutAppendEmptiesTheFileButTheCountersGoOn) {
  const auto task = MakePtyTask();
  task->m_strFile = logPath.string();
  const Bytes first = Pattern(500);
  const Bytes second = Pattern(200, 500);

  ASSERT_TRUE(Start(*task));
  pty.Send(first);
  ASSERT_TRUE(WaitReceived(*task, 500));
  owner.Clear();
  task->StopLogging();
  EXPECT_EQ(task->Status(), "Logging stopped");
  EXPECT_FALSE(task->IsOpen());
  EXPECT_FALSE(task->m_file.IsOpen());
  EXPECT_TRUE(owner.Messages().empty()) << "stopping posts nothing";

  ASSERT_TRUE(Start(*task));
  pty.Send(second);
  ASSERT_TRUE(WaitReceived(*task, 700));
  EXPECT_EQ(task->m_nFileBytes, 700u);
  EXPECT_EQ(FileBytes(logPath), second);
}

TEST_F(TaskTest, EveryByteValueArrivesUnchangedAndInOrder) {
  const auto task = MakePtyTask();
  task->m_strFile = logPath.string();
  Bytes sent;
  for (int round = 0; round < 80; ++round)
    for (int value = 0; value < 256; ++value) sent.push_back(static_cast<uint8_t>(value));

  ASSERT_TRUE(Start(*task));
  pty.Send(sent);
  ASSERT_TRUE(WaitReceived(*task, static_cast<uint32_t>(sent.size())));
  task->StopLogging();
  EXPECT_EQ(FileBytes(logPath), sent);
  // At most 4096 bytes per event, and every event posts once.
  EXPECT_GE(owner.Count(kStatisticsMessage), (sent.size() + 4095) / 4096);
}

TEST_F(TaskTest, EachEventReadsOneBlockOfAtMost4096Bytes) {
  const auto task = MakeTask(kFakePort);
  ASSERT_TRUE(Start(*task));
  const Bytes fed = Pattern(10000);
  device.Feed(fed);  // one event; what does not fit waits for the next
  ASSERT_TRUE(owner.WaitFor(kStatisticsMessage, 1));
  EXPECT_EQ(task->m_nReceived, 4096u);
  for (size_t events = 2; events <= 4; ++events) {
    device.Raise(serial::EV_RXCHAR);
    ASSERT_TRUE(owner.WaitFor(kStatisticsMessage, events));
  }
  // The fourth event found nothing: it wrote and counted nothing but still reported.
  EXPECT_EQ(task->m_nReceived, 10000u);
  EXPECT_EQ(task->m_nFileBytes, 10000u);
  task->StopLogging();
  EXPECT_EQ(device.Calls(testing_support::FakeCall::Read), 4);
  EXPECT_EQ(owner.Count(kStatisticsMessage), 4u);
  EXPECT_EQ(FileBytes(logPath), fed);
}

TEST_F(TaskTest, StatisticsArePostedOnlyWhileCurrentButBytesAlwaysCount) {
  const auto task = MakeTask(kFakePort, /*current=*/false);
  ASSERT_TRUE(Start(*task));
  device.Feed(Pattern(30));
  ASSERT_TRUE(WaitReceived(*task, 30));
  EXPECT_EQ(owner.Count(kStatisticsMessage), 0u);

  task->m_bCurrent = true;
  device.Feed(Pattern(20, 30));
  ASSERT_TRUE(owner.WaitFor(kStatisticsMessage));
  EXPECT_EQ(task->m_nReceived, 50u);
  EXPECT_EQ(task->m_nFileBytes, 50u);
  task->StopLogging();
  EXPECT_EQ(FileBytes(logPath), Pattern(50));
}

class UnopenableFileTest : public TaskTest, public testing::WithParamInterface<const char*> {};

TEST_P(UnopenableFileTest, ReportsUnableOpenFileAndLeavesThePortAlone) {
  std::filesystem::create_directory(dir / "folder");
  const auto task = MakePtyTask();
  task->m_strFile = std::string(GetParam()).empty() ? "" : (dir / GetParam()).string();

  EXPECT_FALSE(Start(*task));
  EXPECT_EQ(task->Status(), "Unable open file");
  EXPECT_EQ(owner.Messages(), (std::vector{StatusMessage(kIndex, PORT_STATUS_FILE_OPEN_FAILED)}));
  EXPECT_FALSE(task->IsOpen());
  EXPECT_TRUE(PortIsFree(pty.portName()));
}

INSTANTIATE_TEST_SUITE_P(Paths, UnopenableFileTest,
                         testing::Values("", "missing/log.bin", "folder"));

class MissingPortTest : public TaskTest, public testing::WithParamInterface<bool> {};

// The file is opened (made when missing) before the port, as ever; but a port that cannot be
// had empties nothing, with or without append: the log may be another copy's live one.
TEST_P(MissingPortTest, ReportsUnableOpenPortAndLeavesTheFileAsItWas) {
  const bool append = GetParam();
  WriteFileBytes(logPath, Bytes(1000, 'o'));
  const auto task = MakeTask("pts/no-such-port");
  task->m_bAppend = append;

  EXPECT_FALSE(Start(*task));
  EXPECT_EQ(task->Status(), "Unable open port: no such device");
  EXPECT_EQ(owner.Messages(), (std::vector{StatusMessage(kIndex, PORT_STATUS_PORT_OPEN_FAILED)}));
  EXPECT_FALSE(task->m_file.IsOpen());
  EXPECT_EQ(FileBytes(logPath), Bytes(1000, 'o'));

  std::filesystem::remove(logPath);
  EXPECT_FALSE(Start(*task));
  EXPECT_TRUE(std::filesystem::exists(logPath));
}

INSTANTIATE_TEST_SUITE_P(Append, MissingPortTest, testing::Bool());

// Why a port does not open, worded so the user knows what to do.
TEST_F(TaskTest, AnUnopenablePortSaysWhy) {
  device.FailSetState(EINVAL);
  const auto refused = MakeTask(kFakePort);
  EXPECT_FALSE(Start(*refused));
  EXPECT_EQ(refused->Status(), "Unable open port: the device refused these settings");

  device.FailSetState(0);
  device.FailGetState(EIO);
  const auto broken = MakeTask(kFakePort);
  EXPECT_FALSE(Start(*broken));
  EXPECT_EQ(broken->Status(), "Unable open port: Input/output error");

  // The port is another program's, perhaps another copy of this one logging into the same
  // file: a start without append that fails must leave that file whole.
  testing_support::WriteFileBytes(logPath, Pattern(300));
  testing_support::OtherProgram other(pty.devicePath());
  const auto held = MakePtyTask();
  held->m_strFile = logPath.string();
  EXPECT_FALSE(Start(*held));
  EXPECT_EQ(held->Status(),
            "Unable open port: in use by sleep (pid " + std::to_string(other.pid()) + ")");
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_PORT_OPEN_FAILED)), 3u);
  EXPECT_EQ(FileBytes(logPath), Pattern(300));
  other.End();
  ASSERT_TRUE(Start(*held));
  EXPECT_EQ(FileBytes(logPath), Bytes()) << "a start that succeeds empties it";
}

// As a user without the device's group: the status names the group to join.
bool StartAsNobody(const PtyPair& pty, const std::filesystem::path& dir) {
  if (getuid() != 0) {
    std::fprintf(stderr, "needs root to become another user\n");
    return false;
  }
  struct stat node {};
  EXPECT_EQ(stat(pty.devicePath().c_str(), &node), 0);
  const group* owners = getgrgid(node.st_gid);
  EXPECT_NE(owners, nullptr);
  const std::string groupName = owners != nullptr ? owners->gr_name : "";
  constexpr uid_t kNobody = 65534;
  if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
    std::fprintf(stderr, "cannot become nobody\n");
    return false;
  }
  RecordingOwner owner;
  SettingsStore store(dir / "settings.toml");
  CRedirectPort task(pty.portName(), true, &owner, kIndex, serial::SystemPortOpener(), store);
  task.m_strFile = "/dev/null";
  EXPECT_FALSE(Start(task));
  EXPECT_EQ(task.Status(), "Unable open port: permission denied (add your user to the '" +
                               groupName + "' group, then log in again)");
  return true;
}

TEST_F(TaskTest, APortTheUserMayNotUseNamesTheGroupToJoin) {
  switch (testing_support::RunInChild([&] { return StartAsNobody(pty, dir.path()); })) {
    case testing_support::ChildResult::kPassed:
      break;
    case testing_support::ChildResult::kFailed:
      FAIL() << "see the child's failures above";
    case testing_support::ChildResult::kCannotRun:
      GTEST_SKIP() << "needs root to drop to another user";
  }
}

// Bytes the line lost: the status keeps its text and counts each kind of error of this run.
TEST_F(TaskTest, LineErrorsOfTheRunAreCountedInTheStatus) {
  device.SetLineCounts({.frame = 7, .overrun = 5});  // before the run: not this run's
  const auto task = MakeTask(kFakePort);
  ASSERT_TRUE(Start(*task));
  device.SetLineCounts({.frame = 8, .overrun = 8});
  device.Raise(serial::EV_ERR);
  ASSERT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_LINE_ERRORS)));
  EXPECT_EQ(task->Status(), "Logging started; line errors: 3 overruns, 1 framing");

  device.SetLineCounts({.frame = 8, .overrun = 8, .parity = 2, .breaks = 1, .bufferOverrun = 1});
  device.Raise(serial::EV_ERR);
  ASSERT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_LINE_ERRORS), 2));
  EXPECT_EQ(task->Status(),
            "Logging started; line errors: 3 overruns, 1 buffer overrun, 1 framing, 2 parity, "
            "1 break");
  EXPECT_FALSE(IsErrorStatus(PORT_STATUS_LINE_ERRORS)) << "logging goes on";

  task->StopLogging();
  ASSERT_TRUE(Start(*task));
  EXPECT_EQ(task->Status(), "Logging started");
}

TEST_F(TaskTest, StartingALoggingTaskAgainChangesNothing) {
  const auto task = MakeTask(kFakePort);
  ASSERT_TRUE(Start(*task));
  device.Feed(Pattern(40));
  ASSERT_TRUE(WaitReceived(*task, 40));
  owner.Clear();

  EXPECT_FALSE(Start(*task));
  EXPECT_EQ(task->Status(), "Logging started");
  EXPECT_TRUE(owner.Messages().empty());
  device.Feed(Pattern(10, 40));
  ASSERT_TRUE(WaitReceived(*task, 50));
  task->StopLogging();
  EXPECT_EQ(FileBytes(logPath), Pattern(50));  // not emptied by the second start
}

// Sends the pattern from its own thread as fast as the line takes it, until stopped.
class StreamSender {
 public:
  explicit StreamSender(int fd) : m_fd(fd) {
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_thread = std::thread([this] { Run(); });
  }
  ~StreamSender() {
    m_stop = true;
    m_thread.join();
  }

 private:
  void Run() {
    while (!m_stop) {
      pollfd writable{m_fd, POLLOUT, 0};
      if (poll(&writable, 1, 10) != 1) continue;
      const Bytes chunk = Pattern(1000, m_sent);
      const ssize_t n = write(m_fd, chunk.data(), chunk.size());
      if (n > 0) m_sent += static_cast<size_t>(n);
    }
  }

  int m_fd;
  std::atomic<bool> m_stop{false};
  size_t m_sent = 0;
  std::thread m_thread;
};

// Keeps a copy of what its reads hand out.
class ReadRecordingTask : public CRedirectPort {
 public:
  using CRedirectPort::CRedirectPort;
  ~ReadRecordingTask() override { StopLogging(); }

  uint32_t Read(void* buffer, uint32_t count) override {
    const uint32_t read = CRedirectPort::Read(buffer, count);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    m_read.insert(m_read.end(), bytes, bytes + read);
    return read;
  }
  // Only while no reader thread runs.
  const Bytes& ReadSoFar() const { return m_read; }

 private:
  Bytes m_read;
};

TEST_F(TaskTest, StoppingDuringAStreamKeepsEveryByteReadAndWritesNothingAfter) {
  ReadRecordingTask task(pty.portName(), true, &owner, kIndex, serial::SystemPortOpener(), store);
  task.m_strFile = logPath.string();
  ASSERT_TRUE(Start(task));
  auto sender = std::make_unique<StreamSender>(pty.masterFd());
  ASSERT_TRUE(owner.WaitUntil([&] { return task.m_nReceived >= 50000; }));

  const uint32_t beforeStop = task.m_nReceived;
  task.StopLogging();
  const Bytes logged = FileBytes(logPath);
  EXPECT_EQ(logged, task.ReadSoFar());
  EXPECT_EQ(task.m_nFileBytes, logged.size());
  EXPECT_EQ(task.m_nReceived, logged.size());
  ASSERT_GE(logged.size(), beforeStop);
  EXPECT_EQ(Bytes(logged.begin(), logged.begin() + beforeStop), Pattern(beforeStop));
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_FILE_ERROR)), 0u);

  sender.reset();  // the far end went on sending until now
  EXPECT_EQ(FileBytes(logPath), logged);
}

TEST_F(TaskTest, DestroyingALoggingTaskClosesItsFileAndPort) {
  auto task = MakePtyTask();
  task->m_strFile = logPath.string();
  ASSERT_TRUE(Start(*task));
  pty.Send(Pattern(100));
  ASSERT_TRUE(WaitReceived(*task, 100));
  ASSERT_TRUE(HoldsOpen(logPath));
  ASSERT_FALSE(PortIsFree(pty.portName()));

  task.reset();
  EXPECT_FALSE(HoldsOpen(logPath));
  EXPECT_TRUE(PortIsFree(pty.portName()));
  EXPECT_EQ(FileBytes(logPath), Pattern(100));
}

TEST_F(TaskTest, ALostDeviceIsReportedOnceAndWaitedForUntilStop) {
  const auto task = MakePtyTask();
  task->m_strFile = logPath.string();
  ASSERT_TRUE(Start(*task));
  pty.Send(Pattern(10));
  ASSERT_TRUE(WaitReceived(*task, 10));

  pty.CloseMaster();
  ASSERT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_PORT_LOST)));
  EXPECT_EQ(task->Status(), "Port lost, waiting for it to return");
  EXPECT_TRUE(task->m_file.IsOpen());  // as before: Stop still closes it
  task->m_bLogging = true;
  task->StopLogging();
  EXPECT_TRUE(task->m_bLogging);  // the window's record, not the task's
  EXPECT_EQ(task->Status(), "Logging stopped");
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_PORT_LOST)), 1u);
  EXPECT_EQ(FileBytes(logPath), Pattern(10));
}

// Where there is no device node to wait for, a failed device ends the reader for good.
TEST_F(TaskTest, AFailedDeviceWithNoNodeToWaitForIsAPortError) {
  const auto task = MakeTask(kFakePort);
  ASSERT_TRUE(Start(*task));
  device.FailWait(EIO);
  ASSERT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_PORT_ERROR)));
  EXPECT_EQ(task->Status(), "Port error");
  task->StopLogging();
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_PORT_ERROR)), 1u);
}

// Passes every call to the device it wraps and keeps the timeouts the task sets. A slow
// watcher answers SetTimeouts only after a while, as a slow driver may, and notes any read
// that came before timeouts were set.
class TimeoutWatcher : public serial::PortDevice {
 public:
  TimeoutWatcher(std::unique_ptr<serial::PortDevice> inner,
                 std::vector<serial::CommTimeouts>& timeouts, std::chrono::milliseconds delay,
                 std::atomic<bool>& readBeforeTimeouts)
      : m_inner(std::move(inner)),
        m_timeouts(timeouts),
        m_delay(delay),
        m_readBeforeTimeouts(readBeforeTimeouts) {}

  int GetState(serial::ControlBlock& block) override { return m_inner->GetState(block); }
  int SetState(const serial::ControlBlock& block) override { return m_inner->SetState(block); }
  int SetTimeouts(const serial::CommTimeouts& timeouts) override {
    std::this_thread::sleep_for(m_delay);
    m_timeouts.push_back(timeouts);
    m_timeoutsSet = true;
    return m_inner->SetTimeouts(timeouts);
  }
  int SetEventMask(uint32_t mask) override { return m_inner->SetEventMask(mask); }
  int WaitEvent(uint32_t& events) override { return m_inner->WaitEvent(events); }
  int GetModemStatus(uint32_t& status) override { return m_inner->GetModemStatus(status); }
  int ClearError(uint32_t& errors, uint32_t& waiting) override {
    return m_inner->ClearError(errors, waiting);
  }
  int Read(void* buffer, uint32_t count, uint32_t& done) override {
    if (!m_timeoutsSet) m_readBeforeTimeouts = true;
    return m_inner->Read(buffer, count, done);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& done) override {
    return m_inner->Write(buffer, count, done);
  }
  void Purge() override { m_inner->Purge(); }
  void CancelIo() override { m_inner->CancelIo(); }

 private:
  std::unique_ptr<serial::PortDevice> m_inner;
  std::vector<serial::CommTimeouts>& m_timeouts;
  const std::chrono::milliseconds m_delay;
  std::atomic<bool>& m_readBeforeTimeouts;
  std::atomic<bool> m_timeoutsSet{false};
};

class TimeoutWatchingOpener : public serial::PortOpener {
 public:
  explicit TimeoutWatchingOpener(serial::PortOpener& inner,
                                 std::chrono::milliseconds delay = std::chrono::milliseconds(0))
      : m_inner(inner), m_delay(delay) {}
  std::unique_ptr<serial::PortDevice> Open(const std::string& name, int& error) override {
    auto device = m_inner.Open(name, error);
    if (!device) return nullptr;
    return std::make_unique<TimeoutWatcher>(std::move(device), timeouts, m_delay,
                                            readBeforeTimeouts);
  }
  std::vector<serial::CommTimeouts> timeouts;  // read only while no reader thread runs
  std::atomic<bool> readBeforeTimeouts{false};

 private:
  serial::PortOpener& m_inner;
  const std::chrono::milliseconds m_delay;
};

// The reader thread starts inside the port's Open, and bytes that already wait are read at
// once: that first read must obey the logging timeouts, or it would wait for a full block.
TEST_F(TaskTest, TheFirstReadAlreadyObeysTheLoggingTimeouts) {
  TimeoutWatchingOpener slow(opener, 200ms);
  CRedirectPort task(kFakePort, true, &owner, kIndex, slow, store);
  task.m_strFile = logPath.string();
  device.Feed(Pattern(10));
  ASSERT_TRUE(Start(task));
  ASSERT_TRUE(WaitReceived(task, 10));
  task.StopLogging();
  EXPECT_FALSE(slow.readBeforeTimeouts);
  EXPECT_EQ(slow.timeouts.size(), 1u);
}

struct ResumeCase {
  const char* name;
  serial::LineSettings fields;
  uint32_t baudRate;
  uint8_t byteSize, parity, stopBits;
};

class ResumeTest : public TaskTest, public testing::WithParamInterface<ResumeCase> {};

TEST_P(ResumeTest, OpensThePortWithTheTasksOwnSettings) {
  const ResumeCase& c = GetParam();
  TimeoutWatchingOpener watching(opener);
  CRedirectPort task(kFakePort, true, &owner, kIndex, watching, store);
  task.m_strFile = logPath.string();
  task.m_nBaudRate = c.fields.baudRate;
  task.m_nDataBits = c.fields.dataBits;
  task.m_nParity = c.fields.parity;
  task.m_nStopBits = c.fields.stopBits;
  task.m_nFlowCtrl = c.fields.flowControl;

  ASSERT_TRUE(task.ResumeLogging());
  task.StopLogging();
  const serial::ControlBlock block = device.State();
  EXPECT_EQ(block.BaudRate, c.baudRate);
  EXPECT_EQ(block.ByteSize, c.byteSize);
  EXPECT_EQ(block.Parity, c.parity);
  EXPECT_EQ(block.StopBits, c.stopBits);
  ASSERT_EQ(watching.timeouts.size(), 1u);
  const serial::CommTimeouts& t = watching.timeouts.front();
  EXPECT_EQ(t.ReadIntervalTimeout, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 300u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 300u);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ResumeTest,
    testing::Values(ResumeCase{"Defaults", {9600, 3, 0, 0, 2}, 9600, 8, 0, 0},
                    // Parity and stop bits differ, so a swap on the way shows.
                    ResumeCase{"ParityBeforeStopBits", {19200, 1, 2, 1, 0}, 19200, 6, 2, 1},
                    ResumeCase{"StoredParityNine", {115200, 0, 9, 2, 1}, 115200, 5, 9, 2},
                    ResumeCase{"OnlyTheLow8Bits", {256000, 0x102, 0x103, 0x101, 0x100},
                               256000, 7, 3, 1}),
    [](const auto& p) { return std::string(p.param.name); });

// A task whose reads wait at a gate, so the reader thread is inside OnRxChar when a test
// stops it.
class GatedTask : public CRedirectPort {
 public:
  using CRedirectPort::CRedirectPort;
  ~GatedTask() override { StopLogging(); }

  uint32_t Read(void* buffer, uint32_t count) override {
    const uint32_t read = CRedirectPort::Read(buffer, count);
    std::unique_lock lock(m_mutex);
    m_reading = true;
    m_changed.notify_all();
    m_changed.wait_for(lock, 5s, [this] { return m_open; });
    return read;
  }
  bool AwaitReading() {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 5s, [this] { return m_reading; });
  }
  void OpenGate() {
    std::lock_guard lock(m_mutex);
    m_open = true;
    m_changed.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_reading = false;
  bool m_open = false;
};

// While a stop waits for the reader thread the window handles its events, and one of them may
// stop the same task again: that must not close the file under the block still being read.
TEST_F(TaskTest, AStopWithinAStopLetsTheLastBlockReachTheFile) {
  GatedTask task(kFakePort, true, &owner, kIndex, opener, store);
  task.m_strFile = logPath.string();
  ASSERT_TRUE(Start(task));
  device.Feed(Pattern(64));
  ASSERT_TRUE(task.AwaitReading());

  int pumped = 0;
  CCommPort::SetMessagePump([&] {
    if (pumped++ == 0) task.StopLogging();
    task.OpenGate();
  });
  task.StopLogging();
  CCommPort::SetMessagePump(nullptr);

  EXPECT_GT(pumped, 0);
  EXPECT_EQ(owner.Count(StatusMessage(kIndex, PORT_STATUS_FILE_ERROR)), 0u);
  EXPECT_EQ(task.m_nFileBytes, 64u);
  EXPECT_EQ(FileBytes(logPath), Pattern(64));
  EXPECT_EQ(task.Status(), "Logging stopped");
}

// Counts characters of UTF-8 text.
size_t Characters(const std::string& text) {
  size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

struct FileErrorCase {
  const char* name;
  std::string linkName;  // a link to /dev/full, which takes no byte
};

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

class WriteErrorTest : public TaskTest, public testing::WithParamInterface<FileErrorCase> {};

TEST_P(WriteErrorTest, ReportsTheMessageCountsNothingAndGoesOn) {
  const std::filesystem::path link = dir / GetParam().linkName;
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink("/dev/full", link);
  const std::string message = "Disk full while accessing " + link.string() + ".";
  const auto task = MakeTask(kFakePort);
  task->m_strFile = link.string();
  ASSERT_TRUE(Start(*task));

  for (size_t failures = 1; failures <= 2; ++failures) {
    device.Feed(Pattern(100));
    ASSERT_TRUE(owner.WaitFor(StatusMessage(kIndex, PORT_STATUS_FILE_ERROR), failures));
    // At most 254 characters of the message, never cut inside one.
    const std::string status = task->Status();
    EXPECT_EQ(Characters(status), std::min<size_t>(Characters(message), 254));
    EXPECT_EQ(message.compare(0, status.size(), status), 0) << status;
    EXPECT_TRUE(status.size() == message.size() ||
                (static_cast<unsigned char>(message[status.size()]) & 0xC0) != 0x80);
  }
  EXPECT_TRUE(task->IsOpen());
  EXPECT_TRUE(task->m_file.IsOpen());
  EXPECT_EQ(task->m_nReceived, 0u);
  EXPECT_EQ(task->m_nFileBytes, 0u);
  EXPECT_EQ(owner.Count(kStatisticsMessage), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WriteErrorTest,
    testing::Values(FileErrorCase{"Short", "full"},
                    FileErrorCase{"LongerThanTheStatus", std::string(240, 'x')},
                    FileErrorCase{"MultiByteAtTheCut",
                                  Repeat("\u20ac", 80) + "/" + Repeat("\u20ac", 80) + "/" +
                                      Repeat("\u20ac", 80)}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(TaskTest, SettingsRoundTripThroughTheStoreAsTheirOwnTypes) {
  const auto saved = MakeTask(kFakePort);
  saved->m_bLogging = true;
  saved->m_strFile = "/home/u/Documents/Corvessa/\u00fc port.txt";
  saved->m_bAppend = true;
  saved->m_nBaudRate = 256000;
  saved->m_nDataBits = 1;
  saved->m_nParity = 9;
  saved->m_nStopBits = 2;
  saved->m_nFlowCtrl = -1;
  saved->m_options = {.timestamps = 1, .rotateSize = 0xFFFFFFFF, .rotateDaily = 1, .rotateKeep = 7};
  ASSERT_TRUE(saved->SaveSettings());

  const StoredValues expected{
      {"logging", 1u},    {"file", saved->m_strFile}, {"append", 1u},  {"baudrate", 256000u},
      {"databits", 1u},   {"parity", 9u},             {"stopbits", 2u}, {"flowctrl", 0xFFFFFFFFu},
      {"timestamps", 1u}, {"rotatesize", 0xFFFFFFFFu}, {"rotatedaily", 1u}, {"rotatekeep", 7u}};
  EXPECT_EQ(store.Load(kFakePort), expected);

  const auto loaded = MakeTask(kFakePort);
  ASSERT_TRUE(loaded->LoadSettings());
  EXPECT_TRUE(loaded->m_bLogging);
  EXPECT_EQ(loaded->m_strFile, saved->m_strFile);
  EXPECT_TRUE(loaded->m_bAppend);
  EXPECT_EQ(loaded->m_nBaudRate, 256000);
  EXPECT_EQ(loaded->m_nDataBits, 1);
  EXPECT_EQ(loaded->m_nParity, 9);
  EXPECT_EQ(loaded->m_nStopBits, 2);
  EXPECT_EQ(loaded->m_nFlowCtrl, -1);
  EXPECT_EQ(loaded->m_options, saved->m_options);
}

TEST_F(TaskTest, LoadingSetsOnlyValuesOfTheRightTypeAndName) {
  ASSERT_TRUE(store.Save(kFakePort, {{"baudrate", std::string("19200")},
                                     {"file", 5u},
                                     {"Parity", 4u},
                                     {"databits", 1u},
                                     {"append", 1u}}));
  const auto task = MakeTask(kFakePort);
  task->m_strFile.clear();
  ASSERT_TRUE(task->LoadSettings());
  EXPECT_EQ(task->m_nBaudRate, 9600);
  EXPECT_EQ(task->m_strFile, "");
  EXPECT_EQ(task->m_nParity, 0);
  EXPECT_EQ(task->m_nDataBits, 1);
  EXPECT_TRUE(task->m_bAppend);
  EXPECT_FALSE(task->m_bLogging);
  EXPECT_EQ(task->m_nFlowCtrl, 2);
}

TEST_F(TaskTest, LoadingAPortNeverSavedKeepsTheDefaults) {
  const auto task = MakeTask("never-saved");
  EXPECT_FALSE(task->LoadSettings());
  EXPECT_EQ(task->m_nBaudRate, 9600);
  EXPECT_EQ(task->m_strFile, logPath.string());
}

TEST_F(TaskTest, SavingWhereNothingCanBeWrittenFails) {
  WriteFileBytes(dir / "plain", {});
  SettingsStore blocked(dir / "plain" / "settings.toml");
  CRedirectPort task(kFakePort, true, &owner, kIndex, opener, blocked);
  EXPECT_FALSE(task.SaveSettings());
}

}  // namespace
