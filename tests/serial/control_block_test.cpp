// The rules that turn line choices into control-block fields.
#include "serial/control_block.h"

#include <gtest/gtest.h>

#include <string>

#include "serial/line_settings.h"

namespace serial {
namespace {

constexpr uint32_t kFlowFields = 0x333C;  // the six flow-control fields of the flag word

struct FlowCase {
  uint8_t choice;
  uint32_t cleared;
  uint32_t set;
};

class FlowControlPattern : public testing::TestWithParam<FlowCase> {};

TEST_P(FlowControlPattern, ClearsAndSetsItsBitsAndKeepsEveryOtherBit) {
  const FlowCase c = GetParam();
  for (uint32_t before : {0u, 0xFFFFFFFFu, 0x00004081u, 0x0000BEEFu}) {
    ControlBlock block;
    block.flags = before;
    ApplyFlowControl(block, c.choice);
    EXPECT_EQ(block.flags, (before & ~c.cleared) | c.set) << "flags before " << std::hex << before;
    EXPECT_EQ(block.flags & ~kFlowFields, before & ~kFlowFields);
  }
}

INSTANTIATE_TEST_SUITE_P(Choices, FlowControlPattern,
                         testing::Values(FlowCase{0, 0x232C, 0x1010}, FlowCase{1, 0x202C, 0x1310},
                                         FlowCase{2, 0x1310, 0x202C}),
                         [](const testing::TestParamInfo<FlowCase>& flow) {
                           return "Choice" + std::to_string(flow.param.choice);
                         });

TEST(FlowControl, ChoiceOutsideTheTableChangesNothing) {
  for (int choice : {3, 7, 255}) {
    ControlBlock block;
    block.flags = 0x1234ABCD;
    ApplyFlowControl(block, static_cast<uint8_t>(choice));
    EXPECT_EQ(block.flags, 0x1234ABCDu);
  }
}

TEST(FlowControl, HardwareToNoneRaisesDtrAndRtsAndDropsTheHandshakes) {
  ControlBlock block;
  block.flags = dcb_flag::fBinary | dcb_flag::fAbortOnError;
  ApplyFlowControl(block, 2);
  ApplyFlowControl(block, 0);
  EXPECT_FALSE(block.Has(dcb_flag::fOutxCtsFlow));
  EXPECT_FALSE(block.Has(dcb_flag::fOutxDsrFlow));
  EXPECT_EQ(block.DtrControl(), DTR_CONTROL_ENABLE);
  EXPECT_EQ(block.RtsControl(), RTS_CONTROL_ENABLE);
  EXPECT_EQ(block.flags & ~kFlowFields, dcb_flag::fBinary | dcb_flag::fAbortOnError);
}

TEST(OpeningSettings, DefaultsGiveNineSixHundredEightNoneOneAndBothHandshakes) {
  const LineSettings defaults;
  ControlBlock block;
  ApplyOpeningSettings(block, static_cast<uint32_t>(defaults.baudRate),
                       ByteSizeOf(defaults.dataBits), Low8(defaults.stopBits),
                       Low8(defaults.parity), Low8(defaults.flowControl));
  EXPECT_EQ(block.BaudRate, 9600u);
  EXPECT_EQ(block.ByteSize, 8);
  EXPECT_EQ(block.Parity, NOPARITY);
  EXPECT_EQ(block.StopBits, ONESTOPBIT);
  EXPECT_TRUE(block.Has(dcb_flag::fOutxCtsFlow));
  EXPECT_TRUE(block.Has(dcb_flag::fOutxDsrFlow));
  EXPECT_EQ(block.DtrControl(), DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(block.RtsControl(), RTS_CONTROL_HANDSHAKE);
  EXPECT_FALSE(block.Has(dcb_flag::fOutX));
  EXPECT_FALSE(block.Has(dcb_flag::fInX));
}

TEST(OpeningSettings, OutOfTableStopBitsAndFlowKeepThePortsOwnValues) {
  ControlBlock port;
  port.StopBits = TWOSTOPBITS;
  port.flags = 0x0000A5A5;
  ControlBlock block = port;
  ApplyOpeningSettings(block, 19200, 7, /*stopBits=*/3, /*parity=*/EVENPARITY, /*flow=*/3);
  EXPECT_EQ(block.StopBits, TWOSTOPBITS);
  EXPECT_EQ(block.flags, port.flags);
  EXPECT_EQ(block.BaudRate, 19200u);
  EXPECT_EQ(block.ByteSize, 7);
  EXPECT_EQ(block.Parity, EVENPARITY);
}

TEST(OpeningSettings, ByteSizeAndParityAreWrittenUnchecked) {
  ControlBlock block;
  ApplyOpeningSettings(block, 9600, ByteSizeOf(4), 0, /*parity=*/9, 2);
  EXPECT_EQ(block.ByteSize, 9);
  EXPECT_EQ(block.Parity, 9);
}

TEST(LineSettings, OnlyTheLowEightBitsOfAStoredChoiceTravel) {
  EXPECT_EQ(Low8(256 + 2), 2);
  EXPECT_EQ(Low8(-1), 255);
  EXPECT_EQ(ByteSizeOf(3), 8);
  EXPECT_EQ(ByteSizeOf(256 + 3), 8);
}

TEST(LineSettings, TablesHoldTheTextsInListOrder) {
  EXPECT_EQ(g_szBaudRates.front(), "100");
  EXPECT_EQ(g_szBaudRates[kDefaultBaudIndex], "9600");
  EXPECT_EQ(g_szBaudRates.back(), "256000");
  EXPECT_EQ(g_szStopBits[1], "1,5");
  EXPECT_EQ(g_szFlowControls[1], "Xon\\Xoff");
  EXPECT_EQ(g_szParities[4], "Space");
  EXPECT_EQ(g_szDataBits[kDefaultDataBitsIndex], "8");
  EXPECT_EQ(g_szFlowControls[kDefaultFlowControlIndex], "Hardware");
}

}  // namespace
}  // namespace serial
