#pragma once
// The logger's log: one line per status change on standard error, "<port>: <status>". When
// standard error is the systemd journal, each line starts with its priority ("<6>" for
// information, "<4>" for a warning, "<3>" for a failure), which the journal takes from it.

#include <map>
#include <string>

#include "logging/port_owner.h"

namespace service {

class StatusLines {
 public:
  // Writes to `fd`; whether it is the journal is told by JOURNAL_STREAM, which names the
  // journal's stream by device and inode.
  explicit StatusLines(int fd);

  // A port's line; the same line for the same port twice in a row is written once, so a
  // retry that fails as before, or a disk that refuses every block, does not flood the log.
  void Port(const std::string& port, StatusSeverity severity, const std::string& text);
  // A line of the program's own.
  void Program(StatusSeverity severity, const std::string& text);

 private:
  void Write(StatusSeverity severity, const std::string& line);

  int m_fd;
  bool m_journal;
  std::map<std::string, std::string> m_lastOfPort;
};

}  // namespace service
