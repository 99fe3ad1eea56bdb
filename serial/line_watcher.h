#pragma once
// Turns modem-line changes and line errors into line events. A thread of its own blocks in
// the driver (TIOCMIWAIT) until a modem line changes, then compares the driver's counters
// with those it saw last. Errors and breaks do not end that wait, so WaitEvent also asks for
// a fresh look (Refresh) whenever data arrives, which is when they come.
//
// Ending the thread: a wait for a line change ends only on a change, on a removed device or
// on a signal. The destructor sets the stop flag and sends the thread a real-time signal
// with an empty handler installed without SA_RESTART, repeating until the thread has ended
// (a signal that lands just before the thread enters the wait would otherwise be lost).
// The handler is installed only where that signal still has its default action; if the
// program uses it for something else, no watcher starts and the port simply reports no
// modem-line events.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/line_counts.h"

namespace serial {

class LineWatcher {
 public:
  // Blocks until a modem line changes: 0, EINTR when interrupted, else the errno.
  using WaitForChange = std::function<int()>;
  using ReadCounts = std::function<int(LineCounts&)>;
  // Called on the watcher's thread when new events or an error are there.
  using Notify = std::function<void()>;

  // Null when the driver keeps no counters (pseudo-terminals) or no wake-up signal is free.
  static std::unique_ptr<LineWatcher> Start(WaitForChange wait, ReadCounts read, Notify notify);

  LineWatcher(const LineWatcher&) = delete;
  LineWatcher& operator=(const LineWatcher&) = delete;
  ~LineWatcher();

  // Compares the counters now and adds the events of those that moved.
  void Refresh();
  // The events gathered since the last call (EV_*), which are then forgotten.
  uint32_t TakeEvents();
  // The errno once the driver failed a wait (device gone), else 0. Stays set.
  int Error() const { return m_error.load(); }

 private:
  LineWatcher(WaitForChange wait, ReadCounts read, Notify notify, const LineCounts& first);
  void Run();
  void Stop();

  const WaitForChange m_wait;
  const ReadCounts m_read;
  const Notify m_notify;
  std::mutex m_mutex;  // guards the fields below
  LineCounts m_seen;
  uint32_t m_events = 0;
  bool m_ended = false;
  std::condition_variable m_endedChanged;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_error{0};
  std::thread m_thread;  // last: starts once everything above exists
};

}  // namespace serial
