#pragma once
// The kernel's line settings (termios2) in plain types, and the rules that turn a control
// block into them and back. Only termios2_line.cpp sees the kernel's <asm/termbits.h>, which
// cannot live beside the C library's <termios.h>; everything else uses these functions.

#include <array>
#include <cstdint>

#include "serial/control_block.h"

namespace serial {

// One termios2 record, field for field.
struct LineImage {
  uint32_t inputFlags = 0;
  uint32_t outputFlags = 0;
  uint32_t controlFlags = 0;
  uint32_t localFlags = 0;
  uint8_t discipline = 0;
  std::array<uint8_t, 19> chars{};
  uint32_t inputRate = 0;
  uint32_t outputRate = 0;
};

// TCGETS2 / TCSETS2; 0 or the errno.
int ReadLine(int fd, LineImage& image);
int ApplyLine(int fd, const LineImage& image);

// 0, or EINVAL for a block that no line can carry: rate 0 (on Linux it hangs the line up),
// byte size outside 5..8, parity above SPACEPARITY, stop bits above TWOSTOPBITS, and the
// stop-bit combinations a UART cannot make. A UART sends 1.5 stop bits only as "two stop
// bits" with 5 data bits, so ONE5STOPBITS needs 5 data bits and TWOSTOPBITS needs 6 to 8.
int CheckBlock(const ControlBlock& block);

// Puts the block's rate (as a plain number, any rate), frame, flow control and flow
// characters into the image, and makes the line raw: no echo, no canonical input, no CR/LF
// translation, no output processing, no parity marking or stripping, breaks ignored rather
// than read as NUL, receiver on, modem control off. Reads return once one byte is there.
void EncodeBlock(const ControlBlock& block, LineImage& image);

// Overwrites the block's fields that termios holds: rate, flow control, XonChar, XoffChar
// and, when frameFromImage, ByteSize, Parity and StopBits. Every other field stays.
void DecodeImage(const LineImage& image, bool frameFromImage, ControlBlock& block);

// Whether the driver kept what `wanted` asked for, judged on the record read back: rates
// within the kernel's own 2 % tolerance, and frame and flow-control bits. A driver that
// forces its own frame (pseudo-terminals: always 8 data bits, no parity) is not held to
// byte size and parity.
bool ImageApplied(const LineImage& wanted, const LineImage& actual, bool frameForced);
bool RatesMatch(uint32_t wanted, uint32_t actual);

}  // namespace serial
