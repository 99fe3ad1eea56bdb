#pragma once
// The real serial device on Linux: a tty opened for exclusive use, in raw mode, driven
// through termios2, with reads, writes and event waits that block in poll and that another
// thread can end at once.
//
// What the kernel does not keep: fields of the control block with no termios meaning
// (XonLim, ErrorChar, fParity, the DTR and DSR handshake parts, ...) are held here and read
// back as last written. Pseudo-terminals always run 8 data bits without parity, so for them
// the frame (ByteSize, Parity, StopBits) is also held here; the rate and flow control still
// come from the kernel.
//
// Ending waits: Purge and CancelIo end a pending Read or Write with ECANCELED (the bytes
// already moved are in `transferred`) and a pending WaitEvent with no events and success;
// SetEventMask ends a pending WaitEvent the same way. EV_RXCHAR is reported while received
// bytes wait to be read. EV_RXFLAG and EV_TXEMPTY are never reported. Modem-line and
// line-error events come only from drivers that count them (not pseudo-terminals), where
// GetModemStatus reports 0 and ClearError no errors.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "serial/line_counts.h"
#include "serial/line_watcher.h"
#include "serial/port_device.h"
#include "serial/port_holders.h"
#include "serial/wake_set.h"

namespace serial {

class TermiosDevice final : public PortDevice {
 public:
  // Opens `path` for exclusive use and puts the line in raw mode; 0 or the errno. The device
  // keeps `lock` (this program's lock file of the port) until it is closed.
  static int Open(const std::string& path, std::unique_ptr<PortDevice>& device,
                  std::unique_ptr<PortLock> lock = nullptr);

  TermiosDevice(const TermiosDevice&) = delete;
  TermiosDevice& operator=(const TermiosDevice&) = delete;
  ~TermiosDevice() override;

  int GetState(ControlBlock& block) override;
  int SetState(const ControlBlock& block) override;
  int SetTimeouts(const CommTimeouts& timeouts) override;
  int SetEventMask(uint32_t mask) override;
  int WaitEvent(uint32_t& events) override;
  int GetModemStatus(uint32_t& status) override;
  int ClearError(uint32_t& errors, uint32_t& bytesWaiting) override;
  int GetLineCounts(LineCounts& counts) override;
  int Read(void* buffer, uint32_t count, uint32_t& transferred) override;
  int ReadTimed(void* buffer, uint32_t count, uint32_t& transferred,
                ReadArrivals& arrivals) override;
  int Write(const void* buffer, uint32_t count, uint32_t& transferred) override;
  void Purge() override;
  void CancelIo() override;

 private:
  TermiosDevice(int fd, std::unique_ptr<PortLock> lock, bool frameForced);
  int Start();
  int ApplyState(const ControlBlock& block);
  int SetModemLines(const ControlBlock& block);
  CommTimeouts Timeouts();
  // Waits for `events` on the device or a wake-up; 0 (ready, woken or timed out) or errno.
  int WaitReady(short events, const WakeTicket& ticket, int timeoutMs);
  // Read and ReadTimed; `arrivals` may be null.
  int ReadNoting(void* buffer, uint32_t count, uint32_t& transferred, ReadArrivals* arrivals);
  uint32_t WatchedEvents(uint32_t mask, bool bytesArrived);

  const int m_fd;
  std::unique_ptr<PortLock> m_lock;  // released after the descriptor is closed
  const bool m_frameForced;  // the driver sets its own frame (pseudo-terminals)
  bool m_hasCounts = false;  // the driver counts line errors; set once by Start

  std::mutex m_mutex;  // guards the fields below and keeps line changes whole
  ControlBlock m_block;
  CommTimeouts m_timeouts;
  LineCounts m_errorsCleared;  // counters at the last ClearError

  std::atomic<uint32_t> m_mask{0};
  std::atomic<uint64_t> m_maskChanges{0};
  std::atomic<uint64_t> m_cancels{0};
  WakeSet m_wake;
  std::unique_ptr<LineWatcher> m_watcher;  // null where the driver counts nothing
};

}  // namespace serial
