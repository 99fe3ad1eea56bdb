#pragma once
// A pseudo-terminal standing in for a serial line: the benchmark writes into the controlling
// side; the logger under test reads the subordinate side, opened by its name.

#include <string>

namespace bench {

class BenchPty {
 public:
  BenchPty();  // throws std::system_error
  ~BenchPty();
  BenchPty(const BenchPty&) = delete;
  BenchPty& operator=(const BenchPty&) = delete;

  // "pts/N", the name a serial port is opened by (relative to /dev).
  const std::string& portName() const { return m_portName; }
  int masterFd() const { return m_master; }
  // Opens the subordinate side raw (no echo, no line editing, no byte translated), as the
  // standard input of a reference tool; the caller closes it.
  int OpenRawSubordinate() const;

 private:
  int m_master = -1;
  std::string m_portName;
};

}  // namespace bench
