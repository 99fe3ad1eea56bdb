#include "tests/support/other_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testing_support {

OtherProgram::OtherProgram(const std::string& device) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!device.empty())
    posix_spawn_file_actions_addopen(&actions, 0, device.c_str(), O_RDONLY | O_NOCTTY, 0);
  char sleep[] = "sleep", seconds[] = "60";
  char* argv[] = {sleep, seconds, nullptr};
  const int error = posix_spawnp(&m_pid, "sleep", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start sleep");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  // posix_spawn returns once the new program's memory is in place, a moment before the kernel
  // gives the process its new name.
  while (Name() != "sleep") {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("sleep did not start");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  while (!device.empty() && !HasOpen(device)) {
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("sleep did not open " + device);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

OtherProgram::~OtherProgram() { End(); }

void OtherProgram::End() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
  m_pid = 0;
}

std::string OtherProgram::Name() const {
  std::ifstream comm("/proc/" + std::to_string(m_pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool OtherProgram::HasOpen(const std::string& device) const {
  struct stat input {}, node {};
  const std::string fd = "/proc/" + std::to_string(m_pid) + "/fd/0";
  return stat(fd.c_str(), &input) == 0 && stat(device.c_str(), &node) == 0 &&
         input.st_rdev == node.st_rdev;
}

pid_t DeadPid() {
  OtherProgram gone;
  const pid_t pid = gone.pid();
  gone.End();
  return pid;
}

}  // namespace testing_support
