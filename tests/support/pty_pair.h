#pragma once
// A pseudo-terminal pair standing in for a serial line in tests: the program opens the
// subordinate side by its port name ("pts/N", relative to /dev) and the test drives the
// controlling side. Both sides start in raw mode so no byte is altered.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // Port name for the program, e.g. "pts/3" (the device is /dev/pts/3).
  const std::string& portName() const { return m_portName; }
  // Full path of the subordinate device, e.g. "/dev/pts/3".
  std::string devicePath() const { return "/dev/" + m_portName; }
  int masterFd() const { return m_master; }

  // Writes all bytes to the controlling side (the "remote device" sends them).
  void Send(const std::vector<uint8_t>& bytes);
  void Send(const std::string& text);
  // Closes the controlling side, as if the device went away.
  void CloseMaster();

 private:
  int m_master = -1;
  std::string m_portName;
};

}  // namespace testing_support
