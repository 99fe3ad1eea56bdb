#include "serial/line_counts.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <initializer_list>

#include "serial/comm_events.h"
#include "serial/sys_error.h"

namespace serial {

namespace {

uint32_t Counter(int value) { return static_cast<uint32_t>(value); }

// One counter and the bit it raises when it moves.
struct CounterBit {
  uint32_t LineCounts::*counter;
  uint32_t bit;
};

uint32_t BitsOfMoved(const LineCounts& before, const LineCounts& after,
                     std::initializer_list<CounterBit> table) {
  uint32_t bits = 0;
  for (const CounterBit& entry : table)
    if (before.*entry.counter != after.*entry.counter) bits |= entry.bit;
  return bits;
}

}  // namespace

int ReadLineCounts(int fd, LineCounts& counts) {
  serial_icounter_struct driver{};
  if (ioctl(fd, TIOCGICOUNT, &driver) != 0) return LastError();
  counts.cts = Counter(driver.cts);
  counts.dsr = Counter(driver.dsr);
  counts.ring = Counter(driver.rng);
  counts.carrier = Counter(driver.dcd);
  counts.frame = Counter(driver.frame);
  counts.overrun = Counter(driver.overrun);
  counts.parity = Counter(driver.parity);
  counts.breaks = Counter(driver.brk);
  counts.bufferOverrun = Counter(driver.buf_overrun);
  return 0;
}

uint32_t EventsBetween(const LineCounts& before, const LineCounts& after) {
  return BitsOfMoved(before, after,
                     {{&LineCounts::cts, EV_CTS},
                      {&LineCounts::dsr, EV_DSR},
                      {&LineCounts::carrier, EV_RLSD},
                      {&LineCounts::ring, EV_RING},
                      {&LineCounts::breaks, EV_BREAK},
                      {&LineCounts::frame, EV_ERR},
                      {&LineCounts::overrun, EV_ERR},
                      {&LineCounts::parity, EV_ERR},
                      {&LineCounts::bufferOverrun, EV_ERR}});
}

LineErrorCounts& LineErrorCounts::operator+=(const LineErrorCounts& more) {
  overrun += more.overrun;
  bufferOverrun += more.bufferOverrun;
  frame += more.frame;
  parity += more.parity;
  breaks += more.breaks;
  return *this;
}

// The counters wrap at 32 bits; unsigned subtraction counts across the wrap.
LineErrorCounts ErrorCountsBetween(const LineCounts& before, const LineCounts& after) {
  return {.overrun = after.overrun - before.overrun,
          .bufferOverrun = after.bufferOverrun - before.bufferOverrun,
          .frame = after.frame - before.frame,
          .parity = after.parity - before.parity,
          .breaks = after.breaks - before.breaks};
}

uint32_t ErrorsBetween(const LineCounts& before, const LineCounts& after) {
  return BitsOfMoved(before, after,
                     {{&LineCounts::bufferOverrun, CE_RXOVER},
                      {&LineCounts::overrun, CE_OVERRUN},
                      {&LineCounts::parity, CE_RXPARITY},
                      {&LineCounts::frame, CE_FRAME},
                      {&LineCounts::breaks, CE_BREAK}});
}

// "3 overruns, 1 framing": each kind that occurred, in a fixed order.
std::string LineErrorsText(const LineErrorCounts& counts) {
  struct Kind {
    uint32_t LineErrorCounts::*count;
    const char* one;
    const char* many;
  };
  static constexpr Kind kKinds[] = {
      {&LineErrorCounts::overrun, "overrun", "overruns"},
      {&LineErrorCounts::bufferOverrun, "buffer overrun", "buffer overruns"},
      {&LineErrorCounts::frame, "framing", "framing"},
      {&LineErrorCounts::parity, "parity", "parity"},
      {&LineErrorCounts::breaks, "break", "breaks"},
  };
  std::string text;
  for (const Kind& kind : kKinds) {
    const uint32_t n = counts.*kind.count;
    if (n == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(n) + " " + (n == 1 ? kind.one : kind.many);
  }
  return text;
}

}  // namespace serial
