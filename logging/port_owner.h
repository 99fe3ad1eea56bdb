#pragma once
// What a logging task tells its owner (the main window). Tasks only post: a post never waits
// for the owner's thread, and the owner handles the messages in the order they were posted.

#include <cstdint>

inline constexpr uint32_t WM_PORT_STATISTICS = 0x19D3;  // wParam 0, lParam 0
inline constexpr uint32_t WM_PORT_STATUS = 0x19D4;      // wParam task index, lParam status code
inline constexpr uint32_t WM_PORTS_CHANGED = 0x19D5;    // a device node appeared; 0, 0

enum PortStatusCode : int {
  PORT_STATUS_STARTED = 1,
  PORT_STATUS_FILE_OPEN_FAILED = 2,
  PORT_STATUS_PORT_OPEN_FAILED = 3,
  PORT_STATUS_FILE_ERROR = 10,
  PORT_STATUS_PORT_ERROR = 11,  // the reader thread failed: the device is gone
  PORT_STATUS_NEW_FILE = 12,    // the log file was moved or deleted; logging goes on anew
  PORT_STATUS_LINE_ERRORS = 13,  // the driver counted line errors; logging goes on
};

// Whether a status code reports a failure (the window marks the row "[Error]"); the others
// only bring a new status text.
constexpr bool IsErrorStatus(int code) {
  return code != 0 && code != PORT_STATUS_STARTED && code != PORT_STATUS_NEW_FILE &&
         code != PORT_STATUS_LINE_ERRORS;
}

class PortOwner {
 public:
  virtual ~PortOwner() = default;
  // Called from any thread; must not block.
  virtual void PostPortMessage(uint32_t message, int wParam, int lParam) = 0;
};
