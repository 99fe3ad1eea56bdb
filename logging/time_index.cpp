#include "logging/time_index.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>
#include <ctime>

#include "logging/file_error.h"

namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;

bool ParseNumber(std::string_view text, uint64_t& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// An event's text stays on its line and in its column.
std::string OneColumn(std::string_view text) {
  std::string column(text);
  for (char& c : column)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return column;
}

void AppendLine(std::string& lines, uint64_t offset, uint64_t length, WallClock::time_point time,
                std::string_view event = {}) {
  lines += std::to_string(offset);
  lines += '\t';
  lines += std::to_string(length);
  lines += '\t';
  lines += IndexTime(time);
  if (!event.empty()) {
    lines += '\t';
    lines += OneColumn(event);
  }
  lines += '\n';
}

// One write for this many bytes of lines, or for what gathered in this time, not one a block.
constexpr size_t kGatherBytes = 16 * 1024;
constexpr std::chrono::milliseconds kGatherTime{200};

}  // namespace

std::string IndexTime(WallClock::time_point time) {
  const auto sinceEpoch = duration_cast<microseconds>(time.time_since_epoch()).count();
  // Floor division, so a time before 1970 still reads as a date with its fraction.
  int64_t seconds = sinceEpoch / 1'000'000;
  int64_t fraction = sinceEpoch % 1'000'000;
  if (fraction < 0) {
    fraction += 1'000'000;
    --seconds;
  }
  const std::time_t whole = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char text[96];  // room for any int the compiler may imagine
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<long long>(fraction));
  return text;
}

std::optional<WallClock::time_point> ParseIndexTime(std::string_view text) {
  std::tm utc{};
  int consumed = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &utc.tm_year, &utc.tm_mon,
                  &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &consumed) != 6)
    return std::nullopt;
  std::string_view rest = text.substr(static_cast<size_t>(consumed));
  int64_t micros = 0;
  if (rest.starts_with('.')) {
    rest.remove_prefix(1);
    int digits = 0;
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
      if (digits++ < 6) micros = micros * 10 + (rest.front() - '0');
      rest.remove_prefix(1);
    }
    if (digits == 0) return std::nullopt;
    for (; digits < 6; ++digits) micros *= 10;
  }
  if (rest != "Z") return std::nullopt;
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  const std::time_t seconds = timegm(&utc);
  return WallClock::time_point(std::chrono::seconds(seconds) + microseconds(micros));
}

std::optional<IndexLine> ParseIndexLine(std::string_view line) {
  if (line.empty() || line.front() == '#') return std::nullopt;
  std::string_view columns[4];
  size_t count = 0;
  while (count < 4) {
    const size_t tab = count < 3 ? line.find('\t') : std::string_view::npos;
    columns[count++] = line.substr(0, tab);
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  IndexLine parsed;
  if (count < 3 || !ParseNumber(columns[0], parsed.offset) ||
      !ParseNumber(columns[1], parsed.length))
    return std::nullopt;
  const auto time = ParseIndexTime(columns[2]);
  if (!time) return std::nullopt;
  parsed.time = *time;
  if (count == 4) parsed.event = columns[3];
  return parsed;
}

TimeIndex::~TimeIndex() { Close(); }

std::vector<IndexLine> ReadIndexLines(std::istream& index) {
  std::vector<IndexLine> lines;
  std::string line;
  while (std::getline(index, line))
    if (auto parsed = ParseIndexLine(line)) lines.push_back(std::move(*parsed));
  return lines;
}

bool TimeIndex::Open(const std::string& logPath, bool append) {
  std::lock_guard lock(m_mutex);
  m_started = false;
  m_waiting.clear();
  m_problem.reset();
  m_problemTold = false;
  const std::string path = logPath + std::string(kTimeIndexSuffix);
  if (!m_file.Open(path, append)) {
    Fail(path + " cannot be opened: " + std::strerror(errno));
    return false;
  }
  m_needsHeader = !append || m_file.Size() == 0;
  return true;
}

void TimeIndex::Start(uint64_t offset, WallClock::time_point time, std::string_view event) {
  std::lock_guard lock(m_mutex);
  if (!m_file.IsOpen()) return;
  m_file.EmptyNow();
  std::string lines;
  AppendLine(lines, offset, 0, time, event);
  lines += m_waiting;
  m_waiting.clear();
  m_started = true;
  Write(lines);
}

void TimeIndex::AddRuns(uint64_t offset, uint32_t length,
                        std::span<const serial::ReadArrivals::Run> runs) {
  if (length == 0 || runs.empty()) return;
  std::string lines;
  for (size_t i = 0; i < runs.size(); ++i) {
    const uint32_t end = i + 1 < runs.size() ? runs[i + 1].start : length;
    AppendLine(lines, offset + runs[i].start, end - runs[i].start, runs[i].time);
  }
  Put(std::move(lines), false);
}

void TimeIndex::AddEvent(uint64_t offset, WallClock::time_point time, std::string_view event) {
  std::string line;
  AppendLine(line, offset, 0, time, event);
  Put(std::move(line), true);
}

void TimeIndex::Put(std::string lines, bool now) {
  std::lock_guard lock(m_mutex);
  if (!m_file.IsOpen()) return;
  if (!m_started) {
    m_waiting += lines;
    return;
  }
  const bool first = m_gathered.empty();
  m_gathered += lines;
  if (now || m_gathered.size() >= kGatherBytes) {
    WriteGathered();
  } else if (first) {
    m_flushAsked = true;
    DiskFlusher::Shared().Due(*this, std::chrono::steady_clock::now() + kGatherTime);
  }
}

void TimeIndex::WriteGathered() {
  if (m_gathered.empty()) return;
  Write(m_gathered);
  m_gathered.clear();
}

void TimeIndex::FlushToDisk() {
  std::lock_guard lock(m_mutex);
  if (m_file.IsOpen()) WriteGathered();
}

// The index is never needed to read the log: a line it cannot take is dropped, and logging
// goes on.
void TimeIndex::Write(std::string_view lines) {
  try {
    if (m_needsHeader) {
      m_file.Write(
          {reinterpret_cast<const uint8_t*>(kTimeIndexHeader.data()), kTimeIndexHeader.size()});
      m_needsHeader = false;
    }
    m_file.Write({reinterpret_cast<const uint8_t*>(lines.data()), lines.size()});
  } catch (const FileError& error) {
    Fail(error.Message());
  }
}

void TimeIndex::Fail(std::string why) {
  if (!m_problem) m_problem = "Time index: " + why + "; the log goes on without it";
}

std::optional<std::string> TimeIndex::TakeProblem() {
  std::lock_guard lock(m_mutex);
  if (!m_problem || m_problemTold) return std::nullopt;
  m_problemTold = true;
  return m_problem;
}

void TimeIndex::Rotate(const std::string& rotatedLog) {
  std::lock_guard lock(m_mutex);
  if (!m_file.IsOpen()) return;
  WriteGathered();  // the runs of the file that goes aside
  const std::string aside = rotatedLog + std::string(kTimeIndexSuffix);
  if (const int error = m_file.MoveAsideAndRenew(aside))
    Fail("cannot be renamed to " + aside + ": " + std::strerror(error));
  else
    m_needsHeader = true;
}

void TimeIndex::FollowPath() {
  std::lock_guard lock(m_mutex);
  if (!m_file.IsOpen()) return;
  WriteGathered();
  try {
    if (m_file.FollowPath() && m_file.Size() == 0) m_needsHeader = true;
  } catch (const FileError& error) {
    Fail(error.Message());
  }
}

void TimeIndex::Close() {
  bool asked;
  {
    std::lock_guard lock(m_mutex);
    asked = std::exchange(m_flushAsked, false);
  }
  // Without the lock: a flush under way needs it to end.
  if (asked) DiskFlusher::Shared().Cancel(*this);
  std::lock_guard lock(m_mutex);
  if (m_file.IsOpen()) WriteGathered();
  m_gathered.clear();
  m_file.Close();
  m_waiting.clear();
  m_started = false;
}
