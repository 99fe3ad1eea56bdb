#include "logging/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "logging/file_error.h"

namespace {

std::string FullPath(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return absolute.empty() ? path : absolute.lexically_normal().string();
}

// A log file may be a pipe whose reader goes away. SIGPIPE would then end the whole program,
// every port with it; ignored, the write fails with EPIPE and is reported like any file error.
// Process-wide, once, before any log file can be written.
void IgnoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path, bool append) {
  Close();
  if (path.empty()) return false;
  IgnoreBrokenPipes();
  // O_NONBLOCK only while opening, so a FIFO without a reader fails instead of hanging the
  // window; writes block as usual.
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (append ? 0 : O_TRUNC);
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  m_fd = fd;
  m_path = FullPath(path);
  return true;
}

bool LogFile::SeekToEnd() { return m_fd >= 0 && ::lseek(m_fd, 0, SEEK_END) >= 0; }

uint64_t LogFile::Size() const {
  struct stat status {};
  if (m_fd < 0 || ::fstat(m_fd, &status) != 0) return 0;
  return static_cast<uint64_t>(status.st_size);
}

void LogFile::Write(std::span<const uint8_t> block) {
  if (block.empty()) return;
  if (m_fd < 0) throw FileError(CauseOfErrno(EBADF), m_path);
  size_t written = 0;
  while (written < block.size()) {
    const ssize_t n = ::write(m_fd, block.data() + written, block.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // A write that stores nothing without saying why has run out of space.
    const int error = n == 0 ? ENOSPC : errno;
    TakeBack(written);
    throw FileError(CauseOfErrno(error), m_path);
  }
}

// Removes the part of a failed block that did get in, so the file and the task's byte count
// stay equal and later blocks do not follow a torn one. Best effort: a failure leaves it.
void LogFile::TakeBack(size_t written) {
  if (written == 0) return;
  const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
  if (end < 0) return;
  const off_t start = end - static_cast<off_t>(written);
  if (::ftruncate(m_fd, start) == 0) ::lseek(m_fd, start, SEEK_SET);
}

void LogFile::Close() {
  // Not retried on EINTR: on Linux the descriptor is released whatever close reports.
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}
