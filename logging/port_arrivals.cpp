#include "logging/port_arrivals.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

PortArrivals::PortArrivals(const std::string& deviceFolder, PortOwner& owner)
    : m_watch(deviceFolder), m_owner(owner), m_stop(::eventfd(0, EFD_CLOEXEC)) {
  if (m_watch.error() == 0 && m_stop >= 0) m_thread = std::thread(&PortArrivals::Run, this);
}

PortArrivals::~PortArrivals() {
  if (m_thread.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stop, &one, sizeof one);
    m_thread.join();
  }
  if (m_stop >= 0) ::close(m_stop);
}

void PortArrivals::Run() {
  for (;;) {
    pollfd ready[] = {{m_watch.fd(), POLLIN, 0}, {m_stop, POLLIN, 0}};
    if (::poll(ready, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready[1].revents != 0) return;
    if (m_watch.Changed()) m_owner.PostPortMessage(WM_PORTS_CHANGED, 0, 0);
  }
}
