#pragma once
// Tells whether another thread of this process sits blocked in poll, so a test can end a
// wait that has surely begun instead of guessing with a sleep.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace testing_support {

// The calling thread's kernel id, to hand to the test's main thread.
pid_t CurrentThreadId();

// The kernel ids of this process's threads now.
std::vector<pid_t> ThreadIds();

// How often thread `tid` was switched out so far, woken or not: a thread that sleeps
// without waking does not add to it.
uint64_t ContextSwitches(pid_t tid);

// Watches /proc until thread `tid` sleeps in poll or ppoll; false when `limit` passes first.
bool WaitUntilBlockedInPoll(pid_t tid,
                            std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

}  // namespace testing_support
