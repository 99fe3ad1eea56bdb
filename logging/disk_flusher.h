#pragma once
// Hands log data to the disk (fdatasync) about once a second while it flows, so a power cut
// loses at most about a second of it. The flushes run on one thread for the whole program, so
// a slow disk never holds up a port's reader thread; that thread sleeps while none is due.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// What the flusher flushes: a log file, or a stand-in in tests.
class Flushable {
 public:
  virtual void FlushToDisk() = 0;

 protected:
  ~Flushable() = default;
};

class DiskFlusher {
 public:
  using Clock = std::chrono::steady_clock;

  static DiskFlusher& Shared();

  DiskFlusher();
  ~DiskFlusher();
  DiskFlusher(const DiskFlusher&) = delete;
  DiskFlusher& operator=(const DiskFlusher&) = delete;

  // `file` has data not yet on the disk: flush it at `due` (an earlier request stands).
  void Due(Flushable& file, Clock::time_point due);
  // No flush of `file` is pending or running once this returns.
  void Cancel(Flushable& file);

 private:
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<Flushable*, Clock::time_point> m_due;
  Flushable* m_flushing = nullptr;
  bool m_stopping = false;
  std::thread m_thread;
};
