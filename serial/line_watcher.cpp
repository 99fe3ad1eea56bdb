#include "serial/line_watcher.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>

#include "serial/sys_error.h"

namespace serial {

namespace {

int WakeSignal() { return SIGRTMIN + 4; }

void OnWakeSignal(int) {}  // its only job is to make the blocked wait return EINTR

bool WakeSignalReady() {
  static const bool ready = [] {
    struct sigaction current {};
    if (sigaction(WakeSignal(), nullptr, &current) != 0) return false;
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == OnWakeSignal) return true;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return false;
    struct sigaction action {};
    action.sa_handler = OnWakeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the interrupted wait must return, not resume
    return sigaction(WakeSignal(), &action, nullptr) == 0;
  }();
  return ready;
}

// A thread inherits its creator's signal mask; the wake signal must get through.
void UnblockWakeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, WakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

std::unique_ptr<LineWatcher> LineWatcher::Start(WaitForChange wait, ReadCounts read,
                                                Notify notify) {
  LineCounts first;
  if (read(first) != 0 || !WakeSignalReady()) return nullptr;
  return std::unique_ptr<LineWatcher>(
      new LineWatcher(std::move(wait), std::move(read), std::move(notify), first));
}

LineWatcher::LineWatcher(WaitForChange wait, ReadCounts read, Notify notify,
                         const LineCounts& first)
    : m_wait(std::move(wait)),
      m_read(std::move(read)),
      m_notify(std::move(notify)),
      m_seen(first),
      m_thread([this] { Run(); }) {}

LineWatcher::~LineWatcher() { Stop(); }

void LineWatcher::Run() {
  UnblockWakeSignal();
  while (!m_stop.load()) {
    const int error = m_wait();
    if (m_stop.load()) break;
    if (error == EINTR) continue;
    if (error != 0) {
      // A driver with counters but no way to wait for changes: no modem-line events.
      if (IsMissingCapability(error)) break;
      m_error.store(error);
      m_notify();
      break;
    }
    Refresh();
  }
  const std::lock_guard lock(m_mutex);
  m_ended = true;
  m_endedChanged.notify_all();
}

void LineWatcher::Stop() {
  using namespace std::chrono_literals;
  m_stop.store(true);
  std::unique_lock lock(m_mutex);
  while (!m_ended) {
    lock.unlock();
    pthread_kill(m_thread.native_handle(), WakeSignal());
    lock.lock();
    m_endedChanged.wait_for(lock, 10ms, [this] { return m_ended; });
  }
  lock.unlock();
  m_thread.join();
}

void LineWatcher::Refresh() {
  LineCounts now;
  if (m_read(now) != 0) return;
  uint32_t events = 0;
  {
    const std::lock_guard lock(m_mutex);
    events = EventsBetween(m_seen, now);
    m_seen = now;
    m_events |= events;
  }
  if (events != 0) m_notify();
}

uint32_t LineWatcher::TakeEvents() {
  const std::lock_guard lock(m_mutex);
  const uint32_t events = m_events;
  m_events = 0;
  return events;
}

}  // namespace serial
