// A stand-in serial device for the scripts that run the real program: makes a pseudo-terminal,
// links LINK to its subordinate side and writes to the far end whatever arrives on standard
// input. Unlike socat it keeps no descriptor of the subordinate side open, as a real driver
// keeps none, so the program finds the port free. At the end of its input it holds the line
// until it is ended; ending it hangs the line up, as an unplugged adapter does.
//
// Usage: pty_feed LINK < data
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

bool WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, static_cast<size_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pty_feed LINK < data\n");
    return 2;
  }
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
      ptsname_r(master, name, sizeof name) != 0) {
    std::perror("pty_feed: pseudo-terminal");
    return 1;
  }
  termios line{};
  tcgetattr(master, &line);
  cfmakeraw(&line);
  tcsetattr(master, TCSANOW, &line);
  if (symlink(name, argv[1]) != 0) {
    std::perror("pty_feed: link");
    return 1;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || !WriteAll(master, buffer, got)) break;
  }
  for (;;) pause();
}
