// The only file that includes <asm/termbits.h>: it defines its own struct termios, which
// clashes with <termios.h>, and it alone offers termios2 with BOTHER for arbitrary rates.
#include "serial/termios2_line.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "serial/sys_error.h"

namespace serial {

namespace {

static_assert(std::tuple_size_v<decltype(LineImage::chars)> == NCCS);

constexpr tcflag_t kRawInputOff = IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                  IGNCR | ICRNL | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8;
constexpr tcflag_t kRawLocalOff =
    ISIG | ICANON | XCASE | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | IEXTEN;
constexpr tcflag_t kFrameBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
constexpr tcflag_t kRateBits = CBAUD | (CBAUD << IBSHIFT);
constexpr tcflag_t kAnyRate = BOTHER | (BOTHER << IBSHIFT);

constexpr tcflag_t kSizeBits[] = {CS5, CS6, CS7, CS8};  // byte size 5 to 8
constexpr tcflag_t kParityBits[] = {
    0,                         // NOPARITY
    PARENB | PARODD,           // ODDPARITY
    PARENB,                    // EVENPARITY
    PARENB | PARODD | CMSPAR,  // MARKPARITY: stick parity, always 1
    PARENB | CMSPAR,           // SPACEPARITY: stick parity, always 0
};

// termios has one switch for both hardware handshakes: RTS/CTS.
bool WantsRtsCts(const ControlBlock& block) {
  return block.Has(dcb_flag::fOutxCtsFlow) || block.RtsControl() == RTS_CONTROL_HANDSHAKE;
}

void SetFlag(ControlBlock& block, uint32_t flag, bool on) {
  block.flags = on ? (block.flags | flag) : (block.flags & ~flag);
}

void SetRtsControl(ControlBlock& block, uint32_t control) {
  block.flags =
      (block.flags & ~dcb_flag::fRtsControlMask) | (control << dcb_flag::fRtsControlShift);
}

tcflag_t FrameBits(const ControlBlock& block) {
  return kSizeBits[block.ByteSize - 5] | kParityBits[block.Parity] |
         (block.StopBits == ONESTOPBIT ? 0 : CSTOPB);
}

void DecodeFrame(tcflag_t cflag, ControlBlock& block) {
  const auto* size = std::find(std::begin(kSizeBits), std::end(kSizeBits), cflag & CSIZE);
  block.ByteSize = static_cast<uint8_t>(5 + (size - std::begin(kSizeBits)));
  const tcflag_t parity = (cflag & PARENB) ? (cflag & (PARENB | PARODD | CMSPAR)) : 0;
  const auto* kind = std::find(std::begin(kParityBits), std::end(kParityBits), parity);
  block.Parity = static_cast<uint8_t>(kind - std::begin(kParityBits));
  if (!(cflag & CSTOPB))
    block.StopBits = ONESTOPBIT;
  else
    block.StopBits = block.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

// Only a change of the RTS/CTS switch since the block was applied rewrites the two hardware
// handshake fields, so a block reads back as it was written.
void DecodeFlow(const termios2& line, ControlBlock& block) {
  const bool rtsCts = (line.c_cflag & CRTSCTS) != 0;
  if (rtsCts != WantsRtsCts(block)) {
    SetFlag(block, dcb_flag::fOutxCtsFlow, rtsCts);
    SetRtsControl(block, rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE);
  }
  SetFlag(block, dcb_flag::fOutX, (line.c_iflag & IXON) != 0);
  SetFlag(block, dcb_flag::fInX, (line.c_iflag & IXOFF) != 0);
}

termios2 ToKernel(const LineImage& image) {
  termios2 line{};
  line.c_iflag = image.inputFlags;
  line.c_oflag = image.outputFlags;
  line.c_cflag = image.controlFlags;
  line.c_lflag = image.localFlags;
  line.c_line = image.discipline;
  std::copy(image.chars.begin(), image.chars.end(), line.c_cc);
  line.c_ispeed = image.inputRate;
  line.c_ospeed = image.outputRate;
  return line;
}

LineImage FromKernel(const termios2& line) {
  LineImage image;
  image.inputFlags = line.c_iflag;
  image.outputFlags = line.c_oflag;
  image.controlFlags = line.c_cflag;
  image.localFlags = line.c_lflag;
  image.discipline = line.c_line;
  std::copy(std::begin(line.c_cc), std::end(line.c_cc), image.chars.begin());
  image.inputRate = line.c_ispeed;
  image.outputRate = line.c_ospeed;
  return image;
}

}  // namespace

int ReadLine(int fd, LineImage& image) {
  termios2 line{};
  if (ioctl(fd, TCGETS2, &line) != 0) return LastError();
  image = FromKernel(line);
  return 0;
}

int ApplyLine(int fd, const LineImage& image) {
  const termios2 line = ToKernel(image);
  return ioctl(fd, TCSETS2, &line) == 0 ? 0 : LastError();
}

int CheckBlock(const ControlBlock& block) {
  const bool valid = block.BaudRate != 0 && block.ByteSize >= 5 && block.ByteSize <= 8 &&
                     block.Parity <= SPACEPARITY && block.StopBits <= TWOSTOPBITS &&
                     (block.StopBits != ONE5STOPBITS || block.ByteSize == 5) &&
                     (block.StopBits != TWOSTOPBITS || block.ByteSize != 5);
  return valid ? 0 : EINVAL;
}

void EncodeBlock(const ControlBlock& block, LineImage& image) {
  termios2 line = ToKernel(image);
  line.c_iflag = (line.c_iflag & ~kRawInputOff) | IGNBRK | (block.Has(dcb_flag::fOutX) ? IXON : 0) |
                 (block.Has(dcb_flag::fInX) ? IXOFF : 0);
  line.c_oflag &= ~OPOST;
  line.c_lflag &= ~kRawLocalOff;
  line.c_cflag = (line.c_cflag & ~(kFrameBits | CRTSCTS | kRateBits)) | CLOCAL | CREAD |
                 FrameBits(block) | (WantsRtsCts(block) ? CRTSCTS : 0) | kAnyRate;
  line.c_cc[VMIN] = 1;
  line.c_cc[VTIME] = 0;
  line.c_cc[VSTART] = static_cast<cc_t>(block.XonChar);
  line.c_cc[VSTOP] = static_cast<cc_t>(block.XoffChar);
  line.c_ispeed = line.c_ospeed = block.BaudRate;
  image = FromKernel(line);
}

void DecodeImage(const LineImage& image, bool frameFromImage, ControlBlock& block) {
  const termios2 line = ToKernel(image);
  block.BaudRate = line.c_ospeed;
  if (frameFromImage) DecodeFrame(line.c_cflag, block);
  DecodeFlow(line, block);
  block.XonChar = static_cast<char>(line.c_cc[VSTART]);
  block.XoffChar = static_cast<char>(line.c_cc[VSTOP]);
}

bool RatesMatch(uint32_t wanted, uint32_t actual) {
  const int64_t difference = std::llabs(int64_t{wanted} - int64_t{actual});
  return difference * 50 <= int64_t{wanted};
}

bool ImageApplied(const LineImage& wanted, const LineImage& actual, bool frameForced) {
  // A driver may leave the input rate 0, meaning "same as output".
  const uint32_t actualInput = actual.inputRate != 0 ? actual.inputRate : actual.outputRate;
  const tcflag_t checkedControl = (kFrameBits | CRTSCTS) & ~(frameForced ? CSIZE | PARENB : 0);
  const tcflag_t checkedInput = IXON | IXOFF;
  return RatesMatch(wanted.outputRate, actual.outputRate) &&
         RatesMatch(wanted.inputRate, actualInput) &&
         ((wanted.controlFlags ^ actual.controlFlags) & checkedControl) == 0 &&
         ((wanted.inputFlags ^ actual.inputFlags) & checkedInput) == 0;
}

}  // namespace serial
