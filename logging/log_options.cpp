#include "logging/log_options.h"

#include <charconv>

std::optional<uint32_t> ParseLogOption(const LogOption& option, std::string_view text) {
  if (option.kind == LogOption::Kind::kOnOff) {
    if (text == "on" || text == "1") return 1;
    if (text == "off" || text == "0") return 0;
    return std::nullopt;
  }
  uint64_t unit = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K':
        unit = 1ull << 10;
        break;
      case 'M':
        unit = 1ull << 20;
        break;
      case 'G':
        unit = 1ull << 30;
        break;
      default:
        break;
    }
  }
  if (unit != 1) text.remove_suffix(1);
  uint64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (number > UINT32_MAX / unit) return std::nullopt;
  return static_cast<uint32_t>(number * unit);
}
