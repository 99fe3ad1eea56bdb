#pragma once
// The time index beside a log: "<log>.times", a text file with one line for each run of
// bytes written to the log (its offset in the log, its length, the time its first byte came
// from the driver) and a line of length 0 for each event of the run, tab-separated:
//
//   # corvessa time index 1: offset, bytes, time (UTC), event
//   0	100	2026-12-10T10:13:19.123456Z
//   100	0	2026-12-10T10:13:20.000000Z	Port lost, waiting for it to return
//
// The log never depends on it: it holds the bytes exactly, the index only says when.
//
// Thread use: the task opens, starts and closes it on its owner's thread; the reader thread
// adds runs and events meanwhile, and the owner's thread adds events. A mutex keeps lines whole.

#include <chrono>
#include <cstdint>
#include <istream>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logging/disk_flusher.h"
#include "logging/log_file.h"
#include "serial/read_arrivals.h"

using WallClock = std::chrono::system_clock;

inline constexpr std::string_view kTimeIndexSuffix = ".times";
inline constexpr std::string_view kTimeIndexHeader =
    "# corvessa time index 1: offset, bytes, time (UTC), event\n";

// "2026-12-10T10:13:19.123456Z".
std::string IndexTime(WallClock::time_point time);
std::optional<WallClock::time_point> ParseIndexTime(std::string_view text);

struct IndexLine {
  uint64_t offset = 0;
  uint64_t length = 0;
  WallClock::time_point time;
  std::string event;  // empty for a run of bytes
};
// Nothing for a comment or a line that is not an index line.
std::optional<IndexLine> ParseIndexLine(std::string_view line);
// The index lines of a whole index, in file order; other lines are passed over.
std::vector<IndexLine> ReadIndexLines(std::istream& index);

class TimeIndex final : private Flushable {
 public:
  TimeIndex() = default;
  ~TimeIndex();
  TimeIndex(const TimeIndex&) = delete;
  TimeIndex& operator=(const TimeIndex&) = delete;

  // Opens "<logPath>.times", emptied once the run starts unless appending. Lines wait until
  // Start, so that the start is the run's first line whatever the reader writes meanwhile.
  bool Open(const std::string& logPath, bool append);
  bool IsOpen() const { return m_file.IsOpen(); }
  // The run has started at `offset` of the log: the start event goes in, then what waited.
  void Start(uint64_t offset, WallClock::time_point time, std::string_view event);
  // One line for each run of the block of `length` bytes written at `offset`. Runs are
  // gathered and written together, within a fraction of a second; events at once.
  void AddRuns(uint64_t offset, uint32_t length, std::span<const serial::ReadArrivals::Run> runs);
  void AddEvent(uint64_t offset, WallClock::time_point time, std::string_view event);
  // The log was rotated to `rotatedLog`: the index goes along beside it, and a new one starts.
  void Rotate(const std::string& rotatedLog);
  // The log's path names a new file (the old one was moved or deleted): the index follows
  // its own path the same way.
  void FollowPath();
  void Close();
  // What went wrong with the index since it was opened, once: "Time index ... : why; the log
  // goes on without it". Lines it could not take are missing from it.
  std::optional<std::string> TakeProblem();

 private:
  void Fail(std::string why);  // under m_mutex
  void Put(std::string lines, bool now);
  void Write(std::string_view lines);  // under m_mutex
  void WriteGathered();                // under m_mutex
  // The flusher's thread: the runs gathered so far go to the file.
  void FlushToDisk() override;

  LogFile m_file;
  std::mutex m_mutex;
  bool m_started = false;
  bool m_needsHeader = true;
  std::string m_waiting;   // lines before Start
  std::string m_gathered;  // runs not written yet
  bool m_flushAsked = false;  // the flusher has this index on its list
  std::optional<std::string> m_problem;
  bool m_problemTold = false;
};
