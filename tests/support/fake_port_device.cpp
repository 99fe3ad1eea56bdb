#include "tests/support/fake_port_device.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

// What the opener hands out: forwards to the device and frees it for others when destroyed,
// like closing a real port.
class FakeHandle : public serial::PortDevice {
 public:
  FakeHandle(FakePortDevice& device, std::function<void()> release)
      : m_device(device), m_release(std::move(release)) {}
  ~FakeHandle() override { m_release(); }

  int GetState(serial::ControlBlock& block) override { return m_device.GetState(block); }
  int SetState(const serial::ControlBlock& block) override { return m_device.SetState(block); }
  int SetTimeouts(const serial::CommTimeouts& timeouts) override {
    return m_device.SetTimeouts(timeouts);
  }
  int SetEventMask(uint32_t mask) override { return m_device.SetEventMask(mask); }
  int WaitEvent(uint32_t& events) override { return m_device.WaitEvent(events); }
  int GetModemStatus(uint32_t& status) override { return m_device.GetModemStatus(status); }
  int ClearError(uint32_t& errors, uint32_t& bytesWaiting) override {
    return m_device.ClearError(errors, bytesWaiting);
  }
  int GetLineCounts(serial::LineCounts& counts) override { return m_device.GetLineCounts(counts); }
  int Read(void* buffer, uint32_t count, uint32_t& transferred) override {
    return m_device.Read(buffer, count, transferred);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& transferred) override {
    return m_device.Write(buffer, count, transferred);
  }
  void Purge() override { m_device.Purge(); }
  void CancelIo() override { m_device.CancelIo(); }

 private:
  FakePortDevice& m_device;
  std::function<void()> m_release;
};

}  // namespace

FakePortDevice::FakePortDevice(serial::ControlBlock initial) : m_state(initial) {}

void FakePortDevice::Raise(uint32_t events, uint32_t modemStatus, uint32_t errors,
                           uint32_t bytesWaiting) {
  {
    std::lock_guard lock(m_mutex);
    m_pending |= events;
    m_modemStatus = modemStatus;
    m_errors = errors;
    m_bytesWaiting = bytesWaiting;
  }
  m_changed.notify_all();
}

void FakePortDevice::SetLineCounts(serial::LineCounts counts) {
  std::lock_guard lock(m_mutex);
  m_lineCounts = counts;
}

int FakePortDevice::GetLineCounts(serial::LineCounts& counts) {
  std::lock_guard lock(m_mutex);
  if (!m_lineCounts) return ENOTTY;
  counts = *m_lineCounts;
  return 0;
}

void FakePortDevice::ScriptModemStatus(std::vector<uint32_t> statuses) {
  std::lock_guard lock(m_mutex);
  m_scriptedStatus.assign(statuses.begin(), statuses.end());
}

void FakePortDevice::Feed(const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard lock(m_mutex);
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    m_bytesWaiting = static_cast<uint32_t>(m_input.size());
    m_pending |= serial::EV_RXCHAR;
  }
  m_changed.notify_all();
}

void FakePortDevice::FailGetState(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::GetState] = error;
}

void FakePortDevice::FailSetState(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::SetState] = error;
}

void FakePortDevice::FailEventMask(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::SetEventMask] = error;
}

void FakePortDevice::FailWait(int error) {
  {
    std::lock_guard lock(m_mutex);
    m_failures[FakeCall::WaitEvent] = error;
  }
  m_changed.notify_all();
}

void FakePortDevice::FailModemStatus(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::GetModemStatus] = error;
}

void FakePortDevice::FailClearError(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::ClearError] = error;
}

void FakePortDevice::FailRead(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::Read] = error;
}

void FakePortDevice::FailWrite(int error) {
  std::lock_guard lock(m_mutex);
  m_failures[FakeCall::Write] = error;
}

void FakePortDevice::FailCancelledWait(int error) {
  std::lock_guard lock(m_mutex);
  m_cancelledWaitError = error;
}

int FakePortDevice::Calls(FakeCall call) const {
  std::lock_guard lock(m_mutex);
  const auto found = m_calls.find(call);
  return found == m_calls.end() ? 0 : found->second;
}

serial::ControlBlock FakePortDevice::State() const {
  std::lock_guard lock(m_mutex);
  return m_state;
}

std::vector<serial::ControlBlock> FakePortDevice::AppliedBlocks() const {
  std::lock_guard lock(m_mutex);
  return m_applied;
}

std::vector<uint32_t> FakePortDevice::EventMasks() const {
  std::lock_guard lock(m_mutex);
  return m_masks;
}

std::vector<uint8_t> FakePortDevice::Written() const {
  std::lock_guard lock(m_mutex);
  return m_written;
}

std::vector<std::string> FakePortDevice::Log() const {
  std::lock_guard lock(m_mutex);
  return m_log;
}

bool FakePortDevice::AwaitBlockedWait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [this] { return m_blockedWaits > 0; });
}

bool FakePortDevice::Held() const {
  std::lock_guard lock(m_mutex);
  return m_held;
}

int FakePortDevice::GetState(serial::ControlBlock& block) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::GetState, "GetState");
  if (const int error = FailureOf(FakeCall::GetState)) return error;
  block = m_state;
  return 0;
}

int FakePortDevice::SetState(const serial::ControlBlock& block) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::SetState, "SetState");
  if (const int error = FailureOf(FakeCall::SetState)) return error;
  m_state = block;
  m_applied.push_back(block);
  return 0;
}

int FakePortDevice::SetTimeouts(const serial::CommTimeouts&) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::SetTimeouts, "SetTimeouts");
  return FailureOf(FakeCall::SetTimeouts);
}

int FakePortDevice::SetEventMask(uint32_t mask) {
  char entry[32];
  std::snprintf(entry, sizeof entry, "SetEventMask:%#x", mask);
  {
    std::lock_guard lock(m_mutex);
    Count(FakeCall::SetEventMask, entry);
    m_masks.push_back(mask);
    if (const int error = FailureOf(FakeCall::SetEventMask)) return error;
    m_mask = mask;
    ++m_wakeups;
  }
  m_changed.notify_all();
  return 0;
}

int FakePortDevice::WaitEvent(uint32_t& events) {
  std::unique_lock lock(m_mutex);
  Count(FakeCall::WaitEvent);
  events = 0;
  if (m_mask == 0 || FailureOf(FakeCall::WaitEvent) != 0) return FailureOf(FakeCall::WaitEvent);
  const uint64_t wakeupsAtStart = m_wakeups;
  ++m_blockedWaits;
  m_changed.notify_all();
  m_changed.wait(lock, [&] {
    return (m_pending & m_mask) != 0 || m_wakeups != wakeupsAtStart ||
           FailureOf(FakeCall::WaitEvent) != 0;
  });
  --m_blockedWaits;
  if (const int error = FailureOf(FakeCall::WaitEvent)) return error;
  if (m_wakeups != wakeupsAtStart) return m_cancelledWaitError;
  events = m_pending & m_mask;
  m_pending &= ~events;
  return 0;
}

int FakePortDevice::GetModemStatus(uint32_t& status) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::GetModemStatus);
  if (const int error = FailureOf(FakeCall::GetModemStatus)) return error;
  status = m_modemStatus;
  if (!m_scriptedStatus.empty()) {
    status = m_scriptedStatus.front();
    m_scriptedStatus.pop_front();
  }
  return 0;
}

int FakePortDevice::ClearError(uint32_t& errors, uint32_t& bytesWaiting) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::ClearError);
  if (const int error = FailureOf(FakeCall::ClearError)) return error;
  errors = std::exchange(m_errors, 0);
  bytesWaiting = m_bytesWaiting;
  return 0;
}

int FakePortDevice::Read(void* buffer, uint32_t count, uint32_t& transferred) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::Read, "Read");
  transferred = static_cast<uint32_t>(std::min<size_t>(count, m_input.size()));
  std::copy_n(m_input.begin(), transferred, static_cast<uint8_t*>(buffer));
  m_input.erase(m_input.begin(), m_input.begin() + transferred);
  m_bytesWaiting = static_cast<uint32_t>(m_input.size());
  return FailureOf(FakeCall::Read);
}

int FakePortDevice::Write(const void* buffer, uint32_t count, uint32_t& transferred) {
  std::lock_guard lock(m_mutex);
  Count(FakeCall::Write, "Write");
  const int error = FailureOf(FakeCall::Write);
  transferred = error != 0 ? count / 2 : count;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  m_written.insert(m_written.end(), bytes, bytes + transferred);
  return error;
}

void FakePortDevice::Purge() {
  {
    std::lock_guard lock(m_mutex);
    Count(FakeCall::Purge, "Purge");
    m_input.clear();
    m_bytesWaiting = 0;
    ++m_wakeups;
  }
  m_changed.notify_all();
}

void FakePortDevice::CancelIo() {
  {
    std::lock_guard lock(m_mutex);
    Count(FakeCall::CancelIo, "CancelIo");
    ++m_wakeups;
  }
  m_changed.notify_all();
}

void FakePortDevice::Count(FakeCall call, std::string logEntry) {
  ++m_calls[call];
  if (!logEntry.empty()) m_log.push_back(std::move(logEntry));
}

int FakePortDevice::FailureOf(FakeCall call) const {
  const auto found = m_failures.find(call);
  return found == m_failures.end() ? 0 : found->second;
}

FakePortDevice& FakePortOpener::Add(const std::string& portName, serial::ControlBlock initial) {
  std::lock_guard lock(m_mutex);
  auto& slot = m_devices[portName];
  slot = std::make_unique<FakePortDevice>(initial);
  return *slot;
}

FakePortDevice& FakePortOpener::Device(const std::string& portName) {
  std::lock_guard lock(m_mutex);
  const auto found = m_devices.find(portName);
  if (found == m_devices.end()) throw std::out_of_range("no fake device " + portName);
  return *found->second;
}

int FakePortOpener::Opens() const {
  std::lock_guard lock(m_mutex);
  return m_opens;
}

std::unique_ptr<serial::PortDevice> FakePortOpener::Open(const std::string& portName,
                                                         int& error) {
  std::lock_guard lock(m_mutex);
  ++m_opens;
  const auto found = m_devices.find(portName);
  if (found == m_devices.end()) {
    error = ENOENT;
    return nullptr;
  }
  FakePortDevice& device = *found->second;
  {
    std::lock_guard deviceLock(device.m_mutex);
    if (device.m_held) {
      error = EBUSY;
      return nullptr;
    }
    device.m_held = true;
  }
  error = 0;
  return std::make_unique<FakeHandle>(device, [&device] {
    std::lock_guard deviceLock(device.m_mutex);
    device.m_held = false;
  });
}

}  // namespace testing_support
