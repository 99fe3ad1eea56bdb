#pragma once
// The platform layer under CCommPort: one open serial device. Each operation returns 0 on
// success or the errno that explains the failure, so callers can say exactly what went wrong.
//
// Thread use: the owning CCommPort calls state, timeout, purge and mask operations on the
// window's thread while its reader thread waits, reads and writes; implementations make
// that safe. Purge, CancelIo and SetEventMask(0) end a pending WaitEvent or Read at once.

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "serial/comm_events.h"
#include "serial/control_block.h"
#include "serial/line_counts.h"
#include "serial/port_holders.h"
#include "serial/read_arrivals.h"

namespace serial {

class PortDevice {
 public:
  virtual ~PortDevice() = default;

  virtual int GetState(ControlBlock& block) = 0;
  // Fails (and changes nothing) when the device refuses the block.
  virtual int SetState(const ControlBlock& block) = 0;
  virtual int SetTimeouts(const CommTimeouts& timeouts) = 0;

  // Chooses the events WaitEvent reports. An empty mask ends a pending wait with no events,
  // and a wait started on an empty mask returns at once with no events.
  virtual int SetEventMask(uint32_t mask) = 0;
  // Blocks, without polling, until one or more events of the mask occur; fills `events`.
  // Fails when the device is gone or cannot be waited on.
  virtual int WaitEvent(uint32_t& events) = 0;

  virtual int GetModemStatus(uint32_t& status) = 0;
  // Reads and clears the line error flags (CE_*) and tells how many bytes wait to be read.
  virtual int ClearError(uint32_t& errors, uint32_t& bytesWaiting) = 0;
  // The driver's counters of line events and errors; ENOTTY where it keeps none.
  virtual int GetLineCounts(LineCounts& /*counts*/) { return ENOTTY; }

  // Transfers up to `count` bytes within the timeouts; `transferred` is set on every path.
  virtual int Read(void* buffer, uint32_t count, uint32_t& transferred) = 0;
  // Read, noting when its bytes came from the driver. A device that cannot tell notes the
  // moment the read ended.
  virtual int ReadTimed(void* buffer, uint32_t count, uint32_t& transferred,
                        ReadArrivals& arrivals) {
    const int result = Read(buffer, count, transferred);
    if (transferred > 0) arrivals.Note(0, ReadArrivals::Clock::now());
    return result;
  }
  virtual int Write(const void* buffer, uint32_t count, uint32_t& transferred) = 0;

  // Ends outstanding transfers and empties the driver's input and output buffers.
  virtual void Purge() = 0;
  // Ends the outstanding transfers and waits of other threads on this device.
  virtual void CancelIo() = 0;
};

// Opens devices by the port names that discovery lists (ttyUSB0, ttyS0, pts/3, ...), and
// tells what the machine knows of them. Callable from any thread.
class PortOpener {
 public:
  virtual ~PortOpener() = default;
  // For exclusive use; returns null with `error` set when the device cannot be had. A port
  // that another process holds fails with EBUSY; HolderOf then says who.
  virtual std::unique_ptr<PortDevice> Open(const std::string& portName, int& error) = 0;
  // The device node the name opens; empty where there is no node to name.
  virtual std::string DevicePath(const std::string& /*portName*/) const { return {}; }
  // The folder where the nodes of new ports appear; empty where none do.
  virtual std::string DeviceFolder() const { return {}; }
  // Another process that holds the port, if one does.
  virtual std::optional<PortHolder> HolderOf(const std::string& /*portName*/) const {
    return std::nullopt;
  }
  // The identity the kernel tells of the device behind the port (DeviceIdentity), if any.
  virtual std::optional<std::string> IdentityOf(const std::string& /*portName*/) const {
    return std::nullopt;
  }
};

// Port names come from discovery, from the user's stored settings and from the command line;
// a name must stay inside the device folder ("ttyUSB0", "pts/3"), never climb out of it.
bool IsSafePortName(const std::string& name);

// Opens "<deviceDir>/<portName>" through termios, refusing ports that others hold and
// holding a lock file of its own while a device is open; deviceDir is "/dev" for the program.
std::unique_ptr<PortOpener> MakeTermiosOpener(std::string deviceDir, MachinePlaces places);

// The opener the program uses unless a caller gives another.
PortOpener& SystemPortOpener();
// Points the system opener's lock files at folders of a test's own; before its first use.
void SetSystemMachinePlacesForTesting(MachinePlaces places);

}  // namespace serial
