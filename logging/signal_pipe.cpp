#include "logging/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace signal_pipe {

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int signal) {
  const int saved = errno;  // the handler may interrupt code that looks at errno
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &number, 1);
  errno = saved;
}

}  // namespace

int Install(std::initializer_list<int> numbers) {
  static std::once_flag once;
  std::call_once(once, [numbers] {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : numbers) {
      struct sigaction inherited {};
      if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
        continue;
      ::sigaction(signal, &action, nullptr);
    }
  });
  return g_pipe[0];
}

std::vector<int> Take() {
  std::vector<int> came;
  unsigned char number = 0;
  while (g_pipe[0] >= 0 && ::read(g_pipe[0], &number, 1) == 1)
    if (std::find(came.begin(), came.end(), number) == came.end()) came.push_back(number);
  return came;
}

}  // namespace signal_pipe
