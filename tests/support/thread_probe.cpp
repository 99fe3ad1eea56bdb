#include "tests/support/thread_probe.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace testing_support {

namespace {

std::string TaskFile(pid_t tid, const char* name) {
  return "/proc/self/task/" + std::to_string(tid) + "/" + name;
}

bool IsPollCall(long number) {
#ifdef SYS_poll
  if (number == SYS_poll) return true;
#endif
  return number == SYS_ppoll;
}

// Sleeping ('S') with poll or ppoll as the current system call.
bool BlockedInPoll(pid_t tid) {
  std::ifstream syscallFile(TaskFile(tid, "syscall"));
  long number = -1;
  if (!(syscallFile >> number) || !IsPollCall(number)) return false;
  std::ifstream statFile(TaskFile(tid, "stat"));
  std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  const auto nameEnd = stat.rfind(')');
  return nameEnd != std::string::npos && stat.compare(nameEnd, 4, ") S ") == 0;
}

}  // namespace

pid_t CurrentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

std::vector<pid_t> ThreadIds() {
  std::vector<pid_t> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  return ids;
}

uint64_t ContextSwitches(pid_t tid) {
  std::ifstream status(TaskFile(tid, "status"));
  uint64_t total = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("voluntary_ctxt_switches:") ||
        line.starts_with("nonvoluntary_ctxt_switches:"))
      total += std::stoull(line.substr(line.find(':') + 1));
  }
  return total;
}

bool WaitUntilBlockedInPoll(pid_t tid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!BlockedInPoll(tid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testing_support
