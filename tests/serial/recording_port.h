#pragma once
// A comm port that records every handler call as text ("Cts:1", "RxChar:42", ...) so tests can
// check order and arguments, and lets a test wait for calls with a deadline.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/comm_port.h"

namespace testing_support {

// A door the reader thread waits at inside a handler, so a test can keep it busy.
class Gate {
 public:
  // Blocks until opened or the deadline passes (then notes the time-out and goes on, so a
  // faulty port cannot hang the test).
  void Pass(std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    std::unique_lock lock(m_mutex);
    m_bWaiting = true;
    m_changed.notify_all();
    if (!m_changed.wait_for(lock, deadline, [this] { return m_bOpen; })) m_bTimedOut = true;
    m_bWaiting = false;
  }
  bool AwaitWaiter(std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, deadline, [this] { return m_bWaiting; });
  }
  void Open() {
    std::lock_guard lock(m_mutex);
    m_bOpen = true;
    m_changed.notify_all();
  }
  bool TimedOut() const {
    std::lock_guard lock(m_mutex);
    return m_bTimedOut;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_bOpen = false;
  bool m_bWaiting = false;
  bool m_bTimedOut = false;
};

class RecordingPort : public CCommPort {
 public:
  using CCommPort::CCommPort;
  ~RecordingPort() override { Close(); }

  // Runs on the reader thread after OnRxChar is recorded; set it before Open.
  std::function<void(RecordingPort&, uint32_t)> rxAction;

  void OnBreak() override { Record("Break"); }
  void OnCts(bool on) override { Record("Cts:" + std::to_string(on)); }
  void OnDsr(bool on) override { Record("Dsr:" + std::to_string(on)); }
  void OnLineError(uint32_t errors) override { Record("LineError:" + std::to_string(errors)); }
  void OnRing(bool on) override { Record("Ring:" + std::to_string(on)); }
  void OnRlsd(bool on) override { Record("Rlsd:" + std::to_string(on)); }
  void OnRxChar(uint32_t waiting) override {
    Record("RxChar:" + std::to_string(waiting));
    if (rxAction) rxAction(*this, waiting);
  }
  void OnRxFlag() override { Record("RxFlag"); }
  void OnTxEmpty() override { Record("TxEmpty"); }
  void OnThreadError(int error) override { Record("ThreadError:" + std::to_string(error)); }

  std::vector<std::string> Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  // True once at least `count` calls are recorded.
  bool AwaitCalls(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    std::unique_lock lock(m_mutex);
    return m_recorded.wait_for(lock, deadline, [&] { return m_calls.size() >= count; });
  }

 private:
  void Record(std::string call) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
    m_recorded.notify_all();
  }

  mutable std::mutex m_mutex;
  std::condition_variable m_recorded;
  std::vector<std::string> m_calls;
};

}  // namespace testing_support
