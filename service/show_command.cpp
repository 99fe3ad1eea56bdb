#include "service/show_command.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logging/byte_text.h"
#include "logging/log_rotation.h"
#include "logging/time_index.h"
#include "service/logger_commands.h"

namespace service {

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = 64 * 1024;  // a run is read in pieces this big at most
constexpr std::string_view kNoTime = "-";

struct Filter {
  std::optional<WallClock::time_point> from, to;
  bool Keeps(WallClock::time_point time) const {
    return (!from || time >= *from) && (!to || time <= *to);
  }
  bool Any() const { return from || to; }
};

// Prints runs of one log, each with its time; text lines or hex rows.
class LogPrinter {
 public:
  LogPrinter(std::ostream& out, bool hex) : m_out(out), m_hex(hex) {}

  void Run(std::ifstream& log, uint64_t offset, uint64_t length, std::string_view time) {
    log.clear();
    log.seekg(static_cast<std::streamoff>(offset));
    std::string text;
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(length, kChunk)));
    bool first = true;
    for (uint64_t done = 0; done < length;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(length - done, kChunk));
      log.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(want));
      const size_t got = static_cast<size_t>(log.gcount());
      if (got == 0) break;  // the log is shorter than its index says
      text.clear();
      if (m_hex) {
        AppendRows(text, offset + done, {bytes.data(), got}, time);
      } else {
        if (first) (text += time) += "  ";
        byte_text::AppendText(text, {bytes.data(), got});
      }
      m_out << text;
      m_endsLine = !text.empty() && text.back() == '\n';
      first = false;
      done += got;
    }
    if (!m_hex && !m_endsLine) m_out << '\n';
    m_endsLine = true;
  }

  void Event(std::string_view time, std::string_view event) {
    m_out << time << "  -- " << event << '\n';
  }

 private:
  static void AppendRows(std::string& text, uint64_t offset, std::span<const uint8_t> bytes,
                         std::string_view time) {
    for (size_t row = 0; row < bytes.size(); row += byte_text::kHexRowBytes) {
      (text += time) += "  ";
      byte_text::AppendHexRow(
          text, offset + row,
          bytes.subspan(row, std::min(byte_text::kHexRowBytes, bytes.size() - row)));
      text += '\n';
    }
  }

  std::ostream& m_out;
  const bool m_hex;
  bool m_endsLine = true;
};

bool ShowOne(const fs::path& path, const Filter& filter, LogPrinter& printer, std::ostream& err) {
  std::ifstream log(path, std::ios::binary);
  std::error_code error;
  const uint64_t size = fs::file_size(path, error);
  if (!log || error) {
    err << "corvessa-logger: cannot read " << path.string() << "\n";
    return false;
  }
  std::ifstream indexFile(path.string() + std::string(kTimeIndexSuffix));
  if (!indexFile) {
    err << "corvessa-logger: " << path.string()
        << " has no time index; its bytes are shown without times\n";
    if (!filter.Any()) printer.Run(log, 0, size, kNoTime);
    return true;
  }
  uint64_t shown = 0;  // bytes before this were shown (or left out by the filter)
  for (const IndexLine& line : ReadIndexLines(indexFile)) {
    const std::string time = IndexTime(line.time);
    if (!filter.Keeps(line.time)) {
      shown = std::max(shown, line.offset + line.length);
      continue;
    }
    if (!line.event.empty()) {
      printer.Event(time, line.event);
      continue;
    }
    if (line.offset > shown && !filter.Any()) printer.Run(log, shown, line.offset - shown, kNoTime);
    printer.Run(log, line.offset, line.length, time);
    shown = std::max(shown, line.offset + line.length);
  }
  // Bytes the index does not reach yet (the run goes on, or ended without a word).
  if (shown < size && !filter.Any()) printer.Run(log, shown, size - shown, kNoTime);
  return true;
}

}  // namespace

int ShowLogs(const Command& command, std::ostream& out, std::ostream& err) {
  const Filter filter{command.from, command.to};
  LogPrinter printer(out, command.hex);
  bool allRead = true;
  for (const std::string& file : command.files) {
    std::vector<fs::path> paths = log_rotation::RotatedFiles(file);
    std::error_code missing;
    if (fs::exists(file, missing) || paths.empty()) paths.emplace_back(file);
    for (const fs::path& path : paths) allRead = ShowOne(path, filter, printer, err) && allRead;
  }
  return allRead ? 0 : kExitFailure;
}

}  // namespace service
