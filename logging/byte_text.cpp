#include "logging/byte_text.h"

#include <cstdio>

namespace byte_text {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

void AppendEscaped(std::string& out, uint8_t byte) {
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xF];
}

// The length of the valid UTF-8 sequence of two or more bytes at the start, or 0.
size_t Utf8SequenceAt(std::span<const uint8_t> bytes) {
  const uint8_t lead = bytes[0];
  size_t length;
  uint32_t point, smallest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, point = lead & 0x1Fu, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, point = lead & 0x0Fu, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, point = lead & 0x07u, smallest = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return 0;
    point = (point << 6) | (bytes[i] & 0x3Fu);
  }
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  // C1 controls are control bytes too, however they are encoded.
  const bool control = point >= 0x80 && point <= 0x9F;
  if (point < smallest || point > 0x10FFFF || surrogate || control) return 0;
  return length;
}

}  // namespace

void AppendText(std::string& out, std::span<const uint8_t> bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t byte = bytes[i];
    if (byte == '\t' || byte == '\n' || (byte >= 0x20 && byte < 0x7F)) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const size_t sequence = byte >= 0x80 ? Utf8SequenceAt(bytes.subspan(i)) : 0;
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
