#pragma once
// Another program on the machine, for tests of what the logger does about others: a `sleep`
// process that holds a device open (as its standard input) or merely lives, so that its pid
// is a live one. Killed when the object goes.

#include <sys/types.h>

#include <string>

namespace testing_support {

class OtherProgram {
 public:
  // Returns once the program runs and, when `device` is given, holds it open.
  explicit OtherProgram(const std::string& device = {});
  ~OtherProgram();
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  void End();
  pid_t pid() const { return m_pid; }

 private:
  bool HasOpen(const std::string& device) const;
  std::string Name() const;  // as /proc tells it
  pid_t m_pid = 0;
};

// The pid of a program that has ended: a lock file holding it is stale.
pid_t DeadPid();

}  // namespace testing_support
