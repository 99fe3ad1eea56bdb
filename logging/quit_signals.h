#pragma once
// SIGTERM, SIGINT and SIGHUP (a service manager stopping the program, Ctrl+C, a closed
// terminal or session) must end the program the way a user's quit does: every task stopped,
// every byte read written, settings saved, exit status 0. A signal handler can do none of
// that, so it only writes to a pipe whose reading end the front end watches with its other
// events, and the front end quits from there.

namespace quit_signals {

// Installs the handlers once and returns the descriptor that becomes readable when one of the
// signals came; -1 when no pipe could be made.
int Install();

// Reads away what the signals wrote; the signal number of the last one, or 0.
int Take();

}  // namespace quit_signals
