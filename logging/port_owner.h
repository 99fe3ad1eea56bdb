#pragma once
// What a logging task tells its owner (the main window, or the logger without one). Tasks only post: a post never waits
// for the owner's thread, and the owner handles the messages in the order they were posted.

#include <cstdint>
#include <string>

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
  PORT_STATUS_PORT_LOST = 14,    // the device went away; the task waits for it to return
};

// Whether a status code reports a failure (the window marks the row "[Error]"); the others
// only bring a new status text.
constexpr bool IsErrorStatus(int code) {
  return code != 0 && code != PORT_STATUS_STARTED && code != PORT_STATUS_NEW_FILE &&
         code != PORT_STATUS_LINE_ERRORS;
}

// How much a status matters to whoever watches the program's log.
enum class StatusSeverity { kInformation, kWarning, kFailure };

constexpr StatusSeverity SeverityOf(int code) {
  switch (code) {
    case PORT_STATUS_STARTED:
    case PORT_STATUS_NEW_FILE:
      return StatusSeverity::kInformation;
    case PORT_STATUS_LINE_ERRORS:
    case PORT_STATUS_PORT_LOST:
      return StatusSeverity::kWarning;
    default:
      return StatusSeverity::kFailure;
  }
}

class PortOwner {
 public:
  virtual ~PortOwner() = default;
  // Called from any thread; must not block.
  virtual void PostPortMessage(uint32_t message, int wParam, int lParam) = 0;
  // A task's status changed to `status`. By the time a posted message is handled the task may
  // have moved on; an owner that must see every status as it was (a log of the program) takes
  // it here. From any thread; must not block. The window reads the status when it handles
  // the message.
  virtual void PortStatusChanged(int index, int code, const std::string& /*status*/) {
    PostPortMessage(WM_PORT_STATUS, index, code);
  }
};
