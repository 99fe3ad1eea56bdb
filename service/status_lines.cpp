#include "service/status_lines.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace service {

namespace {

bool IsJournalStream(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  unsigned long long device = 0, inode = 0;
  if (stream == nullptr || std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat status {};
  return ::fstat(fd, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

const char* PriorityPrefix(StatusSeverity severity) {
  switch (severity) {
    case StatusSeverity::kInformation:
      return "<6>";
    case StatusSeverity::kWarning:
      return "<4>";
    case StatusSeverity::kFailure:
      return "<3>";
  }
  return "";
}

}  // namespace

StatusLines::StatusLines(int fd) : m_fd(fd), m_journal(IsJournalStream(fd)) {}

void StatusLines::Port(const std::string& port, StatusSeverity severity, const std::string& text) {
  std::string& last = m_lastOfPort[port];
  if (last == text) return;
  last = text;
  Write(severity, port + ": " + text);
}

void StatusLines::Program(StatusSeverity severity, const std::string& text) {
  Write(severity, "corvessa-logger: " + text);
}

// One write per line, so lines of several writers never mix.
void StatusLines::Write(StatusSeverity severity, const std::string& line) {
  std::string whole = (m_journal ? PriorityPrefix(severity) : "") + line + "\n";
  for (size_t written = 0; written < whole.size();) {
    const ssize_t n = ::write(m_fd, whole.data() + written, whole.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to say it
    written += static_cast<size_t>(n);
  }
}

}  // namespace service
