#pragma once
// How received bytes are shown to a person, by the logger's show command and the window's
// view alike. Text: printable bytes and valid UTF-8 as they are, tab and line feed as they
// are, every other byte as "\xHH". Hex: rows as hexdump -C writes them.

#include <cstdint>
#include <span>
#include <string>

namespace byte_text {

void AppendText(std::string& out, std::span<const uint8_t> bytes);
// One row of up to 16 bytes at `offset`: "00000010  41 42 ... |AB..|".
void AppendHexRow(std::string& out, uint64_t offset, std::span<const uint8_t> row);

inline constexpr size_t kHexRowBytes = 16;

}  // namespace byte_text
