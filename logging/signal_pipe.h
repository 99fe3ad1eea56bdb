#pragma once
// Signals that must be handled as the program's own events. In the window SIGTERM, SIGINT and
// SIGHUP (a service manager stopping the program, Ctrl+C, a closed terminal or session) end it
// the way a user's quit does, with every task stopped, every byte read written and exit status
// 0; the logger without a window ends on SIGTERM and SIGINT the same way, re-reads its
// settings on SIGHUP and reopens its log files on SIGUSR1. A signal handler can do none of that, so it only writes to a pipe whose reading end the front
// end watches with its other events, and the front end acts from there.

#include <initializer_list>
#include <vector>

namespace signal_pipe {

// Installs the handler for each of `numbers` (once per process, the first call decides) and
// returns the descriptor that becomes readable when one came; -1 when no pipe could be made.
// A signal the program was started to ignore (nohup) stays ignored.
int Install(std::initializer_list<int> numbers);

// Reads away what the signals wrote: the signals that came, each once, in the order they
// first came.
std::vector<int> Take();

}  // namespace signal_pipe
