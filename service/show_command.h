#pragma once
// corvessa-logger show: the bytes of logs with the times their index gives them, as text (one
// line per run of bytes, after its time) or as hexdump -C rows each after its time. A log's
// rotated files come first, oldest first, then the log itself.

#include <ostream>

#include "service/command_line.h"

namespace service {

// 0, or 1 when a log cannot be read (what could be read is shown).
int ShowLogs(const Command& command, std::ostream& out, std::ostream& err);

}  // namespace service
