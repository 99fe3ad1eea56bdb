#include "bench/proc_stats.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace bench {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fields of stat after the command name, which may hold spaces and parentheses.
std::vector<std::string> StatFieldsAfterName(const std::string& folder) {
  const std::string stat = ReadFile(folder + "/stat");
  std::istringstream rest(stat.substr(stat.rfind(')') + 1));
  std::vector<std::string> fields;
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

}  // namespace

std::vector<pid_t> ThreadIds() {
  std::vector<pid_t> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  return ids;
}

std::string ThreadFolder(pid_t tid) { return "/proc/self/task/" + std::to_string(tid); }

std::string ProcessFolder(pid_t pid) { return "/proc/" + std::to_string(pid); }

namespace {

// A process's own schedstat and status count its first thread only: a process is the sum of
// its threads.
template <typename PerThread>
uint64_t SumOverThreads(const std::string& folder, PerThread perThread) {
  std::error_code none;
  if (!std::filesystem::is_directory(folder + "/task", none)) return perThread(folder);
  uint64_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/task", none))
    total += perThread(entry.path().string());
  return total;
}

uint64_t ThreadCpuNanoseconds(const std::string& folder) {
  std::istringstream schedstat(ReadFile(folder + "/schedstat"));
  uint64_t onCpu = 0;
  if (schedstat >> onCpu) return onCpu;
  const auto fields = StatFieldsAfterName(folder);
  if (fields.size() < 13) return 0;
  // utime and stime are the 14th and 15th fields of stat, counted from the pid.
  const uint64_t ticks = std::stoull(fields[11]) + std::stoull(fields[12]);
  return ticks * 1'000'000'000ull / static_cast<uint64_t>(sysconf(_SC_CLK_TCK));
}

uint64_t ThreadContextSwitches(const std::string& folder) {
  std::istringstream status(ReadFile(folder + "/status"));
  uint64_t total = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("voluntary_ctxt_switches:") ||
        line.starts_with("nonvoluntary_ctxt_switches:"))
      total += std::stoull(line.substr(line.find(':') + 1));
  }
  return total;
}

}  // namespace

uint64_t CpuNanoseconds(const std::string& folder) {
  return SumOverThreads(folder, ThreadCpuNanoseconds);
}

uint64_t ContextSwitches(const std::string& folder) {
  return SumOverThreads(folder, ThreadContextSwitches);
}

char SchedulerState(const std::string& folder) {
  const auto fields = StatFieldsAfterName(folder);
  return fields.empty() ? '?' : fields[0][0];
}

}  // namespace bench
