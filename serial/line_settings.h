#pragma once
// The five line choices of a serial port and the tables the user picks them from.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace serial {

// Display texts in the order the lists show them; a choice is the position in its table.
inline constexpr std::array<std::string_view, 15> g_szBaudRates = {
    "100",   "300",   "600",   "1200",  "2400",   "4800",   "9600",  "14400",
    "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
inline constexpr std::array<std::string_view, 4> g_szDataBits = {"5", "6", "7", "8"};
inline constexpr std::array<std::string_view, 5> g_szParities = {"None", "Odd", "Even", "Mark",
                                                                  "Space"};
inline constexpr std::array<std::string_view, 3> g_szStopBits = {"1", "1,5", "2"};
inline constexpr std::array<std::string_view, 3> g_szFlowControls = {"None", "Xon\\Xoff",
                                                                      "Hardware"};

// The baud rate is the number itself; the other four are indexes into the tables above.
// Stored values are never checked against the tables, so any 32-bit value may appear here.
struct LineSettings {
  int32_t baudRate = 9600;
  int32_t dataBits = 3;     // "8"
  int32_t parity = 0;       // "None"
  int32_t stopBits = 0;     // "1"
  int32_t flowControl = 2;  // "Hardware"
};

// The names the command line takes for the choices, in table order (data bits: g_szDataBits).
inline constexpr std::array<std::string_view, 5> kParityNames = {"none", "odd", "even", "mark",
                                                                 "space"};
inline constexpr std::array<std::string_view, 3> kStopBitsNames = {"1", "1.5", "2"};
inline constexpr std::array<std::string_view, 3> kFlowControlNames = {"none", "xonxoff",
                                                                      "hardware"};

// The choice whose name is `name`, or nothing.
template <size_t N>
constexpr std::optional<int32_t> ChoiceNamed(const std::array<std::string_view, N>& names,
                                             std::string_view name) {
  for (size_t i = 0; i < N; ++i)
    if (names[i] == name) return static_cast<int32_t>(i);
  return std::nullopt;
}

// The settings as people write them: "115200 8N1", then ", hardware flow control" or
// ", Xon/Xoff flow control" where the line has flow control. A stored choice outside its
// table shows as "?".
std::string LineSettingsText(const LineSettings& settings);

// Indexes the window preselects after filling its lists: the defaults of a new task.
inline constexpr int kDefaultBaudIndex = 6;
inline constexpr int kDefaultDataBitsIndex = 3;
inline constexpr int kDefaultParityIndex = 0;
inline constexpr int kDefaultStopBitsIndex = 0;
inline constexpr int kDefaultFlowControlIndex = 2;

// A baud rate as people type it: a positive decimal number, blanks around it allowed, nothing
// else (no sign, no unit), at most the largest rate a task keeps (a signed 32-bit number).
// Nothing for any other text; kBaudRateRule then says what is wanted.
std::optional<uint32_t> ParseBaudRate(std::string_view text);
inline constexpr std::string_view kBaudRateRule =
    "Baud rate must be a whole number from 1 to 2147483647";

// The byte size the comm port receives: the data-bits choice plus 5, in 8-bit arithmetic.
constexpr uint8_t ByteSizeOf(int32_t dataBitsChoice) {
  return static_cast<uint8_t>(dataBitsChoice + 5);
}

// Only the low 8 bits of a stored choice travel to the port.
constexpr uint8_t Low8(int32_t choice) { return static_cast<uint8_t>(choice); }

}  // namespace serial
