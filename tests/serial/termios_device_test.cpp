// The real serial layer over pseudo-terminals: raw byte passage, line settings, exclusive
// use, waits that other threads end, timeouts and a far end that goes away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "serial/port_device.h"
#include "serial/termios_device.h"
#include "serial/transfer_timing.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_environment.h"
#include "tests/support/thread_probe.h"

namespace serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using SteadyClock = std::chrono::steady_clock;

// Names each case of a table after its `name`.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& testCase) const {
    return testCase.param.name;
  }
};

constexpr CommTimeouts kWaitUpTo5s{0, 0, 5000, 0, 5000};

std::unique_ptr<PortOpener> TestOpener(std::string deviceDir = "/dev") {
  return MakeTermiosOpener(std::move(deviceDir), testing_support::TestMachinePlaces());
}

ControlBlock WithSettings(ControlBlock block, uint32_t rate, uint8_t byteSize, uint8_t stopBits,
                          uint8_t parity, uint8_t flow) {
  ApplyOpeningSettings(block, rate, byteSize, stopBits, parity, flow);
  return block;
}

// Gives the line a terminal's cooked settings (through the far end, which sets the same
// line), so each test sees the device make it raw by itself.
void CookLine(int farEnd) {
  termios line{};
  ASSERT_EQ(tcgetattr(farEnd, &line), 0);
  line.c_iflag |= ICRNL | INLCR | ISTRIP | IXON | IXOFF | BRKINT | INPCK | PARMRK;
  line.c_oflag |= OPOST | ONLCR;
  line.c_lflag |= ICANON | ECHO | ECHONL | IEXTEN;
  ASSERT_EQ(tcsetattr(farEnd, TCSANOW, &line), 0);
}

class TermiosDeviceTest : public testing::Test {
 protected:
  void SetUp() override {
    CookLine(m_pty.masterFd());
    int error = 0;
    m_device = m_opener->Open(m_pty.portName(), error);
    ASSERT_NE(m_device, nullptr) << std::strerror(error);
  }

  ControlBlock State() {
    ControlBlock block;
    EXPECT_EQ(m_device->GetState(block), 0);
    return block;
  }
  // As a port is opened: read the block, write the five choices, apply it.
  ControlBlock Apply(uint32_t rate, uint8_t byteSize, uint8_t stopBits, uint8_t parity,
                     uint8_t flow) {
    const ControlBlock block = WithSettings(State(), rate, byteSize, stopBits, parity, flow);
    EXPECT_EQ(m_device->SetState(block), 0);
    return block;
  }
  ControlBlock ApplyDefaults() { return Apply(9600, 8, ONESTOPBIT, NOPARITY, 2); }

  // What the far end receives within a few seconds.
  Bytes ReceiveAtFarEnd(size_t count) {
    Bytes received(count);
    size_t done = 0;
    const auto deadline = SteadyClock::now() + 5s;
    while (done < count && SteadyClock::now() < deadline) {
      pollfd ready{m_pty.masterFd(), POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      const ssize_t n = read(m_pty.masterFd(), received.data() + done, count - done);
      if (n > 0) done += static_cast<size_t>(n);
    }
    received.resize(done);
    return received;
  }

  testing_support::PtyPair m_pty;
  std::unique_ptr<PortOpener> m_opener = TestOpener();
  std::unique_ptr<PortDevice> m_device;
};

// ---- every byte value passes unchanged, both ways ----

Bytes Ascending() {
  Bytes bytes(256);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  return bytes;
}
Bytes Descending() {
  Bytes bytes = Ascending();
  std::reverse(bytes.begin(), bytes.end());
  return bytes;
}
Bytes ControlCharacters() {
  const Bytes special{0x11, 0x13, 0x0D, 0x0A, 0x00, 0xFF, 0x03, 0x04, 0x1A, 0x7F, 0x1C, 0x08};
  Bytes bytes;
  for (int round = 0; round < 20; ++round)
    bytes.insert(bytes.end(), special.begin(), special.end());
  return bytes;
}
Bytes FourRoundsScrambled() {
  Bytes bytes;
  for (unsigned round = 0; round < 4; ++round)
    for (unsigned i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i * 167 + round * 59));
  return bytes;
}

struct PassageCase {
  const char* name;
  Bytes (*bytes)();
};

class BytePassage : public TermiosDeviceTest, public testing::WithParamInterface<PassageCase> {};

TEST_P(BytePassage, EveryValueArrivesUnchangedAndInOrder) {
  ApplyDefaults();
  ASSERT_EQ(m_device->SetTimeouts(kWaitUpTo5s), 0);
  const Bytes sent = GetParam().bytes();
  const auto count = static_cast<uint32_t>(sent.size());

  m_pty.Send(sent);
  Bytes received(sent.size());
  uint32_t transferred = 99;
  EXPECT_EQ(m_device->Read(received.data(), count, transferred), 0);
  EXPECT_EQ(transferred, count);
  EXPECT_EQ(received, sent) << "received through Read";

  EXPECT_EQ(m_device->Write(sent.data(), count, transferred), 0);
  EXPECT_EQ(transferred, count);
  EXPECT_EQ(ReceiveAtFarEnd(sent.size()), sent) << "sent through Write";
}

INSTANTIATE_TEST_SUITE_P(Patterns, BytePassage,
                         testing::Values(PassageCase{"Ascending", Ascending},
                                         PassageCase{"Descending", Descending},
                                         PassageCase{"ControlCharacters", ControlCharacters},
                                         PassageCase{"FourRoundsScrambled", FourRoundsScrambled}),
                         CaseName());

// ---- line settings read back as applied ----

class TableRates : public TermiosDeviceTest, public testing::WithParamInterface<uint32_t> {};

TEST_P(TableRates, ReadBackAsApplied) {
  const ControlBlock applied = Apply(GetParam(), 8, ONESTOPBIT, NOPARITY, 2);
  EXPECT_EQ(State(), applied);
}

INSTANTIATE_TEST_SUITE_P(Rates, TableRates,
                         testing::Values(100, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400,
                                         56000, 57600, 115200, 128000, 256000));

ControlBlock EveryKeptFieldSet(ControlBlock block) {
  using namespace dcb_flag;
  block.flags = fParity | fDsrSensitivity | fTXContinueOnXoff | fErrorChar | fNull | fAbortOnError |
                fOutxDsrFlow | (DTR_CONTROL_HANDSHAKE << fDtrControlShift) |
                (RTS_CONTROL_TOGGLE << fRtsControlShift);
  block.XonLim = 1234;
  block.XoffLim = 321;
  block.ErrorChar = '?';
  block.EofChar = 0x1A;
  block.EvtChar = '\n';
  block.XonChar = 0x01;
  block.XoffChar = 0x02;
  return block;
}

struct BlockCase {
  const char* name;
  ControlBlock (*make)(ControlBlock current);
};

class BlockReadBack : public TermiosDeviceTest, public testing::WithParamInterface<BlockCase> {};

TEST_P(BlockReadBack, EveryFieldReadsBackAsWritten) {
  Apply(57600, 6, TWOSTOPBITS, ODDPARITY, 1);  // something else first
  const ControlBlock written = GetParam().make(State());
  ASSERT_EQ(m_device->SetState(written), 0);
  EXPECT_EQ(State(), written);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockReadBack,
    testing::Values(
        BlockCase{"Defaults", [](ControlBlock b) { return WithSettings(b, 9600, 8, 0, 0, 2); }},
        BlockCase{"NoFlowControl",
                  [](ControlBlock b) { return WithSettings(b, 4800, 8, 0, 0, 0); }},
        BlockCase{"XonXoff", [](ControlBlock b) { return WithSettings(b, 2400, 8, 0, 0, 1); }},
        BlockCase{"SevenMark", [](ControlBlock b) { return WithSettings(b, 9600, 7, 0, 3, 2); }},
        BlockCase{"EightSpaceTwo", [](ControlBlock b) { return WithSettings(b, 300, 8, 2, 4, 0); }},
        BlockCase{"FiveEvenOneAndAHalf",
                  [](ControlBlock b) { return WithSettings(b, 1200, 5, 1, 2, 2); }},
        BlockCase{"TypedRate", [](ControlBlock b) { return WithSettings(b, 31250, 8, 0, 0, 0); }},
        BlockCase{"KeptFields", [](ControlBlock b) { return EveryKeptFieldSet(b); }}),
    CaseName());

// The cooked line has XON/XOFF both ways and no RTS/CTS: a fresh port reports them as its own.
TEST_F(TermiosDeviceTest, AFreshPortIsRawAtTheDriversRateAndFlowControl) {
  const ControlBlock block = State();
  EXPECT_NE(block.BaudRate, 0u);
  EXPECT_TRUE(block.Has(dcb_flag::fBinary));
  EXPECT_TRUE(block.Has(dcb_flag::fOutX) && block.Has(dcb_flag::fInX));
  EXPECT_FALSE(block.Has(dcb_flag::fOutxCtsFlow));
  EXPECT_EQ(block.DtrControl(), DTR_CONTROL_ENABLE);
  EXPECT_EQ(block.RtsControl(), RTS_CONTROL_ENABLE);
  EXPECT_EQ(block.XonChar, 0x11);
  EXPECT_EQ(block.XoffChar, 0x13);
}

struct RefusedCase {
  const char* name;
  void (*spoil)(ControlBlock&);
};

class RefusedBlock : public TermiosDeviceTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedBlock, FailsAndLeavesThePreviousState) {
  const ControlBlock before = Apply(19200, 7, TWOSTOPBITS, EVENPARITY, 1);
  ControlBlock refused = before;
  GetParam().spoil(refused);
  EXPECT_NE(m_device->SetState(refused), 0);
  EXPECT_EQ(State(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, RefusedBlock,
    testing::Values(RefusedCase{"RateZero", [](ControlBlock& b) { b.BaudRate = 0; }},
                    RefusedCase{"ByteSizeNine", [](ControlBlock& b) { b.ByteSize = 9; }},
                    RefusedCase{"ByteSizeFour", [](ControlBlock& b) { b.ByteSize = 4; }},
                    RefusedCase{"ParityFive", [](ControlBlock& b) { b.Parity = 5; }},
                    RefusedCase{"StopBitsThree", [](ControlBlock& b) { b.StopBits = 3; }},
                    RefusedCase{"OneAndAHalfWithEight",
                                [](ControlBlock& b) {
                                  b.ByteSize = 8;
                                  b.StopBits = ONE5STOPBITS;
                                }},
                    RefusedCase{"TwoWithFive",
                                [](ControlBlock& b) {
                                  b.ByteSize = 5;
                                  b.StopBits = TWOSTOPBITS;
                                }}),
    CaseName());

// ---- exclusive use and opening ----

TEST_F(TermiosDeviceTest, IsHeldExclusivelyUntilDestroyed) {
  int error = 0;
  EXPECT_EQ(m_opener->Open(m_pty.portName(), error), nullptr);
  EXPECT_EQ(error, EBUSY);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int childError = 0;
    const bool opened = TestOpener()->Open(m_pty.portName(), childError) != nullptr;
    _exit(opened ? 0 : childError);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), EBUSY) << "another process must not get the port";

  m_device.reset();
  m_device = m_opener->Open(m_pty.portName(), error);
  EXPECT_NE(m_device, nullptr) << std::strerror(error);
}

struct OpenFailureCase {
  const char* portName;
  int error;
};

class OpenFailure : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailure, ReportsWhy) {
  const testing_support::TempDir devices;
  std::ofstream(devices / "plainfile") << "keep me";
  int error = 0;
  EXPECT_EQ(TestOpener(devices.path().string())->Open(GetParam().portName, error), nullptr);
  EXPECT_EQ(error, GetParam().error);
  std::ifstream kept(devices / "plainfile");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
}

INSTANTIATE_TEST_SUITE_P(Names, OpenFailure,
                         testing::Values(OpenFailureCase{"ttyMISSING", ENOENT},
                                         OpenFailureCase{"plainfile", ENOTTY},
                                         // Names that would leave the device folder.
                                         OpenFailureCase{"", ENODEV},
                                         OpenFailureCase{"/dev/null", ENODEV},
                                         OpenFailureCase{"../plainfile", ENODEV},
                                         OpenFailureCase{"pts/../../etc/passwd", ENODEV}));

// A device that is no terminal; the opener itself would refuse /dev/null as held by others.
TEST(OpenDeviceThatIsNoTerminal, FailsWithEnotty) {
  std::unique_ptr<PortDevice> device;
  EXPECT_EQ(TermiosDevice::Open("/dev/null", device), ENOTTY);
  EXPECT_EQ(device, nullptr);
}

// ---- waits that other threads end ----

// Runs `operation` on a thread and hands back its result once it has ended.
template <typename Operation>
auto StartBlocking(Operation operation, pid_t& thread) {
  std::promise<pid_t> started;
  auto threadId = started.get_future();
  auto result = std::async(std::launch::async, [&started, operation] {
    started.set_value(testing_support::CurrentThreadId());
    return operation();
  });
  thread = threadId.get();
  return result;
}

struct Outcome {
  int error;
  uint32_t value;  // events, or bytes transferred
};

// Starts a wait for events on another thread; `thread` names it.
std::future<Outcome> StartWaitEvent(PortDevice& device, pid_t& thread) {
  return StartBlocking(
      [&device] {
        Outcome outcome{};
        outcome.error = device.WaitEvent(outcome.value);
        return outcome;
      },
      thread);
}

struct WakeCase {
  const char* name;
  bool read;  // else WaitEvent
  void (*wake)(PortDevice&);
  int expectedError;
};

class EndingAWait : public TermiosDeviceTest, public testing::WithParamInterface<WakeCase> {};

TEST_P(EndingAWait, FromAnotherThreadEndsItAtOnce) {
  ASSERT_EQ(m_device->SetEventMask(EV_RXCHAR), 0);
  ASSERT_EQ(m_device->SetTimeouts(CommTimeouts{}), 0);  // a read waits for its whole count
  const bool read = GetParam().read;
  if (read) m_pty.Send("abc");  // taken before the read blocks for the rest
  uint8_t buffer[16];
  PortDevice& device = *m_device;
  pid_t thread = 0;
  auto pending = StartBlocking(
      [&device, &buffer, read] {
        Outcome outcome{};
        outcome.error = read ? device.Read(buffer, sizeof buffer, outcome.value)
                             : device.WaitEvent(outcome.value);
        return outcome;
      },
      thread);
  ASSERT_TRUE(testing_support::WaitUntilBlockedInPoll(thread));

  const auto start = SteadyClock::now();
  GetParam().wake(device);
  ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
  EXPECT_LT(SteadyClock::now() - start, 1s);
  const Outcome outcome = pending.get();
  EXPECT_EQ(outcome.error, GetParam().expectedError);
  EXPECT_EQ(outcome.value, read ? 3u : 0u) << "a read keeps what it had; a wait has no events";
}

INSTANTIATE_TEST_SUITE_P(
    Wakers, EndingAWait,
    testing::Values(
        WakeCase{"EmptyMaskEndsWait", false, [](PortDevice& d) { d.SetEventMask(0); }, 0},
        WakeCase{"NewMaskEndsWait", false, [](PortDevice& d) { d.SetEventMask(kAllEvents); }, 0},
        WakeCase{"PurgeEndsWait", false, [](PortDevice& d) { d.Purge(); }, 0},
        WakeCase{"CancelIoEndsWait", false, [](PortDevice& d) { d.CancelIo(); }, 0},
        WakeCase{"PurgeEndsRead", true, [](PortDevice& d) { d.Purge(); }, ECANCELED},
        WakeCase{"CancelIoEndsRead", true, [](PortDevice& d) { d.CancelIo(); }, ECANCELED}),
    CaseName());

TEST_F(TermiosDeviceTest, AWaitOnAnEmptyMaskReturnsAtOnce) {
  ASSERT_EQ(m_device->SetEventMask(0), 0);
  m_pty.Send("data waiting");
  uint32_t events = 99;
  const auto start = SteadyClock::now();
  EXPECT_EQ(m_device->WaitEvent(events), 0);
  EXPECT_EQ(events, 0u);
  EXPECT_LT(SteadyClock::now() - start, 1s);
}

TEST_F(TermiosDeviceTest, EarlierCancelsDoNotEndALaterWait) {
  uint32_t events = 0;
  ASSERT_EQ(m_device->WaitEvent(events), 0);  // an earlier wait, over at once (empty mask)
  m_device->CancelIo();
  m_device->Purge();
  ASSERT_EQ(m_device->SetEventMask(kAllEvents), 0);
  PortDevice& device = *m_device;
  pid_t thread = 0;
  auto pending = StartWaitEvent(device, thread);
  ASSERT_TRUE(testing_support::WaitUntilBlockedInPoll(thread)) << "the wait must block";
  m_pty.Send("x");
  ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
  const Outcome outcome = pending.get();
  EXPECT_EQ(outcome.error, 0);
  EXPECT_EQ(outcome.value, EV_RXCHAR);
}

// ---- received data ----

TEST_F(TermiosDeviceTest, ArrivingBytesRaiseRxCharAndAreCounted) {
  ASSERT_EQ(m_device->SetEventMask(kAllEvents), 0);
  m_pty.Send("12345");
  uint32_t events = 0;
  ASSERT_EQ(m_device->WaitEvent(events), 0);
  EXPECT_EQ(events, EV_RXCHAR);
  uint32_t errors = 99, waiting = 0;
  ASSERT_EQ(m_device->ClearError(errors, waiting), 0);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(waiting, 5u);
  uint32_t status = 99;
  EXPECT_EQ(m_device->GetModemStatus(status), 0) << "a pseudo-terminal has no modem lines";
  EXPECT_EQ(status, 0u);
}

TEST_F(TermiosDeviceTest, UnreadBytesDoNotEndAWaitForOtherEvents) {
  m_pty.Send("unread");
  ASSERT_EQ(m_device->SetEventMask(kAllEvents & ~EV_RXCHAR), 0);
  PortDevice& device = *m_device;
  pid_t thread = 0;
  auto pending = StartWaitEvent(device, thread);
  EXPECT_TRUE(testing_support::WaitUntilBlockedInPoll(thread)) << "must block, not spin";
  device.SetEventMask(0);
  EXPECT_EQ(pending.get().value, 0u);
}

// ---- read timeouts ----

struct TimingCase {
  const char* name;
  CommTimeouts timeouts;
  const char* sent;
  uint32_t asked;
  uint32_t expected;
  std::chrono::milliseconds atLeast, below;
};

class ReadTiming : public TermiosDeviceTest, public testing::WithParamInterface<TimingCase> {};

TEST_P(ReadTiming, ReturnsWhenTheCountOrTheTimeIsReached) {
  const TimingCase& c = GetParam();
  ASSERT_EQ(m_device->SetTimeouts(c.timeouts), 0);
  m_pty.Send(c.sent);
  uint8_t buffer[64] = {};
  uint32_t transferred = 99;
  const auto start = SteadyClock::now();
  EXPECT_EQ(m_device->Read(buffer, c.asked, transferred), 0);
  const auto took = SteadyClock::now() - start;
  EXPECT_EQ(transferred, c.expected);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), transferred),
            std::string(c.sent).substr(0, c.expected));
  EXPECT_GE(took, c.atLeast);
  EXPECT_LT(took, c.below);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadTiming,
    testing::Values(
        TimingCase{"ConstantEndsAShortRead", {0, 0, 300, 0, 0}, "abc", 10, 3, 250ms, 2s},
        TimingCase{"CountEndsALongWait", {0, 0, 5000, 0, 0}, "abcdef", 6, 6, 0ms, 2500ms},
        TimingCase{"MultiplierTimesCount", {0, 100, 0, 0, 0}, "", 3, 0, 250ms, 2s},
        TimingCase{"ReturnAtOnce", {MAXDWORD, 0, 0, 0, 0}, "ab", 10, 2, 0ms, 1s},
        TimingCase{
            "FirstBytesEndTheWait", {MAXDWORD, MAXDWORD, 5000, 0, 0}, "ab", 10, 2, 0ms, 2500ms},
        TimingCase{"NothingCameInTime", {MAXDWORD, MAXDWORD, 300, 0, 0}, "", 10, 0, 250ms, 2s}),
    CaseName());

TEST_F(TermiosDeviceTest, AWriteTheFarEndDoesNotTakeEndsAtItsTimeout) {
  ASSERT_EQ(m_device->SetTimeouts(CommTimeouts{0, 0, 0, 0, 300}), 0);
  const Bytes tooMuch(4 << 20, 'w');  // more than the line's buffers hold
  uint32_t transferred = 0;
  const auto start = SteadyClock::now();
  EXPECT_EQ(m_device->Write(tooMuch.data(), static_cast<uint32_t>(tooMuch.size()), transferred), 0);
  const auto took = SteadyClock::now() - start;
  EXPECT_GT(transferred, 0u);
  EXPECT_LT(transferred, tooMuch.size());
  EXPECT_GE(took, 250ms);
  EXPECT_LT(took, 2s);
}

// ---- the far end goes away ----

TEST_F(TermiosDeviceTest, AFarEndThatIsGoneFailsEveryWaitPromptly) {
  ASSERT_EQ(m_device->SetEventMask(kAllEvents), 0);
  m_pty.CloseMaster();
  const auto start = SteadyClock::now();
  for (int attempt = 0; attempt < 5; ++attempt) {
    uint32_t events = 99;
    EXPECT_NE(m_device->WaitEvent(events), 0);
    EXPECT_EQ(events, 0u);
  }
  EXPECT_LT(SteadyClock::now() - start, 1s);
  uint8_t byte;
  uint32_t transferred = 99;
  EXPECT_NE(m_device->Read(&byte, 1, transferred), 0);
  EXPECT_EQ(transferred, 0u);
  ControlBlock block;
  EXPECT_NE(m_device->GetState(block), 0);
  uint32_t errors = 0, waiting = 0;
  EXPECT_NE(m_device->ClearError(errors, waiting), 0);
}

TEST_F(TermiosDeviceTest, APendingWaitFailsWhenTheFarEndGoes) {
  ASSERT_EQ(m_device->SetEventMask(kAllEvents), 0);
  PortDevice& device = *m_device;
  pid_t thread = 0;
  auto pending = StartWaitEvent(device, thread);
  ASSERT_TRUE(testing_support::WaitUntilBlockedInPoll(thread));
  m_pty.CloseMaster();
  ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
  EXPECT_NE(pending.get().error, 0);
}

// ---- settings change while another thread waits and reads ----

TEST_F(TermiosDeviceTest, SettingsChangeSafelyWhileAnotherThreadReceives) {
  ApplyDefaults();
  ASSERT_EQ(m_device->SetTimeouts(CommTimeouts{0, 0, 300, 0, 300}), 0);
  ASSERT_EQ(m_device->SetEventMask(kAllEvents), 0);
  const Bytes sent = FourRoundsScrambled();
  PortDevice& device = *m_device;
  auto receiver = std::async(std::launch::async, [&device, total = sent.size()] {
    Bytes received;
    uint32_t events = 0, errors = 0, waiting = 0;
    while (received.size() < total && device.WaitEvent(events) == 0 && events != 0) {
      if (device.ClearError(errors, waiting) != 0) break;
      Bytes chunk(std::max<uint32_t>(waiting, 1));
      uint32_t got = 0;
      device.Read(chunk.data(), static_cast<uint32_t>(chunk.size()), got);
      received.insert(received.end(), chunk.begin(), chunk.begin() + got);
    }
    return received;
  });
  const uint32_t rates[] = {9600, 115200, 14400, 256000};
  for (size_t part = 0; part < 8; ++part) {
    m_pty.Send(Bytes(sent.begin() + part * 128, sent.begin() + (part + 1) * 128));
    Apply(rates[part % 4], 8, ONESTOPBIT, NOPARITY, part % 2 == 0 ? 2 : 0);
    State();
  }
  ASSERT_EQ(receiver.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(receiver.get(), sent);
}

}  // namespace
}  // namespace serial
