#include "logging/disk_flusher.h"

#include <algorithm>

DiskFlusher& DiskFlusher::Shared() {
  static DiskFlusher flusher;
  return flusher;
}

DiskFlusher::DiskFlusher() : m_thread(&DiskFlusher::Run, this) {}

DiskFlusher::~DiskFlusher() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void DiskFlusher::Due(Flushable& file, Clock::time_point due) {
  {
    std::lock_guard lock(m_mutex);
    const auto [entry, added] = m_due.try_emplace(&file, due);
    if (!added) return;
  }
  m_changed.notify_all();
}

void DiskFlusher::Cancel(Flushable& file) {
  std::unique_lock lock(m_mutex);
  m_due.erase(&file);
  m_changed.wait(lock, [&] { return m_flushing != &file; });
}

void DiskFlusher::Run() {
  std::unique_lock lock(m_mutex);
  while (!m_stopping) {
    if (m_due.empty()) {
      m_changed.wait(lock);
      continue;
    }
    const auto next = std::min_element(m_due.begin(), m_due.end(), [](const auto& a, const auto& b) {
      return a.second < b.second;
    });
    // A copy: the entry may go while the lock is let go for the wait.
    if (const Clock::time_point due = next->second; Clock::now() < due) {
      m_changed.wait_until(lock, due);
      continue;
    }
    Flushable* file = next->first;
    m_due.erase(next);
    // Outside the lock: the file's writer may ask for the next flush meanwhile.
    m_flushing = file;
    lock.unlock();
    file->FlushToDisk();
    lock.lock();
    m_flushing = nullptr;
    m_changed.notify_all();
  }
}
