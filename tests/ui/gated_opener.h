#pragma once
// Devices whose reads wait at a gate that the test opens. A reader thread that is inside its
// received-data handler stays there, so a Close of its port has to wait, running the window's
// events meanwhile: the moment in which a second click or a quit must do no harm.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "serial/port_device.h"

namespace ui_testing {

class Gate {
 public:
  void Pass() {
    std::unique_lock lock(m_mutex);
    ++m_waiting;
    m_changed.wait(lock, [this] { return m_open; });
    --m_waiting;
  }
  void Open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_changed.notify_all();
  }
  int Waiting() const {
    std::lock_guard lock(m_mutex);
    return m_waiting;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_open = false;
  int m_waiting = 0;
};

class GatedDevice : public serial::PortDevice {
 public:
  GatedDevice(std::unique_ptr<serial::PortDevice> device, Gate& gate)
      : m_device(std::move(device)), m_gate(gate) {}

  int Read(void* buffer, uint32_t count, uint32_t& transferred) override {
    m_gate.Pass();
    return m_device->Read(buffer, count, transferred);
  }
  int GetState(serial::ControlBlock& block) override { return m_device->GetState(block); }
  int SetState(const serial::ControlBlock& block) override { return m_device->SetState(block); }
  int SetTimeouts(const serial::CommTimeouts& timeouts) override {
    return m_device->SetTimeouts(timeouts);
  }
  int SetEventMask(uint32_t mask) override { return m_device->SetEventMask(mask); }
  int WaitEvent(uint32_t& events) override { return m_device->WaitEvent(events); }
  int GetModemStatus(uint32_t& status) override { return m_device->GetModemStatus(status); }
  int ClearError(uint32_t& errors, uint32_t& bytesWaiting) override {
    return m_device->ClearError(errors, bytesWaiting);
  }
  int Write(const void* buffer, uint32_t count, uint32_t& transferred) override {
    return m_device->Write(buffer, count, transferred);
  }
  void Purge() override { m_device->Purge(); }
  void CancelIo() override { m_device->CancelIo(); }

 private:
  std::unique_ptr<serial::PortDevice> m_device;
  Gate& m_gate;
};

// Opens through `devices`; the reads of the port named `gatedPort` wait at `gate`.
class GatedOpener : public serial::PortOpener {
 public:
  GatedOpener(serial::PortOpener& devices, std::string gatedPort, Gate& gate)
      : m_devices(devices), m_gatedPort(std::move(gatedPort)), m_gate(gate) {}

  std::unique_ptr<serial::PortDevice> Open(const std::string& portName, int& error) override {
    std::unique_ptr<serial::PortDevice> device = m_devices.Open(portName, error);
    if (!device || portName != m_gatedPort) return device;
    return std::make_unique<GatedDevice>(std::move(device), m_gate);
  }

 private:
  serial::PortOpener& m_devices;
  const std::string m_gatedPort;
  Gate& m_gate;
};

}  // namespace ui_testing
