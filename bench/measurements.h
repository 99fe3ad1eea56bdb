#pragma once
// The three measurements, each run on one kind of logger at a time over pseudo-terminals.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "bench/loggers.h"
#include "bench/stream.h"

namespace bench {

struct FullSpeed {
  double bytesPerSecond = 0;
  uint64_t damagedBytes = 0;
};
// One port, the stream written as fast as the pseudo-terminal takes it.
FullSpeed MeasureFullSpeed(const LoggerKind& kind, const Bytes& stream,
                           const std::filesystem::path& folder);

struct PacedLoad {
  uint64_t bytes = 0;
  uint64_t cpuNanoseconds = 0;  // of the loggers' own threads or processes
  uint64_t damagedBytes = 0;
};
// For each kind, one port per stream, each written at `bytesPerSecond`; all kinds at once,
// so that whatever else the machine does falls on each of them alike.
std::vector<PacedLoad> MeasurePacedLoad(const std::vector<const LoggerKind*>& kinds,
                                        const std::vector<Bytes>& streams, double bytesPerSecond,
                                        const std::filesystem::path& folder);

// Context switches of `ports` idle loggers of each kind, all watched over the same `duration`.
std::vector<uint64_t> MeasureIdleWakeups(const std::vector<const LoggerKind*>& kinds, size_t ports,
                                         Clock::duration duration,
                                         const std::filesystem::path& folder);

}  // namespace bench
