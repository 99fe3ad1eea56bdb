#pragma once
// A one-shot completion signal owned by one port: its reader thread raises it on the way out
// and Close waits for it in short steps. Each port has its own, so a signal can only ever
// release the Close of the port whose thread ended.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace serial {

class StopSignal {
 public:
  // Stays raised once raised; waking any number of waiters.
  void Raise();
  // True as soon as the signal is raised; false when `timeout` passed first.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex m_mutex;
  std::condition_variable m_raised;
  bool m_bRaised = false;
};

}  // namespace serial
