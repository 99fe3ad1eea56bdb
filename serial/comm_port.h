#pragma once
// CCommPort: the one gateway to a serial device. Opens a port by name with line settings,
// changes single settings while open, reads and writes, and runs one reader thread per open
// port that reports line events through the virtual handlers below.
//
// Open, Close, SetTimeouts and the setters run on the window's thread; the handlers (and Read,
// when a handler calls it) run on the port's reader thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "serial/comm_events.h"
#include "serial/port_device.h"

namespace serial {
class StopSignal;
}

class CCommPort {
 public:
  CCommPort();
  explicit CCommPort(serial::PortOpener& opener);
  CCommPort(const CCommPort&) = delete;
  CCommPort& operator=(const CCommPort&) = delete;
  virtual ~CCommPort();

  virtual uint32_t Read(void* buffer, uint32_t count);
  virtual uint32_t Write(const void* buffer, uint32_t count);

  // Line-event handlers, called on the reader thread only; the base does nothing.
  virtual void OnBreak() {}
  virtual void OnCts(bool /*on*/) {}
  virtual void OnDsr(bool /*on*/) {}
  virtual void OnLineError(uint32_t /*errors*/) {}
  virtual void OnRing(bool /*on*/) {}
  virtual void OnRlsd(bool /*on*/) {}
  virtual void OnRxChar(uint32_t /*bytesWaiting*/) {}
  virtual void OnRxFlag() {}
  virtual void OnTxEmpty() {}
  // 1: the event mask was refused; 2: waiting for an event failed.
  virtual void OnThreadError(int /*error*/) {}

  // Note the order: stop bits before parity. byteSize is the data-bits choice plus 5.
  bool Open(const std::string& portName, uint32_t baudRate, uint8_t byteSize, uint8_t stopBits,
            uint8_t parity, uint8_t flowControl);
  void Close();
  bool SetTimeouts(const serial::CommTimeouts* timeouts);

  bool SetBaudRate(uint32_t baudRate);
  bool SetByteSize(uint8_t byteSize);
  bool SetParity(uint8_t parity);
  bool SetStopBits(uint8_t stopBits);
  bool SetFlowControl(uint8_t flowChoice);

  bool IsOpen() const { return m_hComm != nullptr; }
  // errno of the last failed Open, for callers that want to say why.
  int LastOpenError() const { return m_nOpenError; }

  // Run between the 100 ms steps while Close waits for a reader thread, so the window keeps
  // handling its events. Installed by the window; the core has none.
  static void SetMessagePump(std::function<void()> pump);

 private:
  void ReaderThread();
  bool ChangeState(const std::function<void(serial::ControlBlock&)>& change);

  serial::PortOpener* m_pOpener;
  std::unique_ptr<serial::PortDevice> m_hComm;  // null while the port is closed
  std::thread m_hThread;
  std::shared_ptr<serial::StopSignal> m_hStopEvent;  // this port's own, signalled at thread end
  std::atomic<long> m_bRunning{0};
  bool m_bClosing = false;  // a Close is under way; a nested one returns at once
  int m_nOpenError = 0;
};
