#include "logging/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace quit_signals {

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int signal) {
  const int saved = errno;  // the handler may interrupt code that looks at errno
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &number, 1);
  errno = saved;
}

}  // namespace

int Install() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      // A signal the program was started to ignore (nohup) stays ignored.
      struct sigaction inherited {};
      if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
        continue;
      ::sigaction(signal, &action, nullptr);
    }
  });
  return g_pipe[0];
}

int Take() {
  int last = 0;
  unsigned char number = 0;
  while (g_pipe[0] >= 0 && ::read(g_pipe[0], &number, 1) == 1) last = number;
  return last;
}

}  // namespace quit_signals
