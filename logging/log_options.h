#pragma once
// What a port's log keeps besides its bytes: a time index beside it, and when it is cut into
// pieces. Each option is one entry of kLogOptions, which the settings store, the logger's
// command line and the window's options dialog all go by.

#include <cstdint>
#include <optional>
#include <string_view>

struct LogOptions {
  uint32_t timestamps = 0;   // 1: "<log>.times" gets the time of every run of bytes
  uint32_t rotateSize = 0;   // bytes a file may reach before a new one starts; 0: no limit
  uint32_t rotateDaily = 0;  // 1: the first bytes of a new local day start a new file
  uint32_t rotateKeep = 0;   // rotated files kept, the newest; 0: all

  bool operator==(const LogOptions&) const = default;
};

struct LogOption {
  enum class Kind { kOnOff, kCount };
  std::string_view storedName;   // the value's name in the settings store
  std::string_view commandLine;  // the logger's option
  std::string_view label;        // the window's options dialog
  Kind kind;
  uint32_t LogOptions::*field;
};

inline constexpr LogOption kLogOptions[] = {
    {"timestamps", "--timestamps", "Write the time of the bytes beside the log (.times)",
     LogOption::Kind::kOnOff, &LogOptions::timestamps},
    {"rotatesize", "--rotate-size", "Start a new file at this size (bytes, 0: never)",
     LogOption::Kind::kCount, &LogOptions::rotateSize},
    {"rotatedaily", "--rotate-daily", "Start a new file with each new day (local time)",
     LogOption::Kind::kOnOff, &LogOptions::rotateDaily},
    {"rotatekeep", "--rotate-keep", "Keep this many earlier files (0: all)",
     LogOption::Kind::kCount, &LogOptions::rotateKeep},
};

// "on"/"off"/"1"/"0" for an on-off option; a whole number, with an optional K, M or G
// (1024-fold) for a count; nothing when the text is neither or does not fit 32 bits.
std::optional<uint32_t> ParseLogOption(const LogOption& option, std::string_view text);
