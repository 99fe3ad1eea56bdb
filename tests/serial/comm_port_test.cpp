// CCommPort and its reader thread over the scriptable fake device.
#include "serial/comm_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/comm_events.h"
#include "serial/control_block.h"
#include "tests/serial/recording_port.h"
#include "tests/support/fake_port_device.h"

namespace {

using namespace serial;
using testing_support::FakeCall;
using testing_support::FakePortDevice;
using testing_support::FakePortOpener;
using testing_support::Gate;
using testing_support::RecordingPort;
using Calls = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

constexpr const char* kPort = "ttyFAKE0";

// What the device reports before anyone configures it: hardware handshake plus flag bits and
// characters no setting touches, so a test sees whether they survive.
ControlBlock DeviceBlock() {
  ControlBlock block;
  block.BaudRate = 4800;
  block.flags = dcb_flag::fBinary | dcb_flag::fParity | dcb_flag::fTXContinueOnXoff |
                dcb_flag::fNull | dcb_flag::fAbortOnError | 0x202C;
  block.XonLim = 2048;
  block.XoffLim = 512;
  block.ByteSize = 7;
  block.Parity = ODDPARITY;
  block.StopBits = TWOSTOPBITS;
  block.EvtChar = '\n';
  return block;
}

// Device calls made by Close, in the order made.
Calls CloseCalls(const FakePortDevice& device) {
  Calls close;
  for (const std::string& entry : device.Log())
    if (entry == "Purge" || entry == "CancelIo" || entry == "SetEventMask:0") close.push_back(entry);
  return close;
}

// Test names from the rows of a table.
const auto RowName = [](const auto& row) { return std::string(row.param.name); };

// Installs a message pump for one test and removes it again.
class PumpScope {
 public:
  explicit PumpScope(std::function<void()> pump) { CCommPort::SetMessagePump(std::move(pump)); }
  ~PumpScope() { CCommPort::SetMessagePump(nullptr); }
};

class CommPortTest : public testing::Test {
 protected:
  bool OpenDefaults() { return port.Open(kPort, 9600, 8, ONESTOPBIT, NOPARITY, 2); }

  FakePortOpener opener;
  FakePortDevice& device = opener.Add(kPort, DeviceBlock());
  RecordingPort port{opener};
};

// --- Open ---

struct OpenArgs {
  const char* name;
  uint32_t baud;
  uint8_t byteSize, stopBits, parity, flow;
};

class OpeningRule : public CommPortTest, public testing::WithParamInterface<OpenArgs> {};

TEST_P(OpeningRule, ReachesTheDeviceAsOneBlock) {
  const OpenArgs a = GetParam();
  ASSERT_TRUE(port.Open(kPort, a.baud, a.byteSize, a.stopBits, a.parity, a.flow));
  ControlBlock expected = DeviceBlock();
  ApplyOpeningSettings(expected, a.baud, a.byteSize, a.stopBits, a.parity, a.flow);
  EXPECT_EQ(device.AppliedBlocks(), std::vector<ControlBlock>{expected});
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(device.Held());
  EXPECT_EQ(port.LastOpenError(), 0);
  EXPECT_TRUE(device.AwaitBlockedWait()) << "the reader thread waits for line events";
}

INSTANTIATE_TEST_SUITE_P(
    Settings, OpeningRule,
    testing::Values(OpenArgs{"Defaults", 9600, 8, ONESTOPBIT, NOPARITY, 2},
                    OpenArgs{"SevenEvenTwoXonXoff", 19200, 7, TWOSTOPBITS, EVENPARITY, 1},
                    OpenArgs{"OutOfTableStopAndFlowKeepTheDevices", 115200, 8, 3, NOPARITY, 7},
                    OpenArgs{"OddValuesWrittenAsGiven", 256000, 9, ONE5STOPBITS, 5, 0}),
    RowName);

struct FailedOpen {
  const char* name;
  const char* portName;
  std::function<void(FakePortDevice&)> breakDevice;
  int expectedError;
};

class FailingOpen : public CommPortTest, public testing::WithParamInterface<FailedOpen> {};

TEST_P(FailingOpen, LeavesThePortClosedAndTheDeviceFree) {
  const FailedOpen& c = GetParam();
  c.breakDevice(device);
  EXPECT_FALSE(port.Open(c.portName, 9600, 8, ONESTOPBIT, NOPARITY, 2));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastOpenError(), c.expectedError);
  EXPECT_FALSE(device.Held());
  EXPECT_TRUE(device.EventMasks().empty()) << "no reader thread was started";

  // Nothing of the failed attempt is left behind: a sound device opens on the same object.
  device.FailGetState(0);
  device.FailSetState(0);
  EXPECT_TRUE(OpenDefaults());
  EXPECT_EQ(port.LastOpenError(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailingOpen,
    testing::Values(FailedOpen{"MissingDevice", "ttyNONE", [](FakePortDevice&) {}, ENOENT},
                    FailedOpen{"StateUnreadable", kPort,
                               [](FakePortDevice& d) { d.FailGetState(EIO); }, EIO},
                    FailedOpen{"BlockRefused", kPort,
                               [](FakePortDevice& d) { d.FailSetState(EINVAL); }, EINVAL}),
    RowName);

TEST_F(CommPortTest, OpenOnAnOpenPortFailsAndLeavesTheConnectionRunning) {
  FakePortDevice& other = opener.Add("ttyFAKE1");
  ASSERT_TRUE(OpenDefaults());
  EXPECT_FALSE(port.Open("ttyFAKE1", 9600, 8, ONESTOPBIT, NOPARITY, 2));
  EXPECT_EQ(opener.Opens(), 1);
  EXPECT_FALSE(other.Held());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.LastOpenError(), 0);

  device.Raise(EV_RXCHAR, 0, 0, 3);
  ASSERT_TRUE(port.AwaitCalls(1));
  port.Close();
  EXPECT_EQ(port.Calls(), Calls{"RxChar:3"});
  EXPECT_EQ(device.EventMasks(), (std::vector<uint32_t>{kAllEvents, 0})) << "one reader only";
}

TEST_F(CommPortTest, ReopenAfterCloseStartsAFreshReader) {
  ASSERT_TRUE(OpenDefaults());
  ASSERT_TRUE(device.AwaitBlockedWait());
  port.Close();
  EXPECT_FALSE(device.Held());
  ASSERT_TRUE(OpenDefaults());
  EXPECT_TRUE(device.Held());
  device.Raise(EV_BREAK);
  ASSERT_TRUE(port.AwaitCalls(1));
  port.Close();
  EXPECT_EQ(port.Calls(), Calls{"Break"});
  EXPECT_EQ(device.EventMasks(), (std::vector<uint32_t>{kAllEvents, 0, kAllEvents, 0}));
}

// --- Close ---

TEST_F(CommPortTest, CloseOfAClosedPortChangesNothing) {
  EXPECT_FALSE(port.Open("ttyNONE", 9600, 8, ONESTOPBIT, NOPARITY, 2));
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastOpenError(), ENOENT);
  EXPECT_TRUE(device.Log().empty());

  ASSERT_TRUE(OpenDefaults());
  port.Close();
  port.Close();
  EXPECT_EQ(device.Calls(FakeCall::Purge), 1) << "the second Close did nothing";
  EXPECT_FALSE(device.Held());
}

// How the layer ends a wait that Close breaks off: with no events, or with a failure.
class CloseWhileWaiting : public CommPortTest, public testing::WithParamInterface<int> {};

TEST_P(CloseWhileWaiting, EndsTheReaderWithoutCallingAHandler) {
  device.FailCancelledWait(GetParam());
  ASSERT_TRUE(OpenDefaults());
  ASSERT_TRUE(device.AwaitBlockedWait());
  const auto start = Clock::now();
  port.Close();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(port.Calls().empty());
  EXPECT_EQ(CloseCalls(device), (Calls{"Purge", "CancelIo", "SetEventMask:0"}));
  EXPECT_FALSE(device.Held());
}

INSTANTIATE_TEST_SUITE_P(WakeUps, CloseWhileWaiting, testing::Values(0, ECANCELED),
                         [](const auto& row) {
                           return row.param == 0 ? "NoEvents" : "WaitCancelled";
                         });

TEST_F(CommPortTest, CloseReenteredFromThePumpReturnsAtOnce) {
  Gate gate;
  port.rxAction = [&gate](RecordingPort&, uint32_t) { gate.Pass(); };
  ASSERT_TRUE(OpenDefaults());
  device.Raise(EV_RXCHAR, 0, 0, 1);
  ASSERT_TRUE(gate.AwaitWaiter());

  int depth = 0, deepest = 0, pumps = 0;
  bool openInside = false;
  PumpScope pump([&] {
    deepest = std::max(deepest, ++depth);
    ++pumps;
    port.Close();  // a second click on Stop while the first Close waits
    openInside = port.IsOpen();
    gate.Open();
    --depth;
  });
  port.Close();
  EXPECT_GE(pumps, 1);
  EXPECT_EQ(deepest, 1) << "the nested Close waited and pumped again";
  EXPECT_TRUE(openInside) << "the nested Close must leave the work to the outer one";
  EXPECT_FALSE(gate.TimedOut());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(device.Held());
  EXPECT_EQ(device.Calls(FakeCall::Purge), 1);

  // The running flag is sound again: a reopened reader waits instead of ending at once.
  ASSERT_TRUE(OpenDefaults());
  EXPECT_TRUE(device.AwaitBlockedWait());
}

TEST_F(CommPortTest, CloseFromAHandlerDoesNotDeadlock) {
  bool openAfterClose = false;
  port.rxAction = [&openAfterClose](RecordingPort& self, uint32_t) {
    self.Close();
    openAfterClose = self.IsOpen();
  };
  ASSERT_TRUE(OpenDefaults());
  device.Raise(EV_RXCHAR, 0, 0, 1);
  ASSERT_TRUE(port.AwaitCalls(1));
  port.Close();
  EXPECT_TRUE(openAfterClose);
  EXPECT_EQ(device.Calls(FakeCall::Purge), 1);
}

TEST_F(CommPortTest, DestroyingAnOpenPortEndsItsReaderAndFreesTheDevice) {
  auto temporary = std::make_unique<CCommPort>(opener);
  ASSERT_TRUE(temporary->Open(kPort, 9600, 8, ONESTOPBIT, NOPARITY, 2));
  ASSERT_TRUE(device.AwaitBlockedWait());
  temporary.reset();
  EXPECT_FALSE(device.Held());
  EXPECT_EQ(CloseCalls(device), (Calls{"Purge", "CancelIo", "SetEventMask:0"}));
}

// --- Reader thread ---

struct DispatchCase {
  const char* name;
  uint32_t events;
  std::vector<uint32_t> modemStatusPerRead;
  uint32_t errors, queued;
  std::function<void(FakePortDevice&)> breakDevice;
  Calls expected;
};

class Dispatch : public CommPortTest, public testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, CallsEachHandlerOnceInTheFixedOrder) {
  const DispatchCase& c = GetParam();
  if (c.breakDevice) c.breakDevice(device);
  ASSERT_TRUE(OpenDefaults());
  ASSERT_TRUE(device.AwaitBlockedWait());
  device.ScriptModemStatus(c.modemStatusPerRead);
  device.Raise(c.events, 0, c.errors, c.queued);  // one wait sees all of them
  ASSERT_TRUE(port.AwaitCalls(c.expected.size()));
  port.Close();
  EXPECT_EQ(port.Calls(), c.expected);
}

const uint32_t kLineErrors = CE_FRAME | CE_OVERRUN;
const auto kUnreadable = [](FakePortDevice& d) {
  d.FailModemStatus(EIO);
  d.FailClearError(EIO);
};

INSTANTIATE_TEST_SUITE_P(
    Events, Dispatch,
    testing::Values(
        // Each state event reads the status afresh; EV_ERR and EV_RXCHAR each clear errors
        // themselves, so the error word goes to OnLineError and only the count to OnRxChar.
        DispatchCase{"AllNineInOneWait",
                     kAllEvents,
                     {MS_CTS_ON, MS_DSR_ON, 0, MS_RLSD_ON},
                     kLineErrors,
                     42,
                     nullptr,
                     {"Break", "Cts:1", "Dsr:1", "LineError:10", "Ring:0", "Rlsd:1",
                      "RxChar:42", "RxFlag", "TxEmpty"}},
        DispatchCase{"BreakBeforeLineError", EV_ERR | EV_BREAK, {}, CE_BREAK, 0, nullptr,
                     {"Break", "LineError:16"}},
        DispatchCase{"RingFollowsTheRingIndicator", EV_RING, {MS_RING_ON}, 0, 0, nullptr,
                     {"Ring:1"}},
        DispatchCase{"RingIgnoresDsr", EV_RING, {MS_DSR_ON | MS_CTS_ON}, 0, 0, nullptr,
                     {"Ring:0"}},
        DispatchCase{"UnreadableStatusAndErrorsReadAsZero",
                     EV_CTS | EV_DSR | EV_ERR | EV_RING | EV_RLSD | EV_RXCHAR,
                     {0xFF, 0xFF, 0xFF, 0xFF},
                     kLineErrors,
                     9,
                     kUnreadable,
                     {"Cts:0", "Dsr:0", "LineError:0", "Ring:0", "Rlsd:0", "RxChar:0"}}),
    RowName);

TEST_F(CommPortTest, LineErrorAndRxCharEachClearErrorsThemselves) {
  ASSERT_TRUE(OpenDefaults());
  ASSERT_TRUE(device.AwaitBlockedWait());
  device.Raise(EV_ERR | EV_RXCHAR, 0, CE_RXPARITY, 5);
  ASSERT_TRUE(port.AwaitCalls(2));
  port.Close();
  EXPECT_EQ(port.Calls(), (Calls{"LineError:4", "RxChar:5"}));
  EXPECT_EQ(device.Calls(FakeCall::ClearError), 2);
}

TEST_F(CommPortTest, RefusedEventMaskReportsOnceAndCloseDoesNotWaitInVain) {
  device.FailEventMask(EINVAL);
  ASSERT_TRUE(OpenDefaults());
  ASSERT_TRUE(port.AwaitCalls(1));
  int pumps = 0;
  PumpScope pump([&pumps] { ++pumps; });
  const auto start = Clock::now();
  port.Close();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_LE(pumps, 1);
  EXPECT_EQ(port.Calls(), Calls{"ThreadError:1"});
  EXPECT_EQ(device.Calls(FakeCall::WaitEvent), 0);
}

TEST_F(CommPortTest, FailingWaitReportsOnceAndThePortStaysOpenUntilClose) {
  ASSERT_TRUE(OpenDefaults());
  ASSERT_TRUE(device.AwaitBlockedWait());
  device.FailWait(EIO);
  ASSERT_TRUE(port.AwaitCalls(1));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(device.Held());
  port.Close();
  EXPECT_EQ(port.Calls(), Calls{"ThreadError:2"});
  EXPECT_EQ(device.Calls(FakeCall::WaitEvent), 1) << "a failing device must not be retried";
  EXPECT_FALSE(device.Held());
}

// Each Close waits for its own reader only: readers that ended by error elsewhere must not
// release the Close of a port whose reader is still busy in a handler.
TEST(CommPortMany, EachCloseWaitsForItsOwnReader) {
  constexpr int kPorts = 8;
  FakePortOpener opener;
  std::array<std::unique_ptr<RecordingPort>, kPorts> ports;
  std::array<Gate, kPorts> gates;
  const auto name = [](int i) { return "ttyFAKE" + std::to_string(i); };
  for (int i = 0; i < kPorts; ++i) {
    opener.Add(name(i));
    ports[i] = std::make_unique<RecordingPort>(opener);
    ports[i]->rxAction = [&gate = gates[i]](RecordingPort&, uint32_t) { gate.Pass(); };
    ASSERT_TRUE(ports[i]->Open(name(i), 9600, 8, ONESTOPBIT, NOPARITY, 2));
  }
  for (int i = 0; i < kPorts; ++i) {
    FakePortDevice& device = opener.Device(name(i));
    if (i % 2 == 1) {
      device.FailWait(EIO);
      ASSERT_TRUE(ports[i]->AwaitCalls(1));
    } else {
      device.Raise(EV_RXCHAR, 0, 0, 1);
      ASSERT_TRUE(gates[i].AwaitWaiter());
    }
  }

  int closing = -1;
  std::array<int, kPorts> pumps{};
  PumpScope pump([&] {
    ++pumps[closing];
    gates[closing].Open();  // only the port being closed lets its reader go
  });
  for (int i : {0, 7, 2, 5, 4, 3, 6, 1}) {
    closing = i;
    ports[i]->Close();
    EXPECT_FALSE(opener.Device(name(i)).Held()) << name(i);
    EXPECT_FALSE(gates[i].TimedOut()) << name(i) << ": Close did not wait for its reader";
    if (i % 2 == 0) {
      EXPECT_GE(pumps[i], 1) << name(i);
    }
  }
  for (int i = 0; i < kPorts; i += 2) EXPECT_EQ(ports[i]->Calls(), Calls{"RxChar:1"});
  for (int i = 1; i < kPorts; i += 2) EXPECT_EQ(ports[i]->Calls(), Calls{"ThreadError:2"});

  // Reopened in another order, each port runs a reader of its own again.
  for (int i : {5, 2, 7, 0}) {
    opener.Device(name(i)).FailWait(0);
    ASSERT_TRUE(ports[i]->Open(name(i), 9600, 8, ONESTOPBIT, NOPARITY, 2));
  }
  for (int i : {0, 2, 5, 7}) {
    opener.Device(name(i)).Raise(EV_RXFLAG);
    ASSERT_TRUE(ports[i]->AwaitCalls(2)) << name(i);
    EXPECT_EQ(ports[i]->Calls().back(), "RxFlag");
  }
}

// --- Transfers and settings ---

struct ClosedCall {
  const char* name;
  std::function<uint32_t(CCommPort&, std::array<uint8_t, 8>&)> call;
};

class ClosedPort : public CommPortTest, public testing::WithParamInterface<ClosedCall> {};

TEST_P(ClosedPort, RefusesAndLeavesTheBufferAlone) {
  std::array<uint8_t, 8> buffer;
  buffer.fill(0xAB);
  EXPECT_EQ(GetParam().call(port, buffer), 0u);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xAB; }));
  EXPECT_TRUE(device.Log().empty());
}

const CommTimeouts kTimeouts{0, 0, 300, 0, 300};

INSTANTIATE_TEST_SUITE_P(
    Operations, ClosedPort,
    testing::Values(
        ClosedCall{"Read", [](CCommPort& p, auto& b) { return p.Read(b.data(), 8); }},
        ClosedCall{"Write", [](CCommPort& p, auto& b) { return p.Write(b.data(), 8); }},
        ClosedCall{"SetTimeouts", [](CCommPort& p, auto&) { return +p.SetTimeouts(&kTimeouts); }},
        ClosedCall{"SetBaudRate", [](CCommPort& p, auto&) { return +p.SetBaudRate(9600); }},
        ClosedCall{"SetByteSize", [](CCommPort& p, auto&) { return +p.SetByteSize(8); }},
        ClosedCall{"SetParity", [](CCommPort& p, auto&) { return +p.SetParity(0); }},
        ClosedCall{"SetStopBits", [](CCommPort& p, auto&) { return +p.SetStopBits(0); }},
        ClosedCall{"SetFlowControl", [](CCommPort& p, auto&) { return +p.SetFlowControl(0); }}),
    RowName);

struct SetterCase {
  const char* name;
  std::function<bool(CCommPort&)> set;
  std::function<void(ControlBlock&)> expectedChange;
};

class Setter : public CommPortTest, public testing::WithParamInterface<SetterCase> {};

TEST_P(Setter, ChangesExactlyItsFieldOfTheOpenPort) {
  ASSERT_TRUE(OpenDefaults());
  ControlBlock expected = device.State();
  GetParam().expectedChange(expected);
  EXPECT_TRUE(GetParam().set(port));
  EXPECT_EQ(device.State(), expected);
  EXPECT_EQ(device.AppliedBlocks().size(), 2u) << "the block is applied even when unchanged";
}

TEST_P(Setter, ReportsADeviceThatCannotBeReadOrRefuses) {
  ASSERT_TRUE(OpenDefaults());
  const ControlBlock before = device.State();
  device.FailGetState(EIO);
  EXPECT_FALSE(GetParam().set(port));
  EXPECT_EQ(device.Calls(FakeCall::SetState), 1) << "nothing applied without reading first";
  device.FailGetState(0);
  device.FailSetState(EINVAL);
  EXPECT_FALSE(GetParam().set(port));
  EXPECT_EQ(device.State(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Setter,
    testing::Values(
        SetterCase{"BaudRate", [](CCommPort& p) { return p.SetBaudRate(14400); },
                   [](ControlBlock& b) { b.BaudRate = 14400; }},
        SetterCase{"ByteSize", [](CCommPort& p) { return p.SetByteSize(6); },
                   [](ControlBlock& b) { b.ByteSize = 6; }},
        SetterCase{"ParityWithoutRangeTest", [](CCommPort& p) { return p.SetParity(7); },
                   [](ControlBlock& b) { b.Parity = 7; }},
        SetterCase{"StopBitsOneAndAHalf", [](CCommPort& p) { return p.SetStopBits(1); },
                   [](ControlBlock& b) { b.StopBits = ONE5STOPBITS; }},
        // From "Hardware": the handshakes go, DTR and RTS are raised, other bits stay.
        SetterCase{"FlowNone", [](CCommPort& p) { return p.SetFlowControl(0); },
                   [](ControlBlock& b) { b.flags = (b.flags & ~0x232Cu) | 0x1010u; }},
        SetterCase{"FlowXonXoff", [](CCommPort& p) { return p.SetFlowControl(1); },
                   [](ControlBlock& b) { b.flags = (b.flags & ~0x202Cu) | 0x1310u; }},
        SetterCase{"FlowOutOfTable", [](CCommPort& p) { return p.SetFlowControl(3); },
                   [](ControlBlock&) {}}),
    RowName);

struct TransferCase {
  const char* name;
  int failure;
  bool write;
  uint32_t expected;
  std::vector<uint8_t> expectedBytes;
};

class Transfer : public CommPortTest, public testing::WithParamInterface<TransferCase> {};

TEST_P(Transfer, ReportsTheBytesThatMoved) {
  const TransferCase& c = GetParam();
  ASSERT_TRUE(OpenDefaults());
  std::array<uint8_t, 8> buffer{};
  if (c.write) {
    device.FailWrite(c.failure);
    const std::array<uint8_t, 4> bytes{1, 2, 3, 4};
    EXPECT_EQ(port.Write(bytes.data(), 4), c.expected);
    EXPECT_EQ(device.Written(), c.expectedBytes);
  } else {
    device.Feed({0x00, 0xFF, 0x11});
    device.FailRead(c.failure);
    EXPECT_EQ(port.Read(buffer.data(), 8), c.expected);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.expected), c.expectedBytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Transfer,
    testing::Values(TransferCase{"Read", 0, false, 3, {0x00, 0xFF, 0x11}},
                    // What arrived before the failure still reaches the caller.
                    TransferCase{"ReadFailingAfterPart", EIO, false, 3, {0x00, 0xFF, 0x11}},
                    TransferCase{"Write", 0, true, 4, {1, 2, 3, 4}},
                    TransferCase{"WriteFailing", EIO, true, 0, {1, 2}}),
    RowName);

TEST_F(CommPortTest, SetTimeoutsReachesTheOpenDeviceAndRefusesNoTimeouts) {
  ASSERT_TRUE(OpenDefaults());
  EXPECT_TRUE(port.SetTimeouts(&kTimeouts));
  EXPECT_FALSE(port.SetTimeouts(nullptr));
  EXPECT_EQ(device.Calls(FakeCall::SetTimeouts), 1);
}

}  // namespace
