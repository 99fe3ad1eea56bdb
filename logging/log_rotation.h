#pragma once
// Names of the files a log is cut into: "ttyUSB0port.txt" begun at 10:13:19 on 10 December
// 2026 (local time) becomes "ttyUSB0port-20261210-101319.txt"; when that name is taken,
// "ttyUSB0port-20261210-101319-1.txt", "-2", ... Sorted by begin time, then by counter,
// they are in the order they were written.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace log_rotation {

using WallTime = std::chrono::system_clock::time_point;

// The name beside `logPath` for its file begun at `begun`; `counter` 0 adds none.
std::string RotatedPath(const std::string& logPath, WallTime begun, unsigned counter);
// The counter for the next file begun at `begun`: above every one there is of that second,
// so that a name freed by KeepNewest is never taken again out of order.
unsigned NextCounter(const std::filesystem::path& logPath, WallTime begun);
// The rotated files of `logPath` that are there now, oldest first.
std::vector<std::filesystem::path> RotatedFiles(const std::filesystem::path& logPath);
// Removes all but the `keep` newest rotated files of `logPath`, each with its time index.
void KeepNewest(const std::filesystem::path& logPath, uint32_t keep);
bool SameLocalDay(WallTime a, WallTime b);

}  // namespace log_rotation
