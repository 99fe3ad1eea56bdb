#include "logging/disk_flusher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = DiskFlusher::Clock;

// Counts its flushes; a slow one takes a while, as a busy disk does.
class CountingFile final : public Flushable {
 public:
  void FlushToDisk() override {
    m_started = true;
    std::this_thread::sleep_for(m_takes);
    std::lock_guard lock(m_mutex);
    m_times.push_back(Clock::now());
    m_flushed.notify_all();
  }
  bool AwaitFlushes(size_t count, std::chrono::milliseconds limit = 2s) {
    std::unique_lock lock(m_mutex);
    return m_flushed.wait_for(lock, limit, [&] { return m_times.size() >= count; });
  }
  size_t Flushes() {
    std::lock_guard lock(m_mutex);
    return m_times.size();
  }
  Clock::time_point FirstFlush() {
    std::lock_guard lock(m_mutex);
    return m_times.front();
  }

  std::chrono::milliseconds m_takes{0};
  std::atomic<bool> m_started{false};

 private:
  std::mutex m_mutex;
  std::condition_variable m_flushed;
  std::vector<Clock::time_point> m_times;
};

TEST(DiskFlusherTest, FlushesEachFileOnceAtItsTimeWhateverIsAskedMeanwhile) {
  DiskFlusher flusher;
  CountingFile soon, later;
  const auto start = Clock::now();
  flusher.Due(later, start + 300ms);
  flusher.Due(soon, start + 50ms);
  flusher.Due(soon, start + 10ms);  // the earlier request stands
  ASSERT_TRUE(soon.AwaitFlushes(1));
  ASSERT_TRUE(later.AwaitFlushes(1));
  EXPECT_GE(soon.FirstFlush() - start, 50ms);
  EXPECT_GE(later.FirstFlush() - start, 300ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(soon.Flushes(), 1u);
  EXPECT_EQ(later.Flushes(), 1u);
}

TEST(DiskFlusherTest, ACancelledFlushNeverRuns) {
  DiskFlusher flusher;
  CountingFile file;
  flusher.Due(file, Clock::now() + 100ms);
  flusher.Cancel(file);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(file.Flushes(), 0u);
}

// A file may go once Cancel returns, so Cancel waits for a flush that is under way.
TEST(DiskFlusherTest, CancelWaitsForAFlushUnderWay) {
  DiskFlusher flusher;
  CountingFile file;
  file.m_takes = 200ms;
  flusher.Due(file, Clock::now());
  while (!file.m_started) std::this_thread::sleep_for(1ms);
  flusher.Cancel(file);
  EXPECT_EQ(file.Flushes(), 1u);
}

}  // namespace
