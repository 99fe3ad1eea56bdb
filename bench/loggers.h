#pragma once
// The loggers compared: Corvessa's logging task and the reference tools, each reading one
// pseudo-terminal into one file until the object goes.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_pty.h"

namespace bench {

class Logger {
 public:
  virtual ~Logger() = default;
  // The /proc folders of the threads or processes that do this logger's work.
  virtual const std::vector<std::string>& Workers() const = 0;
};

struct LoggerKind {
  std::string label;
  std::string fileTag;  // starts the names of its log files
  std::function<std::unique_ptr<Logger>(const BenchPty&, const std::filesystem::path&)> start;
  // Set instead for a logger that logs many ports at once, as a program with a list of ports
  // does: one is started for all of them.
  std::function<std::unique_ptr<Logger>(const std::vector<const BenchPty*>&,
                                        const std::vector<std::filesystem::path>&)>
      startAll = nullptr;
};

// Corvessa's logging task at 115200 baud, 8 data bits, no parity, one stop bit, no flow
// control, writing a new file.
extern const LoggerKind kCorvessa;
// The same, with no log file flushed to the disk: what the flushes cost.
extern const LoggerKind kCorvessaWithoutDiskFlushes;
// The same, writing a time index beside each log.
extern const LoggerKind kCorvessaWithTimestamps;
// The same, with a view of its data open, taking and showing the newest bytes.
extern const LoggerKind kCorvessaViewed;
// The same, after the device went away: the task waits for it to return.
extern const LoggerKind kCorvessaWaitingForDevice;
// corvessa-logger, the program without a window, one process for all the ports it is given,
// which are its only ones (in a mount namespace of its own, so it needs root); with the same
// settings as the task above.
extern const LoggerKind kCorvessaLogger;
// Whether kCorvessaLogger can run here, and if not, why.
std::optional<std::string> CorvessaLoggerUnavailable();
// dd bs=4096 and socat -u, with the raw subordinate side as their standard input.
extern const LoggerKind kDd;
extern const LoggerKind kSocat;
// dd waiting for full 4096-byte blocks, as the logging task's reads do: shows what that rule
// costs on a pseudo-terminal, whose line discipline holds no more than 4096 bytes.
extern const LoggerKind kDdFullBlocks;

}  // namespace bench
