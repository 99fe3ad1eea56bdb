// The rules between our control block and the kernel's termios2 record, without a device.
#include "serial/termios2_line.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace serial {
namespace {

ControlBlock Block(uint8_t byteSize, uint8_t parity, uint8_t stopBits, uint32_t rate = 9600) {
  ControlBlock block;
  block.BaudRate = rate;
  block.ByteSize = byteSize;
  block.Parity = parity;
  block.StopBits = stopBits;
  return block;
}

constexpr uint32_t kFrameBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

struct FrameCase {
  uint8_t byteSize, parity, stopBits;
  uint32_t bits;
};

class FrameEncoding : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameEncoding, SetsTheFrameBitsAndDecodesBackToTheSameFrame) {
  const FrameCase& c = GetParam();
  const ControlBlock block = Block(c.byteSize, c.parity, c.stopBits);
  LineImage image;
  EncodeBlock(block, image);
  EXPECT_EQ(image.controlFlags & kFrameBits, c.bits);
  ControlBlock decoded;
  DecodeImage(image, true, decoded);
  EXPECT_EQ(decoded.ByteSize, c.byteSize);
  EXPECT_EQ(decoded.Parity, c.parity);
  EXPECT_EQ(decoded.StopBits, c.stopBits);
  EXPECT_EQ(decoded.BaudRate, 9600u);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameEncoding,
    testing::Values(FrameCase{8, NOPARITY, ONESTOPBIT, CS8},
                    FrameCase{7, EVENPARITY, ONESTOPBIT, CS7 | PARENB},
                    FrameCase{7, ODDPARITY, TWOSTOPBITS, CS7 | PARENB | PARODD | CSTOPB},
                    FrameCase{8, MARKPARITY, ONESTOPBIT, CS8 | PARENB | PARODD | CMSPAR},
                    FrameCase{8, SPACEPARITY, ONESTOPBIT, CS8 | PARENB | CMSPAR},
                    FrameCase{5, NOPARITY, ONE5STOPBITS, CS5 | CSTOPB},
                    FrameCase{6, NOPARITY, TWOSTOPBITS, CS6 | CSTOPB}));

TEST(RawMode, NothingAltersOrInjectsBytesAndReadsReturnOnOneByte) {
  LineImage cooked;
  cooked.inputFlags = ~0u;
  cooked.outputFlags = ~0u;
  cooked.localFlags = ~0u;
  cooked.controlFlags = HUPCL;
  cooked.chars[VMIN] = 0;
  cooked.chars[VTIME] = 5;
  EncodeBlock(Block(8, NOPARITY, ONESTOPBIT), cooked);
  const uint32_t alteringInput =
      BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
  EXPECT_EQ(cooked.inputFlags & alteringInput, 0u);
  EXPECT_NE(cooked.inputFlags & IGNBRK, 0u) << "a break must not arrive as a NUL byte";
  EXPECT_EQ(cooked.outputFlags & OPOST, 0u);
  EXPECT_EQ(cooked.localFlags & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(cooked.controlFlags & (CLOCAL | CREAD | HUPCL), CLOCAL | CREAD | HUPCL);
  EXPECT_EQ(cooked.chars[VMIN], 1);
  EXPECT_EQ(cooked.chars[VTIME], 0);
}

struct FlowCase {
  uint8_t choice;
  uint32_t controlBits, inputBits;
};

class FlowEncoding : public testing::TestWithParam<FlowCase> {};

TEST_P(FlowEncoding, MapsOntoRtsCtsAndXonXoffAndReadsBackAsWritten) {
  ControlBlock block = Block(8, NOPARITY, ONESTOPBIT);
  block.XonChar = 0x21;
  block.XoffChar = 0x23;
  ApplyFlowControl(block, GetParam().choice);
  LineImage image;
  EncodeBlock(block, image);
  EXPECT_EQ(image.controlFlags & CRTSCTS, GetParam().controlBits);
  EXPECT_EQ(image.inputFlags & (IXON | IXOFF), GetParam().inputBits);
  EXPECT_EQ(image.chars[VSTART], 0x21);
  EXPECT_EQ(image.chars[VSTOP], 0x23);
  ControlBlock decoded = block;
  decoded.flags = 0;
  ApplyFlowControl(decoded, GetParam().choice);  // as kept by the device
  DecodeImage(image, true, decoded);
  EXPECT_EQ(decoded, block);
}

INSTANTIATE_TEST_SUITE_P(Choices, FlowEncoding,
                         testing::Values(FlowCase{0, 0, 0}, FlowCase{1, 0, IXON | IXOFF},
                                         FlowCase{2, CRTSCTS, 0}));

TEST(FlowDecoding, FollowsTheKernelWhenTheRtsCtsSwitchChangedBehindTheBlock) {
  ControlBlock kept = Block(8, NOPARITY, ONESTOPBIT);
  ApplyFlowControl(kept, 0);
  LineImage image;
  EncodeBlock(kept, image);
  image.controlFlags |= CRTSCTS;
  DecodeImage(image, true, kept);
  EXPECT_TRUE(kept.Has(dcb_flag::fOutxCtsFlow));
  EXPECT_EQ(kept.RtsControl(), RTS_CONTROL_HANDSHAKE);
}

TEST(Decoding, LeavesTheFrameAloneWhenTheDriverForcesIt) {
  ControlBlock kept = Block(5, MARKPARITY, ONE5STOPBITS);
  LineImage image;
  EncodeBlock(Block(8, NOPARITY, ONESTOPBIT, 115200), image);
  DecodeImage(image, false, kept);
  EXPECT_EQ(kept.ByteSize, 5);
  EXPECT_EQ(kept.Parity, MARKPARITY);
  EXPECT_EQ(kept.StopBits, ONE5STOPBITS);
  EXPECT_EQ(kept.BaudRate, 115200u);
}

struct CheckCase {
  ControlBlock block;
  bool valid;
};

class BlockCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(BlockCheck, RefusesWhatNoLineCanCarry) {
  EXPECT_EQ(CheckBlock(GetParam().block), GetParam().valid ? 0 : EINVAL);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlockCheck,
                         testing::Values(CheckCase{Block(8, NOPARITY, ONESTOPBIT), true},
                                         CheckCase{Block(8, SPACEPARITY, TWOSTOPBITS, 256000),
                                                   true},
                                         CheckCase{Block(5, NOPARITY, ONE5STOPBITS, 100), true},
                                         CheckCase{Block(6, MARKPARITY, TWOSTOPBITS), true},
                                         CheckCase{Block(8, NOPARITY, ONESTOPBIT, 0), false},
                                         CheckCase{Block(9, NOPARITY, ONESTOPBIT), false},
                                         CheckCase{Block(4, NOPARITY, ONESTOPBIT), false},
                                         CheckCase{Block(8, 5, ONESTOPBIT), false},
                                         CheckCase{Block(8, NOPARITY, 3), false},
                                         CheckCase{Block(8, NOPARITY, ONE5STOPBITS), false},
                                         CheckCase{Block(6, NOPARITY, ONE5STOPBITS), false},
                                         CheckCase{Block(5, NOPARITY, TWOSTOPBITS), false}));

struct RateCase {
  uint32_t wanted, actual;
  bool match;
};

class RateTolerance : public testing::TestWithParam<RateCase> {};

TEST_P(RateTolerance, AcceptsWithinTwoPercent) {
  EXPECT_EQ(RatesMatch(GetParam().wanted, GetParam().actual), GetParam().match);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateTolerance,
                         testing::Values(RateCase{9600, 9600, true}, RateCase{9600, 9792, true},
                                         RateCase{9600, 9793, false}, RateCase{9600, 9408, true},
                                         RateCase{9600, 9407, false}, RateCase{100, 102, true},
                                         RateCase{100, 103, false}, RateCase{256000, 0, false},
                                         RateCase{4000000000u, 4000000000u, true}));

struct ReadBackCase {
  const char* name;
  void (*driverChange)(LineImage&);
  bool appliedOnUart, appliedOnPseudoTerminal;
};

class ReadBack : public testing::TestWithParam<ReadBackCase> {};

TEST_P(ReadBack, JudgesWhatTheDriverKept) {
  ControlBlock block = Block(7, MARKPARITY, TWOSTOPBITS, 14400);
  ApplyFlowControl(block, 2);
  LineImage wanted;
  EncodeBlock(block, wanted);
  LineImage actual = wanted;
  GetParam().driverChange(actual);
  EXPECT_EQ(ImageApplied(wanted, actual, false), GetParam().appliedOnUart);
  EXPECT_EQ(ImageApplied(wanted, actual, true), GetParam().appliedOnPseudoTerminal);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ReadBack,
    testing::Values(
        ReadBackCase{"Nothing", [](LineImage&) {}, true, true},
        ReadBackCase{"NearestRate", [](LineImage& i) { i.outputRate = i.inputRate = 14406; }, true,
                     true},
        ReadBackCase{"InputRateLeftAsOutput", [](LineImage& i) { i.inputRate = 0; }, true, true},
        ReadBackCase{"RateFarOff", [](LineImage& i) { i.outputRate = i.inputRate = 9600; }, false,
                     false},
        ReadBackCase{
            "EightBitsNoParityForced",
            [](LineImage& i) { i.controlFlags = (i.controlFlags & ~(CSIZE | PARENB)) | CS8; },
            false, true},
        ReadBackCase{"StickParityDropped", [](LineImage& i) { i.controlFlags &= ~CMSPAR; }, false,
                     false},
        ReadBackCase{"StopBitsDropped", [](LineImage& i) { i.controlFlags &= ~CSTOPB; }, false,
                     false},
        ReadBackCase{"RtsCtsDropped", [](LineImage& i) { i.controlFlags &= ~CRTSCTS; }, false,
                     false},
        ReadBackCase{"XonXoffAdded", [](LineImage& i) { i.inputFlags |= IXON; }, false, false}),
    [](const testing::TestParamInfo<ReadBackCase>& testCase) { return testCase.param.name; });

}  // namespace
}  // namespace serial
