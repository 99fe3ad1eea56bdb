#include "serial/comm_port.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

#include "serial/control_block.h"
#include "serial/stop_signal.h"

namespace {

// Close waits for the reader thread in steps of this length, pumping the window in between.
constexpr std::chrono::milliseconds kCloseStep{100};

// The port whose reader runs on this thread, if any: Close must not wait for itself.
thread_local const CCommPort* t_readerOf = nullptr;

std::mutex g_pumpMutex;
std::function<void()> g_pump;

void RunMessagePump() {
  std::function<void()> pump;
  {
    std::lock_guard lock(g_pumpMutex);
    pump = g_pump;
  }
  if (pump) pump();
}

// A status or error word that cannot be read is reported as 0: no line raised, no error,
// no bytes waiting. The handler still runs, since the event itself did happen.
bool ModemLineOn(serial::PortDevice& device, uint32_t line) {
  uint32_t status = 0;
  return device.GetModemStatus(status) == 0 && (status & line) != 0;
}

uint32_t LineErrors(serial::PortDevice& device) {
  uint32_t errors = 0, waiting = 0;
  return device.ClearError(errors, waiting) == 0 ? errors : 0;
}

uint32_t BytesWaiting(serial::PortDevice& device) {
  uint32_t errors = 0, waiting = 0;
  return device.ClearError(errors, waiting) == 0 ? waiting : 0;
}

// Every event of one wait is handed on once, always in this order.
void DispatchEvents(CCommPort& port, serial::PortDevice& device, uint32_t events) {
  using namespace serial;
  if (events & EV_BREAK) port.OnBreak();
  if (events & EV_CTS) port.OnCts(ModemLineOn(device, MS_CTS_ON));
  if (events & EV_DSR) port.OnDsr(ModemLineOn(device, MS_DSR_ON));
  if (events & EV_ERR) port.OnLineError(LineErrors(device));
  if (events & EV_RING) port.OnRing(ModemLineOn(device, MS_RING_ON));
  if (events & EV_RLSD) port.OnRlsd(ModemLineOn(device, MS_RLSD_ON));
  if (events & EV_RXCHAR) port.OnRxChar(BytesWaiting(device));
  if (events & EV_RXFLAG) port.OnRxFlag();
  if (events & EV_TXEMPTY) port.OnTxEmpty();
}

}  // namespace

CCommPort::CCommPort() : CCommPort(serial::SystemPortOpener()) {}

CCommPort::CCommPort(serial::PortOpener& opener) : m_pOpener(&opener) {}

CCommPort::~CCommPort() {
  if (IsOpen()) Close();
}

void CCommPort::SetMessagePump(std::function<void()> pump) {
  std::lock_guard lock(g_pumpMutex);
  g_pump = std::move(pump);
}

bool CCommPort::Open(const std::string& portName, uint32_t baudRate, uint8_t byteSize,
                     uint8_t stopBits, uint8_t parity, uint8_t flowControl) {
  if (IsOpen()) return false;
  const Line line{baudRate, byteSize, stopBits, parity, flowControl};
  m_strPortName = portName;
  int error = 0;
  std::unique_ptr<serial::PortDevice> device = OpenDevice(line, error);
  if (!device) return FailOpen(error);
  {
    std::lock_guard lock(m_deviceMutex);
    m_line = line;
  }
  return StartReader(std::move(device));
}

// The device with the line applied by the opening rule and the timeouts in force.
std::unique_ptr<serial::PortDevice> CCommPort::OpenDevice(const Line& line, int& error) {
  error = 0;
  std::unique_ptr<serial::PortDevice> device = m_pOpener->Open(m_strPortName, error);
  if (!device) {
    if (error == 0) error = ENODEV;
    return nullptr;
  }
  serial::ControlBlock block;
  if ((error = device->GetState(block)) != 0) return nullptr;
  serial::ApplyOpeningSettings(block, line.baudRate, line.byteSize, line.stopBits, line.parity,
                               line.flowControl);
  if ((error = device->SetState(block)) != 0) return nullptr;
  std::optional<serial::CommTimeouts> timeouts;
  {
    std::lock_guard lock(m_deviceMutex);
    timeouts = m_timeouts;
  }
  if (timeouts) device->SetTimeouts(*timeouts);
  return device;
}

bool CCommPort::FailOpen(int error) {
  m_nOpenError = error;
  return false;
}

bool CCommPort::StartReader(std::unique_ptr<serial::PortDevice> device) {
  // Made before anything changes: without it Close would have nothing to wait for.
  std::shared_ptr<serial::StopSignal> stopSignal;
  try {
    stopSignal = std::make_shared<serial::StopSignal>();
  } catch (const std::bad_alloc&) {
    return FailOpen(ENOMEM);
  }
  // Everything the thread reads is in place before it exists: it starts running at once.
  serial::LineCounts counts;
  {
    std::lock_guard lock(m_deviceMutex);
    m_countsAtOpen.reset();
    if (device->GetLineCounts(counts) == 0) m_countsAtOpen = counts;
    m_hComm = std::move(device);
  }
  m_hStopEvent = std::move(stopSignal);
  m_bRunning.store(1);
  m_bOpen.store(true);
  try {
    m_hThread = std::thread(&CCommPort::ReaderThread, this);
  } catch (const std::system_error& e) {
    m_bRunning.store(0);
    m_bOpen.store(false);
    m_hStopEvent.reset();
    std::lock_guard lock(m_deviceMutex);
    m_hComm.reset();  // frees the port for others
    return FailOpen(e.code().value());
  }
  m_nOpenError = 0;
  return true;
}

void CCommPort::ReaderThread() {
  t_readerOf = this;
  if (m_hComm->SetEventMask(serial::kAllEvents) != 0) {
    OnThreadError(1);
  } else {
    while (m_bRunning.load() != 0) {
      uint32_t events = 0;
      if (m_hComm->WaitEvent(events) != 0) {
        // A wait cut short by Close is the normal way out, not a failure to report. A
        // device that fails is reported once and left alone unless it comes back: retrying
        // it would spin.
        if (m_bRunning.load() == 0) break;
        OnThreadError(2);
        if (!OnDeviceLost()) break;
        continue;
      }
      DispatchEvents(*this, *m_hComm, events);
    }
  }
  m_hStopEvent->Raise();
}

void CCommPort::ReleaseDevice() {
  std::unique_ptr<serial::PortDevice> gone;
  std::lock_guard lock(m_deviceMutex);
  gone = std::move(m_hComm);
}

int CCommPort::ReopenDevice() {
  Line line;
  {
    std::lock_guard lock(m_deviceMutex);
    line = m_line;
  }
  int error = 0;
  std::unique_ptr<serial::PortDevice> device = OpenDevice(line, error);
  if (!device) return error;
  if ((error = device->SetEventMask(serial::kAllEvents)) != 0) return error;
  serial::LineCounts counts;
  const bool counted = device->GetLineCounts(counts) == 0;
  std::lock_guard lock(m_deviceMutex);
  // Close may have begun meanwhile: it finds no device to wake, so this one must not stay.
  if (m_bRunning.load() == 0) return ECANCELED;
  // A setting changed while the device opened is kept in m_line only: apply it too.
  if (line != m_line) {
    serial::ControlBlock block;
    if ((error = device->GetState(block)) != 0) return error;
    serial::ApplyOpeningSettings(block, m_line.baudRate, m_line.byteSize, m_line.stopBits,
                                 m_line.parity, m_line.flowControl);
    if ((error = device->SetState(block)) != 0) return error;
  }
  m_countsAtOpen.reset();
  if (counted) m_countsAtOpen = counts;
  m_hComm = std::move(device);
  return 0;
}

bool CCommPort::WaitUntilReadable(int fd, int timeoutMs) {
  const serial::WakeTicket ticket(m_closeWake);
  // After the ticket: a Close that begins from here on wakes it.
  if (ticket.error() != 0 || m_bRunning.load() == 0) return false;
  pollfd ready[] = {{fd, POLLIN, 0}, {ticket.fd(), POLLIN, 0}};
  int got;
  do got = ::poll(ready, 2, timeoutMs);
  while (got < 0 && errno == EINTR);
  return got >= 0 && ready[1].revents == 0 && m_bRunning.load() != 0;
}

void CCommPort::Close() {
  // On the reader thread Close would wait for itself; a nested Close (from the message pump)
  // finds the outer one already doing the work.
  if (t_readerOf == this || !IsOpen() || m_bClosing) return;
  m_bClosing = true;
  // Cleared before the wake-up, so a thread that wakes can never start another wait.
  m_bRunning.store(0);
  {
    std::lock_guard lock(m_deviceMutex);
    if (m_hComm) {
      m_hComm->Purge();
      m_hComm->CancelIo();
      m_hComm->SetEventMask(0);
    }
  }
  m_closeWake.WakeAll();  // a reader waiting for its device to return
  while (!m_hStopEvent->WaitFor(kCloseStep)) RunMessagePump();
  m_hThread.join();
  {
    std::lock_guard lock(m_deviceMutex);
    m_hComm.reset();
  }
  m_hStopEvent.reset();
  m_bOpen.store(false);
  m_bClosing = false;
}

bool CCommPort::LineErrorsSinceOpen(serial::LineErrorCounts& errors) {
  serial::LineCounts now;
  if (!m_hComm || !m_countsAtOpen || m_hComm->GetLineCounts(now) != 0) return false;
  errors = serial::ErrorCountsBetween(*m_countsAtOpen, now);
  return true;
}

uint32_t CCommPort::Read(void* buffer, uint32_t count) {
  if (!m_hComm) return 0;
  uint32_t transferred = 0;
  // What did arrive before a failure is still data the caller must not lose.
  m_hComm->Read(buffer, count, transferred);
  return transferred;
}

uint32_t CCommPort::ReadTimed(void* buffer, uint32_t count, serial::ReadArrivals& arrivals) {
  arrivals.Clear();
  if (!m_hComm) return 0;
  uint32_t transferred = 0;
  m_hComm->ReadTimed(buffer, count, transferred, arrivals);
  return transferred;
}

uint32_t CCommPort::Write(const void* buffer, uint32_t count) {
  std::lock_guard lock(m_deviceMutex);
  if (!m_hComm) return 0;
  uint32_t transferred = 0;
  return m_hComm->Write(buffer, count, transferred) == 0 ? transferred : 0;
}

void CCommPort::SetTimeoutsAtOpen(const serial::CommTimeouts& timeouts) {
  std::lock_guard lock(m_deviceMutex);
  m_timeouts = timeouts;
}

bool CCommPort::SetTimeouts(const serial::CommTimeouts* timeouts) {
  if (!IsOpen() || timeouts == nullptr) return false;
  std::lock_guard lock(m_deviceMutex);
  m_timeouts = *timeouts;
  return m_hComm && m_hComm->SetTimeouts(*timeouts) == 0;
}

// A change the device refuses is not kept, or a device that comes back would refuse the whole
// line; while the device is away the change is kept for its return.
bool CCommPort::ChangeState(const std::function<void(Line&)>& keep,
                            const std::function<void(serial::ControlBlock&)>& change) {
  if (!IsOpen()) return false;
  {
    std::lock_guard lock(m_deviceMutex);
    if (!m_hComm) {
      keep(m_line);
      return false;
    }
    serial::ControlBlock block;
    if (m_hComm->GetState(block) != 0) return false;
    change(block);
    if (m_hComm->SetState(block) != 0) return false;
    keep(m_line);
  }
  OnLineChanged();
  return true;
}

bool CCommPort::SetBaudRate(uint32_t baudRate) {
  return ChangeState([baudRate](Line& line) { line.baudRate = baudRate; },
                     [baudRate](serial::ControlBlock& block) { block.BaudRate = baudRate; });
}

bool CCommPort::SetByteSize(uint8_t byteSize) {
  return ChangeState([byteSize](Line& line) { line.byteSize = byteSize; },
                     [byteSize](serial::ControlBlock& block) { block.ByteSize = byteSize; });
}

bool CCommPort::SetParity(uint8_t parity) {
  return ChangeState([parity](Line& line) { line.parity = parity; },
                     [parity](serial::ControlBlock& block) { block.Parity = parity; });
}

bool CCommPort::SetStopBits(uint8_t stopBits) {
  return ChangeState([stopBits](Line& line) { line.stopBits = stopBits; },
                     [stopBits](serial::ControlBlock& block) { block.StopBits = stopBits; });
}

bool CCommPort::SetFlowControl(uint8_t flowChoice) {
  return ChangeState(
      [flowChoice](Line& line) { line.flowControl = flowChoice; },
      [flowChoice](serial::ControlBlock& block) { serial::ApplyFlowControl(block, flowChoice); });
}
