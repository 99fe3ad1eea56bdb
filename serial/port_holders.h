#pragma once
// Other programs on a serial port. Terminal programs mark a port they use with a UUCP lock
// file, "LCK..<name>" holding their pid, in a lock folder (/run/lock, /var/lock); others
// simply hold the device open. A port that someone else has is not opened, since two readers
// would split the bytes between them; and while this program logs a port it holds such a
// lock of its own, so that programs which honour lock files keep off.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/machine_places.h"

namespace serial {

struct PortHolder {
  pid_t pid = 0;
  std::string program;  // its command name; "unknown" where it cannot be read
  bool operator==(const PortHolder&) const = default;
};

// "LCK..<name>", with each '/' of the port name ("pts/3") as '_'.
std::string LockFileName(const std::string& portName);

// Another process that holds the port: a live lock file (a dead pid is stale, no holder), or
// a process with the device open, where its open files can be read. Never this process.
std::optional<PortHolder> FindHolder(const std::string& portName, const std::string& devicePath,
                                     const MachinePlaces& places);

// This process's lock file of a port, removed when the object goes (only while it still holds
// our pid). It appears with our pid already in it, so no other program can find it empty and
// take it for stale; and it is made without following links, since anyone may write a lock
// folder.
class PortLock {
 public:
  // The lock in the first lock folder that takes it; a stale lock file is replaced. Null
  // where no folder can be written (the port may still be used), and with `held` set when a
  // live lock of another process stands in the way, or one just made that names no pid yet.
  static std::unique_ptr<PortLock> Take(const std::string& portName, const MachinePlaces& places,
                                        bool& held);
  ~PortLock();
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  const std::filesystem::path& path() const { return m_path; }

 private:
  explicit PortLock(std::filesystem::path path) : m_path(std::move(path)) {}
  std::filesystem::path m_path;
};

}  // namespace serial
