#include "serial/line_settings.h"

#include <limits>

namespace serial {

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::optional<uint32_t> ParseBaudRate(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  constexpr uint64_t kLargest = std::numeric_limits<int32_t>::max();
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > kLargest) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace serial
