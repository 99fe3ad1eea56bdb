#include "logging/store_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <system_error>

namespace store_file {

namespace fs = std::filesystem;

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void SyncFolderOf(const fs::path& file) {
  // Makes the rename itself durable; the file is complete either way.
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// The replacement keeps the old file's permissions; a first file gets those of any new file
// (0666 less the umask), not the temporary file's 0600, so that a service can read settings
// that root wrote for it.
mode_t ModeOfReplacement(const fs::path& file) {
  struct stat old {};
  if (::stat(file.c_str(), &old) == 0) return old.st_mode & 07777;
  // Read, not set and set back: that would race with files other threads create.
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("Umask:"))
      return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

}  // namespace

ExclusiveLock::ExclusiveLock(const fs::path& lockFile) {
  m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_fd < 0) return;
  int rc;
  do rc = ::flock(m_fd, LOCK_EX);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

ExclusiveLock::~ExclusiveLock() {
  if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
}

ReadResult ReadWholeFile(const fs::path& file, std::string& contents) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  std::string data;
  char chunk[8192];
  ssize_t got;
  while ((got = ::read(fd, chunk, sizeof chunk)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    data.append(chunk, static_cast<size_t>(got));
  }
  const int readError = errno;
  ::close(fd);
  if (got < 0) {
    errno = readError;
    return ReadResult::kFailed;
  }
  contents = std::move(data);
  return ReadResult::kRead;
}

bool ReplaceFile(const fs::path& file, std::string_view contents) {
  std::string temp = file.string() + ".tmp-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, ModeOfReplacement(file)) == 0 && WriteAll(fd, contents) &&
            ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolderOf(file);
  return true;
}

std::optional<fs::path> KeepAside(const fs::path& file, std::string_view tag) {
  const std::string base = file.string() + "." + std::string(tag) + "-" + LocalTimeStamp();
  // A second unreadable file within the same second gets a numbered name.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path aside = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    if (::link(file.c_str(), aside.c_str()) == 0) return aside;
    if (errno == EEXIST) continue;
    // No hard links here (another file system, or not allowed): a copy keeps it as well.
    std::error_code error;
    if (fs::copy_file(file, aside, fs::copy_options::none, error)) return aside;
    if (error != std::errc::file_exists) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace store_file
