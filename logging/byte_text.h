#pragma once
// How received bytes are shown to a person, by the logger's show command and the window's
// view alike. Text: printable bytes and valid UTF-8 as they are, tab and line feed as they
// are, every other byte as "\xHH". Hex: rows as hexdump -C writes them.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "logging/data_tap.h"

namespace byte_text {

void AppendText(std::string& out, std::span<const uint8_t> bytes);
// One row of up to 16 bytes at `offset`: "00000010  41 42 ... |AB..|".
void AppendHexRow(std::string& out, uint64_t offset, std::span<const uint8_t> row);

inline constexpr size_t kHexRowBytes = 16;

// Blocks as a view of a port shows them. Text: line after line as they came; hex: rows of 16
// bytes with their offset in the log, a new row wherever a block does not follow the one
// before. With `times`, each line or row begins with the local time of its first byte
// ("10:13:19.123  "), where the blocks carry times.
std::string TextOfBlocks(std::span<const DataTap::Block> blocks, bool times);
std::string HexOfBlocks(std::span<const DataTap::Block> blocks, bool times);
// "10:13:19.123", local time.
std::string ClockTime(std::chrono::system_clock::time_point time);

}  // namespace byte_text
