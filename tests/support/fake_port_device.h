#pragma once
// A scriptable serial device for tests of the layers above the platform. The test plays the
// hardware: it raises line events with the modem status, error word and queue count of that
// moment, feeds received bytes, and makes single operations fail with a chosen errno. Every
// call is counted and the blocks applied, written bytes and event masks are recorded.
// Thread-safe: the port's reader thread waits and reads while the test thread scripts.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/port_device.h"

namespace testing_support {

// The device calls a test can count.
enum class FakeCall { GetState, SetState, SetTimeouts, SetEventMask, WaitEvent, GetModemStatus,
                      ClearError, Read, Write, Purge, CancelIo };

class FakePortDevice : public serial::PortDevice {
 public:
  explicit FakePortDevice(serial::ControlBlock initial = {});

  // --- the hardware side, driven by the test ---
  // Adds `events` to those pending and sets what the line reports from now on.
  void Raise(uint32_t events, uint32_t modemStatus = 0, uint32_t errors = 0,
             uint32_t bytesWaiting = 0);
  // The modem status that each following GetModemStatus call reports, one per call; once
  // used up, the status of the last Raise applies again.
  void ScriptModemStatus(std::vector<uint32_t> statuses);
  // What the driver's counters read from now on (by default it keeps none).
  void SetLineCounts(serial::LineCounts counts);
  // Bytes that Read hands out: raises EV_RXCHAR, and the queue count follows them.
  void Feed(const std::vector<uint8_t>& bytes);

  // --- failures: 0 makes the operation work again ---
  void FailGetState(int error);
  void FailSetState(int error);
  void FailEventMask(int error);
  // Makes every wait fail, also the one pending now.
  void FailWait(int error);
  void FailModemStatus(int error);
  void FailClearError(int error);
  // Read still hands out what it has, then reports the error.
  void FailRead(int error);
  // Write takes half the bytes, then reports the error.
  void FailWrite(int error);
  // A pending wait ended by a mask change, Purge or CancelIo fails with this error instead
  // of returning no events, as some layers do.
  void FailCancelledWait(int error);

  // --- what happened ---
  int Calls(FakeCall call) const;
  serial::ControlBlock State() const;
  std::vector<serial::ControlBlock> AppliedBlocks() const;
  std::vector<uint32_t> EventMasks() const;
  std::vector<uint8_t> Written() const;
  // Calls in order, as "Purge", "SetEventMask:0x1ff", ... (waits and status reads left out).
  std::vector<std::string> Log() const;
  // Waits until a reader is blocked in WaitEvent; false when the deadline passed first.
  bool AwaitBlockedWait(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Whether an opened handle to the device is alive (the port is not free for others).
  bool Held() const;

  // --- serial::PortDevice ---
  int GetState(serial::ControlBlock& block) override;
  int SetState(const serial::ControlBlock& block) override;
  int SetTimeouts(const serial::CommTimeouts& timeouts) override;
  int SetEventMask(uint32_t mask) override;
  int WaitEvent(uint32_t& events) override;
  int GetModemStatus(uint32_t& status) override;
  int ClearError(uint32_t& errors, uint32_t& bytesWaiting) override;
  int GetLineCounts(serial::LineCounts& counts) override;
  int Read(void* buffer, uint32_t count, uint32_t& transferred) override;
  int Write(const void* buffer, uint32_t count, uint32_t& transferred) override;
  void Purge() override;
  void CancelIo() override;

 private:
  friend class FakePortOpener;  // holds and releases the device for its handles
  void Count(FakeCall call, std::string logEntry = {});
  int FailureOf(FakeCall call) const;

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::map<FakeCall, int> m_calls;
  std::map<FakeCall, int> m_failures;
  int m_cancelledWaitError = 0;
  serial::ControlBlock m_state;
  std::vector<serial::ControlBlock> m_applied;
  std::vector<uint32_t> m_masks;
  std::vector<std::string> m_log;
  uint32_t m_mask = 0;
  uint64_t m_wakeups = 0;  // each mask change, purge or cancel ends the pending wait
  int m_blockedWaits = 0;
  uint32_t m_pending = 0;
  uint32_t m_modemStatus = 0;
  std::deque<uint32_t> m_scriptedStatus;
  uint32_t m_errors = 0;
  std::optional<serial::LineCounts> m_lineCounts;
  uint32_t m_bytesWaiting = 0;
  std::deque<uint8_t> m_input;
  std::vector<uint8_t> m_written;
  bool m_held = false;
};

// Opens the fake devices added to it by name, each for exclusive use like a real port.
class FakePortOpener : public serial::PortOpener {
 public:
  // Adds (or replaces, while not held) the device that the name opens.
  FakePortDevice& Add(const std::string& portName, serial::ControlBlock initial = {});
  FakePortDevice& Device(const std::string& portName);
  int Opens() const;

  std::unique_ptr<serial::PortDevice> Open(const std::string& portName, int& error) override;

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, std::unique_ptr<FakePortDevice>> m_devices;
  int m_opens = 0;
};

}  // namespace testing_support
