// CCommPort over the real serial layer, on pseudo-terminals: the test drives the far end.
#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm_events.h"
#include "serial/comm_port.h"
#include "tests/serial/recording_port.h"
#include "tests/support/pty_pair.h"

namespace {

using testing_support::PtyPair;
using testing_support::RecordingPort;
using Calls = std::vector<std::string>;
using namespace std::chrono_literals;

bool OpenDefaults(CCommPort& port, const PtyPair& pty) {
  return port.Open(pty.portName(), 9600, 8, serial::ONESTOPBIT, serial::NOPARITY, 2);
}

// What the reader thread reads in OnRxChar, as a logging task would.
class ReceivedBytes {
 public:
  void Add(const uint8_t* bytes, uint32_t count) {
    std::lock_guard lock(m_mutex);
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    m_added.notify_all();
  }
  std::vector<uint8_t> AwaitCount(size_t count) {
    std::unique_lock lock(m_mutex);
    m_added.wait_for(lock, 5s, [&] { return m_bytes.size() >= count; });
    return m_bytes;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_added;
  std::vector<uint8_t> m_bytes;
};

// The handler reads what has arrived and keeps it, as a logging task would.
void ReadEveryEventInto(ReceivedBytes& received, RecordingPort& port) {
  port.rxAction = [&received](RecordingPort& self, uint32_t) {
    uint8_t buffer[4096];
    received.Add(buffer, self.Read(buffer, sizeof buffer));
  };
}

constexpr serial::CommTimeouts kReadWhatIsThere{0xFFFFFFFF, 0, 0, 0, 300};

std::chrono::nanoseconds ProcessCpuTime() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

TEST(CommPortOnPty, EveryByteSentReachesOnRxCharAndRead) {
  PtyPair pty;
  ReceivedBytes received;
  RecordingPort port;
  ReadEveryEventInto(received, port);
  ASSERT_TRUE(OpenDefaults(port, pty)) << "errno " << port.LastOpenError();
  ASSERT_TRUE(port.SetTimeouts(&kReadWhatIsThere));

  std::vector<uint8_t> sent;
  for (int round = 0; round < 3; ++round)
    for (int value = 0; value < 256; ++value) sent.push_back(static_cast<uint8_t>(value));
  pty.Send(sent);
  EXPECT_EQ(received.AwaitCount(sent.size()), sent);
  port.Close();
  const Calls calls = port.Calls();
  ASSERT_FALSE(calls.empty());
  for (const std::string& call : calls) EXPECT_EQ(call.rfind("RxChar:", 0), 0u) << call;
  EXPECT_NE(calls.front(), "RxChar:0") << "the count of bytes waiting was lost";
}

TEST(CommPortOnPty, CloseOfAWaitingReaderReturnsPromptly) {
  PtyPair pty;
  ReceivedBytes received;
  RecordingPort port;
  ReadEveryEventInto(received, port);
  ASSERT_TRUE(OpenDefaults(port, pty)) << "errno " << port.LastOpenError();
  ASSERT_TRUE(port.SetTimeouts(&kReadWhatIsThere));
  // One byte read by the handler: from here on the reader goes back to an idle wait.
  pty.Send("x");
  ASSERT_EQ(received.AwaitCount(1).size(), 1u);
  const auto start = std::chrono::steady_clock::now();
  port.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(port.Calls(), Calls{"RxChar:1"});
}

TEST(CommPortOnPty, APortInUseOpensAgainOnlyAfterClose) {
  PtyPair pty;
  RecordingPort first, second;
  ASSERT_TRUE(OpenDefaults(first, pty)) << "errno " << first.LastOpenError();
  EXPECT_FALSE(OpenDefaults(second, pty));
  EXPECT_NE(second.LastOpenError(), 0);
  EXPECT_FALSE(second.IsOpen());
  first.Close();
  EXPECT_TRUE(OpenDefaults(second, pty)) << "errno " << second.LastOpenError();
}

TEST(CommPortOnPty, MissingDeviceFailsWithItsReason) {
  RecordingPort port;
  EXPECT_FALSE(port.Open("pts/999999", 9600, 8, serial::ONESTOPBIT, serial::NOPARITY, 2));
  EXPECT_EQ(port.LastOpenError(), ENOENT);
  EXPECT_FALSE(port.IsOpen());
}

TEST(CommPortOnPty, FarEndGoneReportsOnceAndTheReaderRestsUntilClose) {
  PtyPair pty;
  RecordingPort port;
  ASSERT_TRUE(OpenDefaults(port, pty)) << "errno " << port.LastOpenError();
  pty.CloseMaster();
  ASSERT_TRUE(port.AwaitCalls(1));
  EXPECT_TRUE(port.IsOpen());

  // A reader that retried the failing device would burn a processor here.
  const auto cpuBefore = ProcessCpuTime();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(ProcessCpuTime() - cpuBefore, 50ms);

  port.Close();
  EXPECT_EQ(port.Calls(), Calls{"ThreadError:2"});
}

struct FlowOnOpenCase {
  const char* name;
  uint8_t flowChoice;
  bool flowKept;  // the line's own CRTSCTS, IXON and IXOFF stay
};

class FlowControlOnOpen : public testing::TestWithParam<FlowOnOpenCase> {};

// A choice outside the table leaves the line's own flow control as it was; a choice from it
// replaces it.
TEST_P(FlowControlOnOpen, AChoiceAbove2KeepsTheLinesOwn) {
  PtyPair pty;
  termios line{};
  ASSERT_EQ(tcgetattr(pty.masterFd(), &line), 0);
  line.c_cflag |= CRTSCTS;
  line.c_iflag |= IXON | IXOFF;
  ASSERT_EQ(tcsetattr(pty.masterFd(), TCSANOW, &line), 0);

  RecordingPort port;
  ASSERT_TRUE(port.Open(pty.portName(), 9600, 8, serial::ONESTOPBIT, serial::NOPARITY,
                        GetParam().flowChoice))
      << "errno " << port.LastOpenError();
  ASSERT_EQ(tcgetattr(pty.masterFd(), &line), 0);
  port.Close();
  const bool kept = GetParam().flowKept;
  EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, kept);
  EXPECT_EQ((line.c_iflag & IXON) != 0, kept);
  EXPECT_EQ((line.c_iflag & IXOFF) != 0, kept);
}

INSTANTIATE_TEST_SUITE_P(Choices, FlowControlOnOpen,
                         testing::Values(FlowOnOpenCase{"Choice3", 3, true},
                                         FlowOnOpenCase{"Choice255", 255, true},
                                         FlowOnOpenCase{"None", 0, false}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
