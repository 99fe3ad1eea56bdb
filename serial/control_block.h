#pragma once
// Our device control block: the fields of the platform record that line settings touch or
// must keep, with the flag word's bits at the same positions, so each rule is testable bit
// for bit. Ports are always reconfigured by reading a block, changing fields, applying it.

#include <cstdint>

namespace serial {

inline constexpr uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3,
                         SPACEPARITY = 4;
inline constexpr uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;
inline constexpr uint32_t DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1,
                          DTR_CONTROL_HANDSHAKE = 2;
inline constexpr uint32_t RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1,
                          RTS_CONTROL_HANDSHAKE = 2, RTS_CONTROL_TOGGLE = 3;

// Bit positions of the flag word.
namespace dcb_flag {
inline constexpr uint32_t fBinary = 1u << 0;
inline constexpr uint32_t fParity = 1u << 1;
inline constexpr uint32_t fOutxCtsFlow = 1u << 2;
inline constexpr uint32_t fOutxDsrFlow = 1u << 3;
inline constexpr uint32_t fDtrControlShift = 4;  // two bits
inline constexpr uint32_t fDtrControlMask = 3u << fDtrControlShift;
inline constexpr uint32_t fDsrSensitivity = 1u << 6;
inline constexpr uint32_t fTXContinueOnXoff = 1u << 7;
inline constexpr uint32_t fOutX = 1u << 8;
inline constexpr uint32_t fInX = 1u << 9;
inline constexpr uint32_t fErrorChar = 1u << 10;
inline constexpr uint32_t fNull = 1u << 11;
inline constexpr uint32_t fRtsControlShift = 12;  // two bits
inline constexpr uint32_t fRtsControlMask = 3u << fRtsControlShift;
inline constexpr uint32_t fAbortOnError = 1u << 14;
}  // namespace dcb_flag

struct ControlBlock {
  uint32_t BaudRate = 0;
  uint32_t flags = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 8;
  uint8_t Parity = NOPARITY;
  uint8_t StopBits = ONESTOPBIT;
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;

  bool Has(uint32_t flag) const { return (flags & flag) != 0; }
  uint32_t DtrControl() const {
    return (flags & dcb_flag::fDtrControlMask) >> dcb_flag::fDtrControlShift;
  }
  uint32_t RtsControl() const {
    return (flags & dcb_flag::fRtsControlMask) >> dcb_flag::fRtsControlShift;
  }
  bool operator==(const ControlBlock&) const = default;
};

// Sets the six flow-control fields for choice 0 "None", 1 "Xon\Xoff" or 2 "Hardware";
// any other choice leaves the block as it is.
void ApplyFlowControl(ControlBlock& block, uint8_t flowChoice);

// The rule used when a port opens: baud rate, byte size and parity are written whatever they
// are; stop bits only when 0 to 2; the flow-control pattern only for choices 0 to 2.
void ApplyOpeningSettings(ControlBlock& block, uint32_t baudRate, uint8_t byteSize,
                          uint8_t stopBits, uint8_t parity, uint8_t flowChoice);

}  // namespace serial
