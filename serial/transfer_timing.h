#pragma once
// How long one read or write may wait, from the port's timeouts, as the old platform
// defined them: a read ends when the count has arrived, when the total time
// (constant + multiplier x count) has passed, or when the gap after a received byte exceeds
// the interval; both totals 0 means no total limit.

#include <chrono>
#include <cstdint>
#include <optional>

#include "serial/comm_events.h"

namespace serial {

inline constexpr uint32_t MAXDWORD = 0xFFFFFFFF;

struct TransferPlan {
  bool returnAtOnce = false;                          // take what is there without waiting
  bool returnOnFirstBytes = false;                    // return as soon as anything has arrived
  std::optional<std::chrono::milliseconds> total;     // none: no overall limit
  std::optional<std::chrono::milliseconds> interval;  // none: no limit between bytes
  bool operator==(const TransferPlan&) const = default;
};

// Interval MAXDWORD with both totals 0: return at once with what is there.
// Interval and multiplier MAXDWORD, constant between: wait up to the constant for the first
// bytes, then return with them.
TransferPlan PlanRead(const CommTimeouts& timeouts, uint32_t count);
TransferPlan PlanWrite(const CommTimeouts& timeouts, uint32_t count);

// Measures one transfer against its plan.
class TransferClock {
 public:
  using Clock = std::chrono::steady_clock;
  explicit TransferClock(const TransferPlan& plan, Clock::time_point start = Clock::now());

  void BytesMoved(Clock::time_point when = Clock::now());
  // Milliseconds a poll may wait now: -1 without limit, 0 when time is up.
  int WaitMs(Clock::time_point now = Clock::now()) const;

 private:
  std::optional<Clock::time_point> m_end;
  std::optional<std::chrono::milliseconds> m_interval;
  std::optional<Clock::time_point> m_lastBytes;
};

}  // namespace serial
