// Reads, writes and event waits of TermiosDevice: each blocks in poll on the device and on
// its own wake-up ticket, so another thread can end it at once.
#include <poll.h>
#include <unistd.h>

#include <cstdint>

#include "serial/sys_error.h"
#include "serial/termios_device.h"
#include "serial/transfer_timing.h"

namespace serial {

namespace {

constexpr short kGone = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

int TermiosDevice::WaitReady(short events, const WakeTicket& ticket, int timeoutMs) {
  pollfd fds[] = {{m_fd, events, 0}, {ticket.fd(), POLLIN, 0}};
  if (poll(fds, 2, timeoutMs) < 0) return errno == EINTR ? 0 : LastError();
  if (fds[0].revents & kGone) return kDeviceGone;
  if (fds[1].revents & POLLIN) ticket.Drain();
  return 0;
}

int TermiosDevice::Read(void* buffer, uint32_t count, uint32_t& transferred) {
  return ReadNoting(buffer, count, transferred, nullptr);
}

int TermiosDevice::ReadTimed(void* buffer, uint32_t count, uint32_t& transferred,
                             ReadArrivals& arrivals) {
  return ReadNoting(buffer, count, transferred, &arrivals);
}

int TermiosDevice::ReadNoting(void* buffer, uint32_t count, uint32_t& transferred,
                              ReadArrivals* arrivals) {
  transferred = 0;
  if (count == 0) return 0;
  const WakeTicket ticket(m_wake);
  if (ticket.error() != 0) return ticket.error();
  const uint64_t cancels = m_cancels.load();  // after the ticket, so no cancel slips between
  const TransferPlan plan = PlanRead(Timeouts(), count);
  TransferClock clock(plan);
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (transferred < count) {
    const ssize_t n = read(m_fd, bytes + transferred, count - transferred);
    if (n > 0) {
      if (arrivals != nullptr) arrivals->Note(transferred, ReadArrivals::Clock::now());
      transferred += static_cast<uint32_t>(n);
      clock.BytesMoved();
      continue;
    }
    if (n == 0) return kDeviceGone;  // a hung-up line reads as end of file
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return LastError();
    if (plan.returnAtOnce || (plan.returnOnFirstBytes && transferred > 0)) return 0;
    const int waitMs = clock.WaitMs();
    if (waitMs == 0) return 0;
    if (const int error = WaitReady(POLLIN, ticket, waitMs)) return error;
    if (m_cancels.load() != cancels) return ECANCELED;
  }
  return 0;
}

int TermiosDevice::Write(const void* buffer, uint32_t count, uint32_t& transferred) {
  transferred = 0;
  if (count == 0) return 0;
  const WakeTicket ticket(m_wake);
  if (ticket.error() != 0) return ticket.error();
  const uint64_t cancels = m_cancels.load();
  TransferClock clock(PlanWrite(Timeouts(), count));
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  while (transferred < count) {
    const ssize_t n = write(m_fd, bytes + transferred, count - transferred);
    if (n > 0) {
      transferred += static_cast<uint32_t>(n);
      continue;
    }
    if (n == 0) return kDeviceGone;  // a tty that takes nothing would keep us spinning
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return LastError();
    const int waitMs = clock.WaitMs();
    if (waitMs == 0) return 0;
    if (const int error = WaitReady(POLLOUT, ticket, waitMs)) return error;
    if (m_cancels.load() != cancels) return ECANCELED;
  }
  return 0;
}

// EV_RXCHAR is reported while received bytes wait. The device is polled for input only when
// the mask asks for it, so unread bytes cannot turn other waits into a busy loop; a hang-up
// is seen either way.
int TermiosDevice::WaitEvent(uint32_t& events) {
  events = 0;
  const WakeTicket ticket(m_wake);
  if (ticket.error() != 0) return ticket.error();
  const uint64_t maskChanges = m_maskChanges.load();
  const uint64_t cancels = m_cancels.load();
  for (;;) {
    const uint32_t mask = m_mask.load();
    if (mask == 0 || m_maskChanges.load() != maskChanges || m_cancels.load() != cancels) return 0;
    if (const int error = m_watcher ? m_watcher->Error() : 0) return error;
    uint32_t found = WatchedEvents(mask, false);
    const short input = (mask & EV_RXCHAR) != 0 ? POLLIN : 0;
    pollfd fds[] = {{m_fd, input, 0}, {ticket.fd(), POLLIN, 0}};
    if (poll(fds, 2, found != 0 ? 0 : -1) < 0 && errno != EINTR) return LastError();
    if (fds[0].revents & kGone) return kDeviceGone;
    if (fds[0].revents & POLLIN) found |= EV_RXCHAR | WatchedEvents(mask, true);
    if (fds[1].revents & POLLIN) ticket.Drain();
    if (found != 0) {
      events = found;
      return 0;
    }
  }
}

// Breaks and line errors arrive with data, so a look at the counters goes with each arrival.
uint32_t TermiosDevice::WatchedEvents(uint32_t mask, bool bytesArrived) {
  if (!m_watcher) return 0;
  if (bytesArrived) m_watcher->Refresh();
  return m_watcher->TakeEvents() & mask;
}

}  // namespace serial
