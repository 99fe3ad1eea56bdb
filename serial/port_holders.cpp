#include "serial/port_holders.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>

namespace serial {

namespace fs = std::filesystem;

namespace {

// The pid in a lock file, written as ASCII decimal (HDB UUCP: ten characters and a line
// feed); 0 when there is none. Anyone may plant something under a lock's name: only a regular
// file is read, never through a link, never waiting (a FIFO would hang the caller).
pid_t PidInLockFile(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat status {};
  char text[32] = {};
  const bool read = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                    ::read(fd, text, sizeof text - 1) > 0;
  ::close(fd);
  const long pid = read ? std::strtol(text, nullptr, 10) : 0;
  return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool IsAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// A program that makes its lock and then writes its pid in it leaves it empty for a moment;
// within this time of its making, a lock that names no pid is still being written.
constexpr std::chrono::seconds kLockWritingTime{2};

bool JustMade(const fs::path& file) {
  struct stat status {};
  if (::lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const auto made = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(status.st_mtim.tv_sec) +
          std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
  return std::chrono::system_clock::now() - made < kLockWritingTime;
}

// Makes the lock file at `path` holding `text`; 0, or the errno (EEXIST: the name is taken).
// It is written under a name of this thread's own, then linked to its name, which refuses a
// taken one: so the lock never stands there without its pid.
int PlaceLockFile(const fs::path& path, std::string_view text) {
  const fs::path draft = path.parent_path() / ("." + path.filename().string() + "." +
                                               std::to_string(::gettid()));
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(draft.c_str(), kFlags, 0644);
  // One left by a program that ended before it could remove it (the name is removed, never
  // what it may link to).
  if (fd < 0 && errno == EEXIST && ::unlink(draft.c_str()) == 0)
    fd = ::open(draft.c_str(), kFlags, 0644);
  if (fd < 0) return errno;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  const int error = !written ? EIO : ::link(draft.c_str(), path.c_str()) == 0 ? 0 : errno;
  ::unlink(draft.c_str());
  return error;
}

std::string ProgramOf(pid_t pid, const fs::path& proc) {
  std::ifstream in(proc / std::to_string(pid) / "comm");
  std::string name;
  std::getline(in, name);
  return name.empty() ? "unknown" : name;
}

std::optional<pid_t> LiveLockHolder(const std::string& portName, const MachinePlaces& places) {
  for (const fs::path& folder : places.lockFolders) {
    const pid_t pid = PidInLockFile(folder / LockFileName(portName));
    if (pid != ::getpid() && IsAlive(pid)) return pid;
  }
  return std::nullopt;
}

bool HasOpen(const fs::path& fdFolder, dev_t device) {
  std::error_code error;
  for (fs::directory_iterator fd(fdFolder, error), end; !error && fd != end; fd.increment(error)) {
    struct stat status {};
    if (::stat(fd->path().c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
        status.st_rdev == device)
      return true;
  }
  return false;
}

// Processes whose open files cannot be read (other users', without privilege) are passed over.
std::optional<pid_t> ProcessWithDeviceOpen(const std::string& devicePath, const fs::path& proc) {
  struct stat node {};
  if (::stat(devicePath.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) return std::nullopt;
  const std::string self = std::to_string(::getpid());
  std::error_code error;
  for (fs::directory_iterator entry(proc, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name == self || name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (HasOpen(entry->path() / "fd", node.st_rdev)) return static_cast<pid_t>(std::stol(name));
  }
  return std::nullopt;
}

}  // namespace

std::string LockFileName(const std::string& portName) {
  std::string name = portName;
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

std::optional<PortHolder> FindHolder(const std::string& portName, const std::string& devicePath,
                                     const MachinePlaces& places) {
  std::optional<pid_t> pid = LiveLockHolder(portName, places);
  if (!pid) pid = ProcessWithDeviceOpen(devicePath, places.proc);
  if (!pid) return std::nullopt;
  return PortHolder{*pid, ProgramOf(*pid, places.proc)};
}

std::unique_ptr<PortLock> PortLock::Take(const std::string& portName, const MachinePlaces& places,
                                         bool& held) {
  held = false;
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
  for (const fs::path& folder : places.lockFolders) {
    const fs::path path = folder / LockFileName(portName);
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int error = PlaceLockFile(path, std::string_view(text, 11));
      if (error == 0) return std::unique_ptr<PortLock>(new PortLock(path));
      if (error != EEXIST) break;  // this folder cannot be written: try the next
      const pid_t owner = PidInLockFile(path);
      // Another task of this program has the port: the device itself refuses a second open.
      if (owner == ::getpid()) return nullptr;
      if (IsAlive(owner) || (owner == 0 && JustMade(path))) {
        held = true;
        return nullptr;
      }
      // Stale: its program is gone. Only a regular file is removed, never what a link names.
      struct stat status {};
      if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
          ::unlink(path.c_str()) != 0)
        break;
    }
  }
  return nullptr;
}

PortLock::~PortLock() {
  // Another program may have replaced a lock it thought stale: leave that one alone.
  if (PidInLockFile(m_path) == ::getpid()) ::unlink(m_path.c_str());
}

}  // namespace serial
