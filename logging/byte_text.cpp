#include "logging/byte_text.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "logging/utf8.h"

namespace byte_text {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

void AppendEscaped(std::string& out, uint8_t byte) {
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xF];
}

// The length of the UTF-8 character of two or more bytes at the start that is shown as it
// is, or 0. C1 controls are control bytes too, however they are encoded.
size_t ShownSequenceAt(std::span<const uint8_t> bytes) {
  const auto character = Utf8CharacterAt(bytes);
  if (!character || character->length < 2) return 0;
  const bool control = character->codePoint >= 0x80 && character->codePoint <= 0x9F;
  return control ? 0 : character->length;
}

// Blocks that follow each other in the log, as one run of bytes with the time of each part.
struct Segment {
  uint64_t offset = 0;
  std::vector<uint8_t> bytes;
  std::vector<DataTap::Run> marks;  // where each timed part starts in `bytes`
};

std::vector<Segment> SegmentsOf(std::span<const DataTap::Block> blocks) {
  std::vector<Segment> segments;
  for (const DataTap::Block& block : blocks) {
    const bool follows =
        !segments.empty() && segments.back().offset + segments.back().bytes.size() == block.offset;
    if (!follows) segments.push_back({block.offset, {}, {}});
    Segment& segment = segments.back();
    const auto start = static_cast<uint32_t>(segment.bytes.size());
    for (const DataTap::Run& run : block.runs)
      segment.marks.push_back({start + run.start, run.time});
    segment.bytes.insert(segment.bytes.end(), block.bytes.begin(), block.bytes.end());
  }
  return segments;
}

// The time of the byte at `position`, from the last mark at or before it.
std::optional<std::chrono::system_clock::time_point> TimeAt(const Segment& segment,
                                                            size_t position) {
  std::optional<std::chrono::system_clock::time_point> time;
  for (const DataTap::Run& mark : segment.marks) {
    if (mark.start > position) break;
    time = mark.time;
  }
  return time;
}

void AppendTimeOf(std::string& out, const Segment& segment, size_t position, bool times) {
  if (!times) return;
  if (const auto time = TimeAt(segment, position)) (out += ClockTime(*time)) += "  ";
}

}  // namespace

std::string ClockTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                          time - std::chrono::system_clock::from_time_t(seconds))
                          .count();
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return text;
}

std::string TextOfBlocks(std::span<const DataTap::Block> blocks, bool times) {
  std::string out;
  bool lineStart = true;
  for (const Segment& segment : SegmentsOf(blocks)) {
    const std::span<const uint8_t> bytes(segment.bytes);
    for (size_t position = 0; position < bytes.size();) {
      size_t end = position;
      while (end < bytes.size() && bytes[end] != '\n') ++end;
      if (end < bytes.size()) ++end;  // the line feed ends its line
      if (lineStart) AppendTimeOf(out, segment, position, times);
      AppendText(out, bytes.subspan(position, end - position));
      lineStart = bytes[end - 1] == '\n';
      position = end;
    }
  }
  return out;
}

std::string HexOfBlocks(std::span<const DataTap::Block> blocks, bool times) {
  std::string out;
  for (const Segment& segment : SegmentsOf(blocks)) {
    const std::span<const uint8_t> bytes(segment.bytes);
    for (size_t row = 0; row < bytes.size(); row += kHexRowBytes) {
      AppendTimeOf(out, segment, row, times);
      AppendHexRow(out, segment.offset + row,
                   bytes.subspan(row, std::min(kHexRowBytes, bytes.size() - row)));
      out += '\n';
    }
  }
  return out;
}

void AppendText(std::string& out, std::span<const uint8_t> bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t byte = bytes[i];
    if (byte == '\t' || byte == '\n' || (byte >= 0x20 && byte < 0x7F)) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const size_t sequence = byte >= 0x80 ? ShownSequenceAt(bytes.subspan(i)) : 0;
    if (sequence == 0) {
      AppendEscaped(out, byte);
      ++i;
      continue;
    }
    out.append(reinterpret_cast<const char*>(bytes.data() + i), sequence);
    i += sequence;
  }
}

void AppendHexRow(std::string& out, uint64_t offset, std::span<const uint8_t> row) {
  char start[24];
  std::snprintf(start, sizeof start, "%08llx ", static_cast<unsigned long long>(offset));
  out += start;
  for (size_t i = 0; i < kHexRowBytes; ++i) {
    if (i % 8 == 0) out += ' ';
    if (i < row.size()) {
      out += kDigits[row[i] >> 4];
      out += kDigits[row[i] & 0xF];
      out += ' ';
    } else {
      out += "   ";
    }
  }
  out += " |";
  for (const uint8_t byte : row) out += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
  out += "|";
}

}  // namespace byte_text
