#include "bench/stream.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "bench/proc_stats.h"

namespace bench {

namespace fs = std::filesystem;

Bytes RandomStream(size_t size, uint64_t seed) {
  std::mt19937_64 random(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

bool WriteAll(int master, std::span<const uint8_t> data, const std::atomic<bool>& stop) {
  constexpr size_t kChunk = 64 * 1024;
  while (!data.empty()) {
    if (stop) return false;
    const ssize_t n = write(master, data.data(), std::min(kChunk, data.size()));
    if (n > 0) {
      data = data.subspan(static_cast<size_t>(n));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return false;
    // Full: wait for room, but look at `stop` now and then.
    pollfd ready{master, POLLOUT, 0};
    poll(&ready, 1, 100);
  }
  return true;
}

void WritePaced(const std::vector<int>& masters, const std::vector<Bytes>& streams,
                double bytesPerSecond) {
  constexpr auto kStep = std::chrono::milliseconds(10);
  const std::atomic<bool> never{false};
  std::vector<size_t> sent(masters.size(), 0);
  const auto start = Clock::now();
  for (auto tick = start;; tick += kStep) {
    std::this_thread::sleep_until(tick);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    bool done = true;
    for (size_t i = 0; i < masters.size(); ++i) {
      const auto due = std::min(streams[i].size(), static_cast<size_t>(seconds * bytesPerSecond));
      if (due > sent[i])
        WriteAll(masters[i], std::span(streams[i]).subspan(sent[i], due - sent[i]), never);
      sent[i] = std::max(sent[i], due);
      done = done && sent[i] == streams[i].size();
    }
    if (done) return;
  }
}

bool WaitForFileSize(const fs::path& file, uintmax_t size, Clock::time_point deadline) {
  std::error_code error;
  while (fs::file_size(file, error) < size || error) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

uint64_t DamagedBytes(const fs::path& file, std::span<const uint8_t> expected) {
  std::ifstream in(file, std::ios::binary);
  const Bytes actual{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t common = std::min(actual.size(), expected.size());
  uint64_t damaged = std::max(actual.size(), expected.size()) - common;
  for (size_t i = 0; i < common; ++i) damaged += actual[i] != expected[i];
  return damaged;
}

bool WaitUntilAsleep(const std::vector<std::string>& workers, Clock::time_point deadline) {
  for (const auto& worker : workers) {
    while (SchedulerState(worker) != 'S') {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return true;
}

uint64_t SumCpuNanoseconds(const std::vector<std::string>& workers) {
  uint64_t total = 0;
  for (const auto& worker : workers) total += CpuNanoseconds(worker);
  return total;
}

uint64_t SumContextSwitches(const std::vector<std::string>& workers) {
  uint64_t total = 0;
  for (const auto& worker : workers) total += ContextSwitches(worker);
  return total;
}

}  // namespace bench
