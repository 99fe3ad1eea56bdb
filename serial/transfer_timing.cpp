#include "serial/transfer_timing.h"

#include <algorithm>
#include <climits>

namespace serial {

namespace {

using std::chrono::milliseconds;

std::optional<milliseconds> TotalLimit(uint32_t multiplier, uint32_t constant, uint32_t count) {
  if (multiplier == 0 && constant == 0) return std::nullopt;
  // In 64 bits, so MAXDWORD x count cannot wrap into a short timeout; capped at MAXDWORD ms
  // (49 days), which keeps the clock arithmetic far from overflow.
  const uint64_t total = uint64_t{multiplier} * count + constant;
  return milliseconds(std::min<uint64_t>(total, MAXDWORD));
}

}  // namespace

TransferPlan PlanRead(const CommTimeouts& timeouts, uint32_t count) {
  const uint32_t interval = timeouts.ReadIntervalTimeout;
  const uint32_t multiplier = timeouts.ReadTotalTimeoutMultiplier;
  const uint32_t constant = timeouts.ReadTotalTimeoutConstant;
  TransferPlan plan;
  if (interval == MAXDWORD && multiplier == 0 && constant == 0) {
    plan.returnAtOnce = true;
  } else if (interval == MAXDWORD && multiplier == MAXDWORD && constant != 0 &&
             constant != MAXDWORD) {
    plan.returnOnFirstBytes = true;
    plan.total = milliseconds(constant);
  } else {
    plan.total = TotalLimit(multiplier, constant, count);
    if (interval != 0 && interval != MAXDWORD) plan.interval = milliseconds(interval);
  }
  return plan;
}

TransferPlan PlanWrite(const CommTimeouts& timeouts, uint32_t count) {
  TransferPlan plan;
  plan.total =
      TotalLimit(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant, count);
  return plan;
}

TransferClock::TransferClock(const TransferPlan& plan, Clock::time_point start)
    : m_interval(plan.interval) {
  if (plan.total) m_end = start + *plan.total;
}

void TransferClock::BytesMoved(Clock::time_point when) { m_lastBytes = when; }

int TransferClock::WaitMs(Clock::time_point now) const {
  std::optional<Clock::time_point> end = m_end;
  if (m_interval && m_lastBytes) {
    const Clock::time_point gapEnd = *m_lastBytes + *m_interval;
    end = end ? std::min(*end, gapEnd) : gapEnd;
  }
  if (!end) return -1;
  if (*end <= now) return 0;
  // Rounded up, so a poll never wakes just before the end and finds itself with 0 to wait.
  const auto left = std::chrono::ceil<milliseconds>(*end - now).count();
  return static_cast<int>(std::min<int64_t>(left, INT_MAX));
}

}  // namespace serial
