#pragma once
// The data the benchmark sends, how it sends it, and how it checks what arrived.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

Bytes RandomStream(size_t size, uint64_t seed);

// Writes everything into a pseudo-terminal's controlling side as fast as it takes it, unless
// `stop` is set meanwhile (the reader died); false when it stopped early or failed.
bool WriteAll(int master, std::span<const uint8_t> data, const std::atomic<bool>& stop);

// Writes each stream into its controlling side at `bytesPerSecond`, in steps of 10 ms.
void WritePaced(const std::vector<int>& masters, const std::vector<Bytes>& streams,
                double bytesPerSecond);

// Waits until the file has grown to `size` bytes; false at the deadline.
bool WaitForFileSize(const std::filesystem::path& file, uintmax_t size, Clock::time_point deadline);
// Bytes of `expected` missing from the file or changed in it, plus bytes it holds beyond.
uint64_t DamagedBytes(const std::filesystem::path& file, std::span<const uint8_t> expected);

// Waits until every worker sleeps in a wait, so that counting starts from quiet.
bool WaitUntilAsleep(const std::vector<std::string>& workers, Clock::time_point deadline);

uint64_t SumCpuNanoseconds(const std::vector<std::string>& workers);
uint64_t SumContextSwitches(const std::vector<std::string>& workers);

}  // namespace bench
