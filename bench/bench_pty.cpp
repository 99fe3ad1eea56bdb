#include "bench/bench_pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace bench {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) Fail("tcgetattr");
  cfmakeraw(&tio);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) Fail("tcsetattr");
}

}  // namespace

BenchPty::BenchPty() {
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) Fail("posix_openpt");
  char name[128];
  if (ptsname_r(m_master, name, sizeof name) != 0) Fail("ptsname_r");
  m_portName = std::string(name).substr(5);  // without "/dev/"
  MakeRaw(m_master);
  // The writer waits in poll, so that it can give up when a reader dies.
  if (fcntl(m_master, F_SETFL, O_NONBLOCK) != 0) Fail("fcntl");
}

BenchPty::~BenchPty() { close(m_master); }

int BenchPty::OpenRawSubordinate() const {
  const int fd = open(("/dev/" + m_portName).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail("open subordinate");
  MakeRaw(fd);
  return fd;
}

}  // namespace bench
