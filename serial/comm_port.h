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
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "serial/comm_events.h"
#include "serial/port_device.h"
#include "serial/wake_set.h"

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
  // Read, noting in `arrivals` when the bytes came from the driver (reader thread).
  uint32_t ReadTimed(void* buffer, uint32_t count, serial::ReadArrivals& arrivals);

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
  // 1: the event mask was refused; 2: waiting for an event failed (the device is gone).
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
  void SetTimeoutsAtOpen(const serial::CommTimeouts& timeouts);

  // Each changes the open device's line, and is kept for a device that comes back; false on a
  // closed port, while the device is away, or when the device refuses the change.
  bool SetBaudRate(uint32_t baudRate);
  bool SetByteSize(uint8_t byteSize);
  bool SetParity(uint8_t parity);
  bool SetStopBits(uint8_t stopBits);
  bool SetFlowControl(uint8_t flowChoice);

  // Open from a successful Open until Close, also while the device is away.
  bool IsOpen() const { return m_bOpen.load(); }
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

 protected:
  // Reader thread, after OnThreadError(2): a derived class that wants the device back waits
  // for it here (WaitUntilReadable, ReopenDevice) and returns true once it is back, to go on
  // reading; false ends the reader thread. The base ends it.
  virtual bool OnDeviceLost() { return false; }
  // A setter changed the open device's line (on the caller's thread).
  virtual void OnLineChanged() {}
  // Reader thread: lets go of a device that is gone, so that the kernel can give the node's
  // name to it again when it returns.
  void ReleaseDevice();
  // Reader thread: opens the port's device again with the line and timeouts as last set; 0 or
  // the errno (ECANCELED once a Close has begun).
  int ReopenDevice();
  // Reader thread: blocks until `fd` is readable or `timeoutMs` passed (-1: no limit); false
  // when a Close began first.
  bool WaitUntilReadable(int fd, int timeoutMs = -1);

 private:
  // The line as last set: what a device that comes back is opened with.
  struct Line {
    uint32_t baudRate;
    uint8_t byteSize, stopBits, parity, flowControl;
    bool operator==(const Line&) const = default;
  };

  void ReaderThread();
  bool StartReader(std::unique_ptr<serial::PortDevice> device);
  bool FailOpen(int error);
  bool ChangeState(const std::function<void(Line&)>& keep,
                   const std::function<void(serial::ControlBlock&)>& change);
  std::unique_ptr<serial::PortDevice> OpenDevice(const Line& line, int& error);

  serial::PortOpener* m_pOpener;
  std::string m_strPortName;
  std::thread m_hThread;
  std::shared_ptr<serial::StopSignal> m_hStopEvent;  // this port's own, signalled at thread end
  std::atomic<long> m_bRunning{0};
  std::atomic<bool> m_bOpen{false};
  bool m_bClosing = false;  // a Close is under way; a nested one returns at once
  int m_nOpenError = 0;
  serial::WakeSet m_closeWake;  // ends a reader's wait for its device when Close begins

  // The window's thread uses the device under this lock; the reader thread swaps it only
  // under it, and uses it freely otherwise.
  mutable std::mutex m_deviceMutex;
  std::unique_ptr<serial::PortDevice> m_hComm;  // null while closed or while the device is away
  Line m_line{};
  std::optional<serial::CommTimeouts> m_timeouts;
  std::optional<serial::LineCounts> m_countsAtOpen;  // none where the driver counts nothing
};
