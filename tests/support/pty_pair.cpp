#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

namespace testing_support {

PtyPair::PtyPair() {
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
    throw std::system_error(errno, std::generic_category(), "posix_openpt");
  char name[128];
  if (ptsname_r(m_master, name, sizeof name) != 0)
    throw std::system_error(errno, std::generic_category(), "ptsname_r");
  m_portName = std::string_view(name).substr(std::string_view("/dev/").size());
  termios tio{};
  tcgetattr(m_master, &tio);
  cfmakeraw(&tio);
  tcsetattr(m_master, TCSANOW, &tio);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      throw std::system_error(errno, std::generic_category(), "pty write");
    }
    done += static_cast<size_t>(n);
  }
}

void PtyPair::Send(const std::string& text) { Send(std::vector<uint8_t>(text.begin(), text.end())); }

void PtyPair::CloseMaster() {
  if (m_master >= 0) close(m_master);
  m_master = -1;
}

}  // namespace testing_support
