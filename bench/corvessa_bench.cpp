// Measures Corvessa's logging task headless, and corvessa-logger, over pseudo-terminals,
// against dd and socat on the same random streams: full-speed throughput of one port,
// processor time of 32 ports at 115200 baud pace, and wake-ups of 32 idle ports. One line per
// figure.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "bench/measurements.h"
#include "serial/port_device.h"

namespace {

namespace fs = std::filesystem;
using namespace bench;

constexpr size_t kFullSpeedBytes = size_t{32} << 20;
constexpr int kFullSpeedRounds = 5;
constexpr size_t kPorts = 32;
constexpr auto kPacedDuration = std::chrono::seconds(10);
constexpr int kPacedRounds = 3;
constexpr auto kIdleDuration = std::chrono::seconds(10);

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "corvessa-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::system_error(errno, std::generic_category(), "mkdtemp");
    m_path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
};

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

struct Totals {
  uint64_t bytes = 0;
  uint64_t damaged = 0;
};

struct Reference {
  const LoggerKind* kind;
  std::optional<double> minimumRatio;
};

// Corvessa's logging task, with and without its time index, and corvessa-logger where it can
// run here.
std::vector<const LoggerKind*> TestedLoggers() {
  std::vector<const LoggerKind*> tested = {&kCorvessa, &kCorvessaWithTimestamps};
  if (const auto why = CorvessaLoggerUnavailable())
    std::printf("corvessa-logger is not measured: %s\n", why->c_str());
  else
    tested.push_back(&kCorvessaLogger);
  return tested;
}

// What a feature costs: the task with it against the same task without, same run.
void ReportCost(const char* feature, const LoggerKind& with,
                const std::vector<const LoggerKind*>& tested, const std::vector<double>& figures,
                const char* figure, bool higherIsBetter, double limit) {
  const auto at = [&](const LoggerKind* kind) {
    return static_cast<size_t>(std::find(tested.begin(), tested.end(), kind) - tested.begin());
  };
  const double ratio = figures[at(&with)] / figures[at(&kCorvessa)];
  const bool met = higherIsBetter ? ratio >= limit : ratio <= limit;
  std::printf("  the cost of %s, %s: with it against without, ratio %.2f (target %s %.2f: %s)\n",
              feature, figure, ratio, higherIsBetter ? ">=" : "<=", limit, Verdict(met));
}

void RunFullSpeed(const fs::path& folder, Totals& totals,
                  const std::vector<const LoggerKind*>& tested) {
  const Reference references[] = {{&kDd, 0.9},
                                  {&kSocat, 1.0},
                                  {&kDdFullBlocks, std::nullopt},
                                  {&kCorvessaWithoutDiskFlushes, 0.9}};
  const Bytes stream = RandomStream(kFullSpeedBytes, 1);
  std::vector<double> testedBest(tested.size(), 0);
  std::vector<double> best(std::size(references), 0);
  const auto measure = [&](const LoggerKind& kind, double& bestRate) {
    const FullSpeed result = MeasureFullSpeed(kind, stream, folder);
    bestRate = std::max(bestRate, result.bytesPerSecond);
    totals.bytes += stream.size();
    totals.damaged += result.damagedBytes;
  };
  // Rounds take turns, so a passing load on the machine falls on every logger alike.
  for (int round = 0; round < kFullSpeedRounds; ++round) {
    for (size_t t = 0; t < tested.size(); ++t) measure(*tested[t], testedBest[t]);
    for (size_t k = 0; k < std::size(references); ++k) measure(*references[k].kind, best[k]);
  }
  for (size_t t = 0; t < tested.size(); ++t) {
    for (size_t k = 0; k < std::size(references); ++k) {
      const double ratio = testedBest[t] / best[k];
      char target[64] = "no target: same full-block reads";
      if (references[k].kind == &kCorvessaWithoutDiskFlushes)
        std::snprintf(target, sizeof target, "target >= 0.90, the cost of flushing: %s",
                      Verdict(ratio >= 0.9));
      else if (const auto minimum = references[k].minimumRatio)
        std::snprintf(target, sizeof target, "target >= %.2f: %s", *minimum,
                      Verdict(ratio >= *minimum));
      std::printf(
          "one port at full speed (%zu MiB, best of %d): %s %.1f MB/s, %s %.1f MB/s, "
          "ratio %.2f (%s)\n",
          kFullSpeedBytes >> 20, kFullSpeedRounds, tested[t]->label.c_str(),
          testedBest[t] / 1e6, references[k].kind->label.c_str(), best[k] / 1e6, ratio, target);
    }
  }
  ReportCost("the time index", kCorvessaWithTimestamps, tested, testedBest, "MB/s at full speed",
             true, 0.9);
  ReportCost("an open view", kCorvessaViewed, tested, testedBest, "MB/s at full speed", true,
             0.95);
}

double MsPerMegabyte(const PacedLoad& load) {
  return static_cast<double>(load.cpuNanoseconds) / 1e6 / (static_cast<double>(load.bytes) / 1e6);
}

// The middle round: on a virtual machine a thread is now and then charged for time in which
// the host ran something else, and one such round must not decide the figure.
double MedianMsPerMegabyte(std::vector<double> rounds) {
  std::nth_element(rounds.begin(), rounds.begin() + rounds.size() / 2, rounds.end());
  return rounds[rounds.size() / 2];
}

// Ports that each get a steady stream at a line's pace, Corvessa and dd side by side.
struct PacedRun {
  size_t ports;
  double bytesPerSecond;
  const char* pace;
  std::optional<double> maximumRatio;  // of Corvessa's CPU per MB to dd's
};

void RunPaced(const fs::path& folder, Totals& totals, const PacedRun& run,
              const std::vector<const LoggerKind*>& tested) {
  const auto bytesPerPort = static_cast<size_t>(
      run.bytesPerSecond * std::chrono::duration<double>(kPacedDuration).count());
  std::vector<Bytes> streams;
  for (size_t i = 0; i < run.ports; ++i) streams.push_back(RandomStream(bytesPerPort, 100 + i));
  std::vector<const LoggerKind*> kinds = tested;
  kinds.push_back(&kDd);
  std::vector<std::vector<double>> rounds(kinds.size());
  for (int round = 0; round < kPacedRounds; ++round) {
    const auto loads = MeasurePacedLoad(kinds, streams, run.bytesPerSecond, folder);
    for (size_t k = 0; k < kinds.size(); ++k) {
      rounds[k].push_back(MsPerMegabyte(loads[k]));
      totals.bytes += loads[k].bytes;
      totals.damaged += loads[k].damagedBytes;
    }
  }
  const double dd = MedianMsPerMegabyte(rounds.back());
  std::vector<double> medians;
  for (size_t t = 0; t < tested.size(); ++t) {
    const double logger = MedianMsPerMegabyte(rounds[t]);
    medians.push_back(logger);
    const double ratio = logger / dd;
    char target[48] = "lower is better";
    if (run.maximumRatio)
      std::snprintf(target, sizeof target, "target <= %.2f: %s", *run.maximumRatio,
                    Verdict(ratio <= *run.maximumRatio));
    std::printf(
        "%zu ports at %s for %lld s, all loggers at once (median of %d): %s %.2f "
        "ms CPU per MB, %s %.2f ms CPU per MB, ratio %.2f (%s)\n",
        run.ports, run.pace, static_cast<long long>(kPacedDuration.count()), kPacedRounds,
        tested[t]->label.c_str(), logger, kDd.label.c_str(), dd, ratio, target);
  }
  if (std::find(tested.begin(), tested.end(), &kCorvessaWithTimestamps) != tested.end())
    ReportCost("the time index", kCorvessaWithTimestamps, tested, medians, "CPU per MB", false,
               1.2);
}

// Ports with nothing to log, and ports whose device went away: neither may wake at all.
bool RunIdle(const fs::path& folder) {
  const auto wakeups = MeasureIdleWakeups({&kCorvessa, &kCorvessaWaitingForDevice, &kDd}, kPorts,
                                          kIdleDuration, folder);
  std::printf(
      "%zu idle ports for %lld s: Corvessa %llu wake-ups, waiting for their devices %llu "
      "wake-ups, %s %llu wake-ups (target 0: %s)\n",
      kPorts, static_cast<long long>(kIdleDuration.count()),
      static_cast<unsigned long long>(wakeups[0]), static_cast<unsigned long long>(wakeups[1]),
      kDd.label.c_str(), static_cast<unsigned long long>(wakeups[2]),
      Verdict(wakeups[0] == 0 && wakeups[1] == 0));
  return wakeups[0] == 0 && wakeups[1] == 0;
}

}  // namespace

int main() {
  try {
    TempFolder folder;
    // The ports' lock files go into the benchmark's own folder, never the machine's.
    std::filesystem::create_directory(folder.path() / "lock");
    serial::SetSystemMachinePlacesForTesting({.lockFolders = {folder.path() / "lock"}});
    std::printf("Corvessa benchmark over pseudo-terminals, %ld processors\n",
                sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
    Totals totals;
    const std::vector<const LoggerKind*> tested = TestedLoggers();
    // At full speed also with a view of its data open.
    std::vector<const LoggerKind*> fullSpeed = tested;
    fullSpeed.push_back(&kCorvessaViewed);
    RunFullSpeed(folder.path(), totals, fullSpeed);
    // 115200 baud and 3 Mbaud, with 10 bits a byte; corvessa-logger, one process a port here,
    // at the first pace only.
    RunPaced(folder.path(), totals, {kPorts, 11520, "115200 baud", std::nullopt}, tested);
    RunPaced(folder.path(), totals, {64, 300000, "3 Mbaud", 0.8}, {&kCorvessa});
    const bool quietWhenIdle = RunIdle(folder.path());
    std::printf("bytes lost or changed: %llu of %llu (target 0: %s)\n",
                static_cast<unsigned long long>(totals.damaged),
                static_cast<unsigned long long>(totals.bytes), Verdict(totals.damaged == 0));
    // Throughput depends on the machine's load; lost bytes and wake-ups do not.
    return totals.damaged == 0 && quietWhenIdle ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvessa_bench: %s\n", error.what());
    return 2;
  }
}
