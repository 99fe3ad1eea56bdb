#pragma once
// The commands of corvessa-logger that look at or change the stored settings: list, enable and
// disable. Each returns the program's exit status and writes what it has to say to `out`
// (what was asked for) and `err` (what went wrong).

#include <ostream>

#include "service/command_line.h"
#include "service/logger_places.h"

namespace service {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Every port found, one line each, in the order discovery finds them: name, stable identity
// ("-" where the kernel tells none), "stored" or "not stored", line settings, log file,
// "logging" or "not logging", separated by tabs.
int ListPorts(const LoggerPlaces& places, std::ostream& out);

// Marks the port as logging, or not, with the command's settings; the port's other values keep
// what is stored (or their defaults). A running logger picks the change up.
int EnablePort(const Command& command, const LoggerPlaces& places, std::ostream& err);
int DisablePort(const Command& command, const LoggerPlaces& places, std::ostream& err);

}  // namespace service
