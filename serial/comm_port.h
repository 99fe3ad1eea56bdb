#pragma once
// CCommPort: the one gateway to a serial device. Opens a port by name with line settings,
// changes single settings while open, reads and writes, and runs one reader thread per open
// port that reports line events through the virtual handlers below.
//
// Open, Close, SetTimeouts and the setters run on the window's thread; the handlers (and Read,
// when a handler calls it) run on the port's reader thread. Close waits for that thread, so
// it must not be called from a handler (there it returns at once and does nothing), and a
// port must not be destroyed on its own reader thread.
//
// A derived class that overrides handlers must call Close in its own destructor: by the time
// this base destructor closes the port, the derived part is gone and the reader thread would
// call handlers of a half-destroyed object.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

  // Line-event handlers, called on the reader thread only; the base does nothing. A modem
  // status or error word that cannot be read reaches its handler as 0 (off, no errors, no
  // bytes waiting).
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
  // Fails and changes nothing when the port is already open. Any other failure leaves the
  // port closed and the device released.
  bool Open(const std::string& portName, uint32_t baudRate, uint8_t byteSize, uint8_t stopBits,
            uint8_t parity, uint8_t flowControl);
  // Ends the reader thread and releases the device; does nothing on a closed port or when
  // a Close of this port is already under way (e.g. re-entered from the message pump).
  void Close();
  bool SetTimeouts(const serial::CommTimeouts* timeouts);
  // Timeouts that every following Open gives the device before its reader thread starts, so
  // that even the first read obeys them. A device that refuses them still opens.
  void SetTimeoutsAtOpen(const serial::CommTimeouts& timeouts) { m_openTimeouts = timeouts; }

  bool SetBaudRate(uint32_t baudRate);
  bool SetByteSize(uint8_t byteSize);
  bool SetParity(uint8_t parity);
  bool SetStopBits(uint8_t stopBits);
  bool SetFlowControl(uint8_t flowChoice);

  bool IsOpen() const { return m_hComm != nullptr; }
  // errno of the last failed Open (0 after a successful one), for callers that want to say why.
  int LastOpenError() const { return m_nOpenError; }
  // What this port opens its device through.
  serial::PortOpener& Opener() const { return *m_pOpener; }
  // Reader thread: the line errors the driver counted since the device was opened; false
  // where the driver counts none.
  bool LineErrorsSinceOpen(serial::LineErrorCounts& errors);

  // Run between the 100 ms steps while Close waits for a reader thread, so the window keeps
  // handling its events. Installed by the window; the core has none.
  static void SetMessagePump(std::function<void()> pump);

 private:
  void ReaderThread();
  bool StartReader(std::unique_ptr<serial::PortDevice> device);
  bool FailOpen(int error);
  bool ChangeState(const std::function<void(serial::ControlBlock&)>& change);

  serial::PortOpener* m_pOpener;
  std::optional<serial::CommTimeouts> m_openTimeouts;
  std::unique_ptr<serial::PortDevice> m_hComm;  // null while the port is closed
  std::thread m_hThread;
  std::shared_ptr<serial::StopSignal> m_hStopEvent;  // this port's own, signalled at thread end
  std::atomic<long> m_bRunning{0};
  std::optional<serial::LineCounts> m_countsAtOpen;  // none where the driver counts nothing
  bool m_bClosing = false;  // a Close is under way; a nested one returns at once
  int m_nOpenError = 0;
};
