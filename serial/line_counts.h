#pragma once
// The driver's counters of modem-line changes and line errors (TIOCGICOUNT), and what a
// change of them means as line events (EV_*) and as line error flags (CE_*).

#include <cstdint>
#include <string>

namespace serial {

struct LineCounts {
  uint32_t cts = 0;
  uint32_t dsr = 0;
  uint32_t ring = 0;
  uint32_t carrier = 0;
  uint32_t frame = 0;
  uint32_t overrun = 0;
  uint32_t parity = 0;
  uint32_t breaks = 0;
  uint32_t bufferOverrun = 0;
  bool operator==(const LineCounts&) const = default;
};

// Line errors by kind, counted over a stretch of time.
struct LineErrorCounts {
  uint32_t overrun = 0;
  uint32_t bufferOverrun = 0;
  uint32_t frame = 0;
  uint32_t parity = 0;
  uint32_t breaks = 0;
  LineErrorCounts& operator+=(const LineErrorCounts& more);
  bool operator==(const LineErrorCounts&) const = default;
};

// "3 overruns, 1 framing": each kind that occurred, in a fixed order; empty for none.
std::string LineErrorsText(const LineErrorCounts& counts);

// How many errors of each kind the driver counted between the two readings.
LineErrorCounts ErrorCountsBetween(const LineCounts& before, const LineCounts& after);

// 0 or the errno; drivers without counters (pseudo-terminals) fail with ENOTTY or EINVAL.
int ReadLineCounts(int fd, LineCounts& counts);

// The events whose counters moved between the two readings.
uint32_t EventsBetween(const LineCounts& before, const LineCounts& after);
// The CE_* flags of the error counters that moved between the two readings.
uint32_t ErrorsBetween(const LineCounts& before, const LineCounts& after);

}  // namespace serial
