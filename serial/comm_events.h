#pragma once
// Line events, modem status bits and line error bits, with the platform's values.

#include <cstdint>

namespace serial {

inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;
inline constexpr uint32_t kAllEvents = 0x01FF;

inline constexpr uint32_t MS_CTS_ON = 0x0010;
inline constexpr uint32_t MS_DSR_ON = 0x0020;
inline constexpr uint32_t MS_RING_ON = 0x0040;
inline constexpr uint32_t MS_RLSD_ON = 0x0080;

inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;

// Read and write timeouts in milliseconds; a read returns when the asked count has arrived
// or ReadTotalTimeoutConstant (+ multiplier x count) has passed.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

}  // namespace serial
