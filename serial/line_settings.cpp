#include "serial/line_settings.h"

#include <limits>

namespace serial {

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <size_t N>
std::string_view NameOf(const std::array<std::string_view, N>& names, int32_t choice) {
  return choice >= 0 && static_cast<size_t>(choice) < N ? names[static_cast<size_t>(choice)]
                                                         : "?";
}

constexpr std::array<std::string_view, 5> kParityLetters = {"N", "O", "E", "M", "S"};

}  // namespace

std::string LineSettingsText(const LineSettings& settings) {
  std::string text = std::to_string(settings.baudRate) + " ";
  text += NameOf(g_szDataBits, settings.dataBits);
  text += NameOf(kParityLetters, settings.parity);
  text += NameOf(kStopBitsNames, settings.stopBits);
  switch (settings.flowControl) {
    case 0:
      break;
    case 1:
      text += ", Xon/Xoff flow control";
      break;
    case 2:
      text += ", hardware flow control";
      break;
    default:
      // The port keeps the flow control it has.
      text += ", the port's own flow control";
  }
  return text;
}

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
