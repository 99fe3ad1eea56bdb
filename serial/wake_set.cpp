#include "serial/wake_set.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "serial/sys_error.h"

namespace serial {

namespace {

void DrainEventFd(int fd) {
  uint64_t count = 0;
  // Non-blocking: nothing to take is fine.
  [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof count);
}

void SignalEventFd(int fd) {
  const uint64_t one = 1;
  // Cannot fail short of the counter's limit, which a handful of wake-ups never reaches.
  [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
}

}  // namespace

WakeSet::~WakeSet() {
  for (int fd : m_spare) close(fd);
  for (const Waiter& waiter : m_waiting) close(waiter.fd);
}

void WakeSet::WakeAll() {
  const std::lock_guard lock(m_mutex);
  for (Waiter& waiter : m_waiting) {
    SignalEventFd(waiter.fd);
    waiter.woken = true;
  }
}

int WakeSet::Enter(int& fd) {
  const std::lock_guard lock(m_mutex);
  if (m_spare.empty()) {
    const int created = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (created < 0) return LastError();
    m_spare.push_back(created);
  }
  fd = m_spare.back();
  m_spare.pop_back();
  m_waiting.push_back({fd, false});
  return 0;
}

void WakeSet::Leave(int fd) {
  const std::lock_guard lock(m_mutex);
  const auto waiter = std::find_if(m_waiting.begin(), m_waiting.end(),
                                   [fd](const Waiter& w) { return w.fd == fd; });
  if (waiter->woken) DrainEventFd(fd);
  m_waiting.erase(waiter);
  m_spare.push_back(fd);
}

void WakeTicket::Drain() const { DrainEventFd(m_fd); }

}  // namespace serial
