#include "serial/stop_signal.h"

namespace serial {

void StopSignal::Raise() {
  {
    std::lock_guard lock(m_mutex);
    m_bRaised = true;
  }
  m_raised.notify_all();
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_raised.wait_for(lock, timeout, [this] { return m_bRaised; });
}

}  // namespace serial
