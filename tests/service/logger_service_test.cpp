// The logger's run over pseudo-terminals: it resumes the stored ports, follows the settings
// file as it changes, reopens log files on request and stops cleanly, and says so line by line.
#include "service/logger_service.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "service/logger_commands.h"
#include "tests/service/fake_machine.h"
#include "tests/support/other_program.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_files.h"

namespace service {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using service_testing::FakeMachine;
using testing::HasSubstr;
using testing_support::Bytes;
using testing_support::FileBytes;
using testing_support::PtyPair;
using testing_support::RandomBytes;

bool Eventually(const std::function<bool()>& condition, std::chrono::seconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The run on a thread of its own, its signals through a pipe the test writes to, its lines in
// a file and what it tells the service manager in a list.
class LoggerServiceTest : public testing::Test {
 protected:
  LoggerServiceTest() {
    EXPECT_EQ(::pipe2(m_signals, O_CLOEXEC | O_NONBLOCK), 0);
    m_linesFd = ::open(LinesFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  }
  ~LoggerServiceTest() override {
    if (m_runner.joinable()) {
      Signal(SIGTERM);
      m_runner.join();
    }
    for (int fd : {m_signals[0], m_signals[1], m_linesFd}) ::close(fd);
  }

  void StartRun() {
    m_lines = std::make_unique<StatusLines>(m_linesFd);
    m_logger = std::make_unique<LoggerService>(machine.places, *m_lines,
                                               [this](const std::string& state) {
                                                 std::lock_guard lock(m_mutex);
                                                 m_told.push_back(state);
                                               });
    m_runner = std::thread([this] {
      m_exit = m_logger->Run(m_signals[0], [this] {
        std::vector<int> came;
        unsigned char number;
        while (::read(m_signals[0], &number, 1) == 1) came.push_back(number);
        return came;
      });
    });
    ASSERT_TRUE(Eventually([this] { return Told("READY=1"); }));
  }

  int StopRun() {
    Signal(SIGTERM);
    m_runner.join();
    return m_exit;
  }

  void Signal(int number) {
    const auto byte = static_cast<unsigned char>(number);
    ASSERT_EQ(::write(m_signals[1], &byte, 1), 1);
  }

  bool Told(const std::string& state) {
    std::lock_guard lock(m_mutex);
    return std::find(m_told.begin(), m_told.end(), state) != m_told.end();
  }

  fs::path LinesFile() const { return machine.dir / "lines.txt"; }
  std::string Lines() const { return ReadText(LinesFile()); }
  bool Said(const std::string& line) const {
    return Lines().find(line + "\n") != std::string::npos;
  }

  static bool Logged(const fs::path& file, const Bytes& bytes) { return FileBytes(file) == bytes; }

  FakeMachine machine;
  PtyPair first, second, third;

 private:
  int m_signals[2] = {-1, -1};
  int m_linesFd = -1;
  std::unique_ptr<StatusLines> m_lines;
  std::unique_ptr<LoggerService> m_logger;
  std::thread m_runner;
  int m_exit = -1;
  std::mutex m_mutex;
  std::vector<std::string> m_told;
};

TEST_F(LoggerServiceTest, ResumesStoredPortsFollowsEnableAndDisableAndStopsWithEveryByte) {
  machine.AddPort("ttyA0", first);
  machine.AddPort("ttyA1", second);
  machine.AddPort("ttyA2", third);
  machine.StorePort("ttyA0", true, machine.Path("a0.log"));
  machine.StorePort("ttyA1", true, machine.Path("a1.log"));
  StartRun();
  EXPECT_TRUE(Said("ttyA0: Logging started (" + machine.Path("a0.log").string() + ", 9600 8N1)"))
      << Lines();
  EXPECT_TRUE(Eventually([this] { return Told("STATUS=Logging 2 of 2 ports marked logging"); }));

  const Bytes toA0 = RandomBytes(30000, 1), toA1 = RandomBytes(20000, 2);
  first.Send(toA0);
  second.Send(toA1);
  ASSERT_TRUE(Eventually([&] { return Logged(machine.Path("a0.log"), toA0); }));
  ASSERT_TRUE(Eventually([&] { return Logged(machine.Path("a1.log"), toA1); }));

  // enable and disable change the settings file; the run sees it without a signal.
  Command enable;
  enable.port = "ttyA2";
  enable.changes.push_back(
      [&](CRedirectPort& task) { task.m_strFile = machine.Path("a2.log").string(); });
  std::ostringstream err;
  ASSERT_EQ(EnablePort(enable, machine.places, err), 0);
  ASSERT_TRUE(Eventually([&] { return Said("ttyA2: Logging started (" +
                                           machine.Path("a2.log").string() +
                                           ", 9600 8N1, hardware flow control)"); }))
      << Lines();
  Command disable;
  disable.port = "ttyA1";
  ASSERT_EQ(DisablePort(disable, machine.places, err), 0);
  ASSERT_TRUE(Eventually([&] { return Said("ttyA1: Logging stopped"); })) << Lines();

  const Bytes toA2 = RandomBytes(10000, 3), lastToA0 = RandomBytes(5000, 4);
  third.Send(toA2);
  first.Send(lastToA0);
  second.Send(RandomBytes(100, 5));
  ASSERT_TRUE(Eventually([&] { return Logged(machine.Path("a2.log"), toA2); }));
  // Whatever was read when the stop came is in the file.
  Bytes allToA0 = toA0;
  allToA0.insert(allToA0.end(), lastToA0.begin(), lastToA0.end());
  ASSERT_TRUE(Eventually([&] { return FileBytes(machine.Path("a0.log")).size() == allToA0.size(); }));
  EXPECT_EQ(StopRun(), 0);
  EXPECT_EQ(FileBytes(machine.Path("a0.log")), allToA0);
  EXPECT_EQ(FileBytes(machine.Path("a1.log")), toA1) << "nothing after the disable";
  EXPECT_TRUE(Said("ttyA0: Logging stopped"));
  EXPECT_TRUE(Said("ttyA2: Logging stopped"));
  EXPECT_TRUE(Told("STOPPING=1"));
  // The run reads the settings; it writes none of them.
  EXPECT_EQ(machine.store.Load("ttyA0")->at("logging"), StoredValue(1u));
  EXPECT_EQ(machine.store.Load("ttyA2")->at("logging"), StoredValue(1u));
}

TEST_F(LoggerServiceTest, HangupAppliesNewLineSettingsAndANewFileToARunningPort) {
  machine.AddPort("ttyB0", first);
  machine.StorePort("ttyB0", true, machine.Path("b0.log"));
  // Kept in another folder through a link, the file changes where the run does not watch:
  // only the signal tells.
  const fs::path target = machine.dir / "elsewhere/settings.toml";
  fs::create_directories(target.parent_path());
  fs::rename(machine.store.file(), target);
  fs::create_symlink(target, machine.store.file());
  StartRun();
  machine.store.Save("ttyB0", {{"baudrate", 115200u}, {"parity", 2u}});
  std::this_thread::sleep_for(300ms);
  ASSERT_THAT(Lines(), testing::Not(HasSubstr("Line settings")));
  Signal(SIGHUP);
  ASSERT_TRUE(Eventually([&] { return Said("ttyB0: Line settings now 115200 8E1"); })) << Lines();
  EXPECT_TRUE(Told("RELOADING=1"));

  first.Send(RandomBytes(100, 6));
  ASSERT_TRUE(Eventually([&] { return FileBytes(machine.Path("b0.log")).size() == 100; }));
  machine.store.Save("ttyB0", {{"file", machine.Path("b0-new.log").string()}});
  Signal(SIGHUP);
  ASSERT_TRUE(Eventually([&] { return Said("ttyB0: Logging started (" +
                                           machine.Path("b0-new.log").string() +
                                           ", 115200 8E1)"); }))
      << Lines();
  const Bytes next = RandomBytes(200, 7);
  first.Send(next);
  ASSERT_TRUE(Eventually([&] { return Logged(machine.Path("b0-new.log"), next); }));
  EXPECT_EQ(FileBytes(machine.Path("b0.log")).size(), 100u);
  EXPECT_EQ(StopRun(), 0);
}

TEST_F(LoggerServiceTest, AnUnreadableSettingsFileLeavesThePortsAsTheyAre) {
  machine.AddPort("ttyC0", first);
  machine.StorePort("ttyC0", true, machine.Path("c0.log"));
  StartRun();
  std::ofstream(machine.store.file()) << "[ttyC0]\nlogging = \n";
  ASSERT_TRUE(Eventually([&] { return Lines().find("cannot be read") != std::string::npos; }));
  EXPECT_THAT(Lines(), HasSubstr("corvessa-logger: settings file " +
                                 machine.store.file().string() +
                                 " cannot be read (not valid TOML at line 2"));
  const Bytes bytes = RandomBytes(1000, 8);
  first.Send(bytes);
  EXPECT_TRUE(Eventually([&] { return Logged(machine.Path("c0.log"), bytes); }));
  EXPECT_EQ(StopRun(), 0);
}

TEST_F(LoggerServiceTest, UserSignalOneReopensALogFileMovedAwayAtItsPath) {
  machine.AddPort("ttyD0", first);
  machine.StorePort("ttyD0", true, machine.Path("d0.log"));
  StartRun();
  const Bytes before = RandomBytes(3000, 9), after = RandomBytes(4000, 10);
  first.Send(before);
  ASSERT_TRUE(Eventually([&] { return Logged(machine.Path("d0.log"), before); }));
  fs::rename(machine.Path("d0.log"), machine.Path("d0.log.1"));
  Signal(SIGUSR1);
  ASSERT_TRUE(Eventually([&] { return Said("corvessa-logger: log files reopen at their paths"); }));
  first.Send(after);
  ASSERT_TRUE(Eventually([&] { return Logged(machine.Path("d0.log"), after); }));
  EXPECT_EQ(FileBytes(machine.Path("d0.log.1")), before);
  EXPECT_EQ(StopRun(), 0);
}

TEST_F(LoggerServiceTest, APortTakenOutOfTheSettingsStops) {
  machine.AddPort("ttyE0", first);
  machine.StorePort("ttyE0", true, machine.Path("e0.log"));
  StartRun();
  std::ofstream(machine.store.file()) << "# nothing stored\n";
  EXPECT_TRUE(Eventually([&] { return Said("ttyE0: Logging stopped"); })) << Lines();
  EXPECT_EQ(StopRun(), 0);
}

// Another program has the port, perhaps another copy of Corvessa logging into the same file:
// the file stays whole while the port is tried again, and logging starts once it is free.
TEST_F(LoggerServiceTest, AHeldPortIsTriedAgainWithoutEmptyingItsFile) {
  machine.AddPort("ttyF0", first);
  machine.StorePort("ttyF0", true, machine.Path("f0.log"));
  const Bytes theirs = RandomBytes(500, 11);
  testing_support::WriteFileBytes(machine.Path("f0.log"), theirs);
  auto other = std::make_unique<testing_support::OtherProgram>(first.devicePath());
  StartRun();
  ASSERT_TRUE(Eventually([&] { return Lines().find("ttyF0: Unable open port: in use by sleep") !=
                                      std::string::npos; }))
      << Lines();
  EXPECT_TRUE(Told("STATUS=Logging 0 of 1 ports marked logging"));
  EXPECT_EQ(FileBytes(machine.Path("f0.log")), theirs);
  other.reset();
  ASSERT_TRUE(Eventually([&] { return Said("ttyF0: Logging started (" +
                                           machine.Path("f0.log").string() + ", 9600 8N1)"); }))
      << Lines();
  const Bytes ours = RandomBytes(700, 12);
  first.Send(ours);
  EXPECT_TRUE(Eventually([&] { return Logged(machine.Path("f0.log"), ours); }));
  EXPECT_EQ(StopRun(), 0);
}

TEST(StatusLinesTest, CarryTheirPriorityOnlyIntoTheJournalAndRepeatNothing) {
  testing_support::TempDir dir;
  const fs::path file = dir / "stderr";
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  struct stat status {};
  ASSERT_EQ(::fstat(fd, &status), 0);
  ::setenv("JOURNAL_STREAM", "1:2", 1);  // another stream than ours
  StatusLines terminal(fd);
  terminal.Port("ttyUSB0", StatusSeverity::kWarning, "Port lost, waiting for it to return");
  const std::string ours = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  ::setenv("JOURNAL_STREAM", ours.c_str(), 1);
  StatusLines journal(fd);
  for (int i = 0; i < 3; ++i)
    journal.Port("ttyUSB0", StatusSeverity::kFailure, "Unable open port: no such device");
  journal.Port("ttyS0", StatusSeverity::kFailure, "Unable open port: no such device");
  journal.Port("ttyUSB0", StatusSeverity::kInformation, "Logging resumed");
  journal.Program(StatusSeverity::kWarning, "a warning");
  ::unsetenv("JOURNAL_STREAM");
  ::close(fd);
  EXPECT_EQ(ReadText(file),
            "ttyUSB0: Port lost, waiting for it to return\n"
            "<3>ttyUSB0: Unable open port: no such device\n"
            "<3>ttyS0: Unable open port: no such device\n"
            "<6>ttyUSB0: Logging resumed\n"
            "<4>corvessa-logger: a warning\n");
}

}  // namespace
}  // namespace service
