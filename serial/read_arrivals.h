#pragma once
// When the bytes of one read came from the driver. A read gathers many driver reads; where
// the line paused between two of them, the bytes after the pause start a new run with its own
// time, so each message of a bursty device keeps the moment it arrived.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

namespace serial {

class ReadArrivals {
 public:
  using Clock = std::chrono::system_clock;
  struct Run {
    uint32_t start;  // offset of the run's first byte in the read's buffer
    Clock::time_point time;
  };

  explicit ReadArrivals(std::chrono::microseconds pause) : m_pause(pause) {}

  void Clear() {
    m_count = 0;
    m_lastArrival = {};
  }
  // Bytes from `start` on came from the driver at `now`.
  void Note(uint32_t start, Clock::time_point now) {
    const bool paused = m_count == 0 || now - m_lastArrival >= m_pause;
    m_lastArrival = now;
    // Beyond the last slot the bytes join the last run and take its time, a little early.
    if (paused && m_count < m_runs.size()) m_runs[m_count++] = {start, now};
  }
  std::span<const Run> Runs() const { return {m_runs.data(), m_count}; }

 private:
  // Room for a read of 300 ms (the logging task's) that paused every 5 ms.
  std::array<Run, 64> m_runs{};
  size_t m_count = 0;
  Clock::time_point m_lastArrival{};
  const std::chrono::microseconds m_pause;
};

}  // namespace serial
