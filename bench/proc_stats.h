#pragma once
// What the kernel counts for a thread or a process, read from its /proc folder
// ("/proc/self/task/<tid>" or "/proc/<pid>").

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

std::vector<pid_t> ThreadIds();  // the threads of this process
std::string ThreadFolder(pid_t tid);
std::string ProcessFolder(pid_t pid);

// Time spent on a processor, in nanoseconds (schedstat, or clock ticks of stat where the
// kernel keeps no schedstat).
uint64_t CpuNanoseconds(const std::string& folder);
// Voluntary and involuntary context switches: each is a wake-up or a preemption.
uint64_t ContextSwitches(const std::string& folder);
// The scheduler state letter of stat: 'S' while it sleeps in a wait, 'R' while it runs.
char SchedulerState(const std::string& folder);

}  // namespace bench
