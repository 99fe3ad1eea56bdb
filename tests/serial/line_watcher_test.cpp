// Modem-line and line-error events from the driver's counters, and the thread that waits
// for line changes.
#include "serial/line_watcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "serial/comm_events.h"
#include "tests/support/thread_probe.h"

namespace serial {
namespace {

using namespace std::chrono_literals;

struct CounterCase {
  uint32_t LineCounts::*counter;
  uint32_t event;
  uint32_t error;
};

class CounterMeaning : public testing::TestWithParam<CounterCase> {};

TEST_P(CounterMeaning, AMovedCounterRaisesItsEventAndError) {
  LineCounts before;
  before.*GetParam().counter = 0xFFFFFFFF;
  LineCounts after = before;
  after.*GetParam().counter += 1;  // wraps, and still counts as moved
  EXPECT_EQ(EventsBetween(before, after), GetParam().event);
  EXPECT_EQ(ErrorsBetween(before, after), GetParam().error);
  EXPECT_EQ(EventsBetween(after, after), 0u);
  EXPECT_EQ(ErrorsBetween(after, after), 0u);
}

INSTANTIATE_TEST_SUITE_P(Counters, CounterMeaning,
                         testing::Values(CounterCase{&LineCounts::cts, EV_CTS, 0},
                                         CounterCase{&LineCounts::dsr, EV_DSR, 0},
                                         CounterCase{&LineCounts::carrier, EV_RLSD, 0},
                                         CounterCase{&LineCounts::ring, EV_RING, 0},
                                         CounterCase{&LineCounts::breaks, EV_BREAK, CE_BREAK},
                                         CounterCase{&LineCounts::frame, EV_ERR, CE_FRAME},
                                         CounterCase{&LineCounts::overrun, EV_ERR, CE_OVERRUN},
                                         CounterCase{&LineCounts::parity, EV_ERR, CE_RXPARITY},
                                         CounterCase{&LineCounts::bufferOverrun, EV_ERR,
                                                     CE_RXOVER}));

// A driver stand-in: a line change is a byte written to a pipe, which the wait takes.
class FakeLine {
 public:
  FakeLine() {
    if (pipe2(m_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  }
  ~FakeLine() {
    close(m_pipe[0]);
    close(m_pipe[1]);
  }

  LineWatcher::WaitForChange Wait(int failWith = 0) {
    return [this, failWith] {
      m_waitThread.store(testing_support::CurrentThreadId());
      m_waits.fetch_add(1);
      if (failWith != 0) return failWith;
      pollfd change{m_pipe[0], POLLIN, 0};
      if (poll(&change, 1, -1) < 0) return errno;
      char byte;
      return read(m_pipe[0], &byte, 1) == 1 ? 0 : EIO;
    };
  }
  LineWatcher::ReadCounts Read() {
    return [this](LineCounts& counts) {
      const std::lock_guard lock(m_mutex);
      counts = m_counts;
      return 0;
    };
  }
  LineWatcher::Notify Notify() {
    return [this] {
      const std::lock_guard lock(m_mutex);
      ++m_notified;
      m_changed.notify_all();
    };
  }

  void Change(uint32_t LineCounts::*counter, bool wake = true) {
    {
      const std::lock_guard lock(m_mutex);
      m_counts.*counter += 1;
    }
    if (wake) {
      ASSERT_EQ(write(m_pipe[1], "x", 1), 1);
    }
  }
  bool WaitForNotify(int times) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 5s, [&] { return m_notified >= times; });
  }
  pid_t waitThread() const { return m_waitThread.load(); }
  int waits() const { return m_waits.load(); }

 private:
  int m_pipe[2];
  std::mutex m_mutex;
  std::condition_variable m_changed;
  LineCounts m_counts;
  int m_notified = 0;
  std::atomic<pid_t> m_waitThread{0};
  std::atomic<int> m_waits{0};
};

TEST(LineWatcherTest, ReportsTheLinesThatChangedOnce) {
  FakeLine line;
  auto watcher = LineWatcher::Start(line.Wait(), line.Read(), line.Notify());
  ASSERT_NE(watcher, nullptr);
  line.Change(&LineCounts::cts);
  ASSERT_TRUE(line.WaitForNotify(1));
  EXPECT_EQ(watcher->TakeEvents(), EV_CTS);
  EXPECT_EQ(watcher->TakeEvents(), 0u);
  line.Change(&LineCounts::ring);
  ASSERT_TRUE(line.WaitForNotify(2));
  EXPECT_EQ(watcher->TakeEvents(), EV_RING);
  EXPECT_EQ(watcher->Error(), 0);
}

TEST(LineWatcherTest, RefreshFindsErrorsThatNoLineChangeAnnounced) {
  FakeLine line;
  auto watcher = LineWatcher::Start(line.Wait(), line.Read(), line.Notify());
  ASSERT_NE(watcher, nullptr);
  line.Change(&LineCounts::breaks, false);
  line.Change(&LineCounts::frame, false);
  watcher->Refresh();
  EXPECT_EQ(watcher->TakeEvents(), EV_BREAK | EV_ERR);
}

TEST(LineWatcherTest, EndsPromptlyWhileBlockedWaitingForAChange) {
  FakeLine line;
  auto watcher = LineWatcher::Start(line.Wait(), line.Read(), line.Notify());
  ASSERT_NE(watcher, nullptr);
  while (line.waitThread() == 0) std::this_thread::yield();
  ASSERT_TRUE(testing_support::WaitUntilBlockedInPoll(line.waitThread()));
  const auto start = std::chrono::steady_clock::now();
  watcher.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(LineWatcherTest, AFailedWaitIsKeptAndAnnounced) {
  FakeLine line;
  auto watcher = LineWatcher::Start(line.Wait(EIO), line.Read(), line.Notify());
  ASSERT_NE(watcher, nullptr);
  ASSERT_TRUE(line.WaitForNotify(1));
  EXPECT_EQ(watcher->Error(), EIO);
  watcher.reset();
  EXPECT_EQ(line.waits(), 1) << "no retrying on a device that is gone";
}

TEST(LineWatcherTest, ADriverThatCannotWaitForChangesEndsTheThreadQuietly) {
  FakeLine line;
  auto watcher = LineWatcher::Start(line.Wait(ENOTTY), line.Read(), line.Notify());
  ASSERT_NE(watcher, nullptr);
  while (line.waits() == 0) std::this_thread::yield();
  EXPECT_EQ(watcher->Error(), 0);
  watcher.reset();
  EXPECT_EQ(line.waits(), 1) << "a missing capability must not be retried in a loop";
}

TEST(LineWatcherTest, DoesNotStartWithoutCounters) {
  FakeLine line;
  EXPECT_EQ(LineWatcher::Start(
                line.Wait(), [](LineCounts&) { return ENOTTY; }, line.Notify()),
            nullptr);
}

}  // namespace
}  // namespace serial
