#include "bench/measurements.h"

#include <memory>
#include <stdexcept>
#include <thread>

namespace bench {

namespace fs = std::filesystem;
using std::chrono::seconds;

namespace {

// `count` ports of one kind of logger, each on a pseudo-terminal of its own: a logger for each,
// or one for all where the kind logs many at once.
struct LoggerBank {
  LoggerBank(const LoggerKind& kind, size_t count, const fs::path& folder, const std::string& run) {
    for (size_t i = 0; i < count; ++i) {
      ptys.push_back(std::make_unique<BenchPty>());
      files.push_back(folder / (kind.fileTag + "-" + run + "-" + std::to_string(i) + ".log"));
      if (!kind.startAll) Add(kind.start(*ptys.back(), files.back()));
    }
    if (kind.startAll) {
      std::vector<const BenchPty*> all;
      for (const auto& pty : ptys) all.push_back(pty.get());
      Add(kind.startAll(all, files));
    }
    if (!WaitUntilAsleep(workers, Clock::now() + seconds(10)))
      throw std::runtime_error(kind.label + " did not settle into waiting");
  }
  ~LoggerBank() {
    loggers.clear();  // stop every logger before its pseudo-terminal goes
    for (const auto& file : files) fs::remove(file);
  }

  void Add(std::unique_ptr<Logger> logger) {
    const auto& own = logger->Workers();
    workers.insert(workers.end(), own.begin(), own.end());
    loggers.push_back(std::move(logger));
  }

  std::vector<std::unique_ptr<BenchPty>> ptys;
  std::vector<fs::path> files;
  std::vector<std::unique_ptr<Logger>> loggers;
  std::vector<std::string> workers;
};

}  // namespace

FullSpeed MeasureFullSpeed(const LoggerKind& kind, const Bytes& stream, const fs::path& folder) {
  LoggerBank bank(kind, 1, folder, "full-speed");
  std::atomic<bool> stop{false};
  const auto start = Clock::now();
  std::thread writer([&] { WriteAll(bank.ptys[0]->masterFd(), stream, stop); });
  WaitForFileSize(bank.files[0], stream.size(), start + seconds(60));
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  stop = true;
  writer.join();
  bank.loggers.clear();
  return {static_cast<double>(stream.size()) / elapsed, DamagedBytes(bank.files[0], stream)};
}

std::vector<PacedLoad> MeasurePacedLoad(const std::vector<const LoggerKind*>& kinds,
                                        const std::vector<Bytes>& streams, double bytesPerSecond,
                                        const fs::path& folder) {
  std::vector<std::unique_ptr<LoggerBank>> banks;
  std::vector<int> masters;
  std::vector<Bytes> sent;  // every kind gets the same streams
  for (const LoggerKind* kind : kinds) {
    banks.push_back(std::make_unique<LoggerBank>(*kind, streams.size(), folder, "paced"));
    for (const auto& pty : banks.back()->ptys) masters.push_back(pty->masterFd());
    sent.insert(sent.end(), streams.begin(), streams.end());
  }
  std::vector<uint64_t> cpuBefore;
  for (const auto& bank : banks) cpuBefore.push_back(SumCpuNanoseconds(bank->workers));
  WritePaced(masters, sent, bytesPerSecond);
  // A block that is not full reaches the file only when its read times out.
  const auto deadline = Clock::now() + seconds(5);
  for (const auto& bank : banks)
    for (size_t i = 0; i < streams.size(); ++i)
      WaitForFileSize(bank->files[i], streams[i].size(), deadline);
  std::vector<PacedLoad> loads(banks.size());
  for (size_t k = 0; k < banks.size(); ++k)
    loads[k].cpuNanoseconds = SumCpuNanoseconds(banks[k]->workers) - cpuBefore[k];
  for (size_t k = 0; k < banks.size(); ++k) {
    banks[k]->loggers.clear();
    for (size_t i = 0; i < streams.size(); ++i) {
      loads[k].bytes += streams[i].size();
      loads[k].damagedBytes += DamagedBytes(banks[k]->files[i], streams[i]);
    }
  }
  return loads;
}

std::vector<uint64_t> MeasureIdleWakeups(const std::vector<const LoggerKind*>& kinds, size_t ports,
                                         Clock::duration duration, const fs::path& folder) {
  std::vector<std::unique_ptr<LoggerBank>> banks;
  for (const LoggerKind* kind : kinds)
    banks.push_back(std::make_unique<LoggerBank>(*kind, ports, folder, "idle"));
  std::vector<uint64_t> before;
  for (const auto& bank : banks) before.push_back(SumContextSwitches(bank->workers));
  std::this_thread::sleep_for(duration);
  std::vector<uint64_t> wakeups;
  for (size_t i = 0; i < banks.size(); ++i)
    wakeups.push_back(SumContextSwitches(banks[i]->workers) - before[i]);
  return wakeups;
}

}  // namespace bench
