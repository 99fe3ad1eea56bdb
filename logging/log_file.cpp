#include "logging/log_file.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "logging/file_error.h"

namespace {

// How long written data may wait before it is flushed to the disk.
constexpr std::chrono::seconds kFlushInterval{1};

std::atomic<bool> g_diskFlushes{true};

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

// O_NONBLOCK only while opening, so a FIFO without a reader fails instead of hanging the
// window; writes block as usual.
int OpenForAppending(const std::string& path) {
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path, bool append) {
  Close();
  m_reopenRequested = false;
  if (path.empty()) return false;
  IgnoreBrokenPipes();
  const int fd = OpenForAppending(path);
  if (fd < 0) return false;
  m_emptyPending = !append;
  m_fd = fd;
  NoteFile(fd);
  m_path = FullPath(path);
  // As given, made absolute but not tidied: "link/../log" is not "log" when link is a link.
  std::error_code ignored;
  m_followedPath = std::filesystem::absolute(path, ignored).string();
  return true;
}

uint64_t LogFile::Size() const {
  struct stat status {};
  if (m_fd < 0 || ::fstat(m_fd, &status) != 0) return 0;
  return static_cast<uint64_t>(status.st_size);
}

bool LogFile::FollowPath() {
  if (m_fd < 0) return false;
  // Only a path that names nothing or another file counts; a path that cannot be looked up
  // for another reason (a folder's rights, a network file system) leaves the file as it is.
  const bool reopen = m_reopenRequested.exchange(false);
  struct stat named {};
  bool same = false;
  if (::stat(m_followedPath.c_str(), &named) == 0) {
    same = named.st_dev == m_device && named.st_ino == m_inode;
    if (same && !reopen) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  // Whatever now stands at the path (nothing, or a file a log rotation made) is appended to.
  const int fd = OpenForAppending(m_followedPath);
  if (fd < 0) throw FileError(CauseOfErrno(errno), m_path);
  Adopt(fd);
  return !same;
}

namespace {

// Renames without ever replacing a file; 0 or the errno.
int RenameKeepingOthers(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  // File systems without the flag: a hard link refuses a taken name just as well.
  if (errno != EINVAL) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) == 0) return 0;
  const int error = errno;
  ::unlink(to.c_str());
  return error;
}

}  // namespace

int LogFile::MoveAsideAndRenew(const std::string& asidePath) {
  if (m_fd < 0) return EBADF;
  if (const int error = RenameKeepingOthers(m_followedPath, asidePath)) return error;
  const int fd = OpenForAppending(m_followedPath);
  if (fd < 0) {
    // No new file can be had: the file goes back to its path and is written on.
    const int error = errno;
    RenameKeepingOthers(asidePath, m_followedPath);
    return error;
  }
  Adopt(fd);
  return 0;
}

void LogFile::Adopt(int fd) {
  FlushToDisk();  // the old file keeps what it got, on the disk
  {
    std::lock_guard lock(m_flushMutex);
    ::close(m_fd);
    m_fd = fd;
  }
  NoteFile(fd);
}

void LogFile::NoteFile(int fd) {
  struct stat status {};
  ::fstat(fd, &status);
  m_device = status.st_dev;
  m_inode = status.st_ino;
  m_regular = S_ISREG(status.st_mode);
  m_birthTime = std::chrono::system_clock::now();
  // The birth time only where the file system keeps one; the rest needs no more than fstat.
  struct statx birth {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &birth) == 0 &&
      (birth.stx_mask & STATX_BTIME) != 0) {
    m_birthTime = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(birth.stx_btime.tv_sec) +
            std::chrono::nanoseconds(birth.stx_btime.tv_nsec)));
  }
}

void LogFile::EmptyNow() {
  if (!m_emptyPending.load()) return;
  std::lock_guard lock(m_emptyMutex);
  if (!m_emptyPending.load()) return;
  // A pipe or a terminal has nothing to empty; that is no failure.
  if (m_fd >= 0) {
    [[maybe_unused]] const int ignored = ::ftruncate(m_fd, 0);
  }
  m_emptyPending = false;
}

void LogFile::Write(std::span<const uint8_t> block) {
  if (block.empty()) return;
  if (m_fd < 0) throw FileError(CauseOfErrno(EBADF), m_path);
  EmptyNow();
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
  AfterWrite();
}

void LogFile::SetDiskFlushes(bool on) { g_diskFlushes = on; }

// The flush is left to the flusher's thread, at most once a second per file.
void LogFile::AfterWrite() {
  if (!g_diskFlushes) return;
  std::lock_guard lock(m_flushMutex);
  if (m_unflushed) return;
  m_unflushed = true;
  DiskFlusher::Shared().Due(*this, std::max(m_lastFlush + kFlushInterval,
                                            std::chrono::steady_clock::now()));
}

// The flush runs on a copy of the descriptor, outside the lock, so the reader thread that
// writes meanwhile never waits for the disk.
void LogFile::FlushToDisk() {
  int copy;
  {
    std::lock_guard lock(m_flushMutex);
    if (m_fd < 0 || !m_unflushed) return;
    copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    m_unflushed = false;
    m_lastFlush = std::chrono::steady_clock::now();
  }
  if (copy < 0) return;
  ::fdatasync(copy);
  ::close(copy);
}

// Removes the part of a failed block that did get in, so the file and the task's byte count
// stay equal and later blocks do not follow a torn one. Best effort: a failure leaves it.
void LogFile::TakeBack(size_t written) {
  if (written == 0) return;
  const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
  if (end < 0) return;
  [[maybe_unused]] const int ignored = ::ftruncate(m_fd, end - static_cast<off_t>(written));
}

void LogFile::Close() {
  if (m_fd < 0) return;
  DiskFlusher::Shared().Cancel(*this);
  FlushToDisk();
  std::lock_guard lock(m_flushMutex);
  // Not retried on EINTR: on Linux the descriptor is released whatever close reports.
  ::close(m_fd);
  m_fd = -1;
}
