#pragma once
// CRedirectPort: a logging task. Ties one serial port to one log file: while it logs, every
// byte that arrives on the port is written unchanged to the end of the file and counted.
//
// The owner's thread (the window's, or the logger's) calls every operation and the line
// setters (OnLineChanged), and reads and writes the plain fields; the port's reader thread
// runs OnRxChar, OnLineError, OnThreadError and OnDeviceLost. The counters and m_bCurrent are
// atomic and the status text is handed over under a lock, since both threads touch them.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "logging/data_tap.h"
#include "logging/log_file.h"
#include "logging/log_options.h"
#include "logging/port_owner.h"
#include "logging/time_index.h"
#include "serial/comm_port.h"
#include "serial/line_settings.h"
#include "serial/read_arrivals.h"

class SettingsStore;

class CRedirectPort : public CCommPort {
 public:
  CRedirectPort(std::string portName, bool current, PortOwner* owner, int index);
  CRedirectPort(std::string portName, bool current, PortOwner* owner, int index,
                serial::PortOpener& opener, SettingsStore& store);
  ~CRedirectPort() override;

  // Note the order: parity before stop bits (the comm port's Open takes them the other way).
  bool StartLogging(uint32_t baudRate, uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                    uint8_t flowControl);
  void StopLogging();
  bool ResumeLogging();

  bool SaveSettings();
  bool LoadSettings();
  // The stored values as they are now, with a default for each one the store no longer has,
  // so that the task is what it would be at the program's start.
  bool ReloadSettings();

  void OnRxChar(uint32_t bytesWaiting) override;
  void OnLineError(uint32_t errors) override;
  void OnThreadError(int error) override;

  // A view of the data (owner's thread): from StartView until StopView every block written
  // is handed to the returned tap as well. Costs the reader one flag test while no view is
  // open. The tap lives as long as the task.
  DataTap& StartView();
  void StopView();
  // The line errors of the run so far, where the driver counts them (from any thread).
  serial::LineErrorCounts LineErrors() const;

  std::string Status() const;
  // The five stored line choices, as one value.
  serial::LineSettings Settings() const {
    return {m_nBaudRate, m_nDataBits, m_nParity, m_nStopBits, m_nFlowCtrl};
  }

  PortOwner* const m_pOwner;  // told of every change; null: nobody is
  LogFile m_file;
  std::atomic<uint32_t> m_nFileBytes{0};  // wraps at 32 bits; shown as signed decimal
  std::atomic<uint32_t> m_nReceived{0};
  const std::string m_strPort;
  const int m_nIndex;
  std::atomic<bool> m_bCurrent;
  bool m_bLogging = false;  // what the user asked for; stored at quit
  bool m_bAppend = false;
  std::string m_strFile;
  int32_t m_nBaudRate = serial::LineSettings{}.baudRate;
  int32_t m_nDataBits = serial::LineSettings{}.dataBits;
  int32_t m_nParity = serial::LineSettings{}.parity;
  int32_t m_nStopBits = serial::LineSettings{}.stopBits;
  int32_t m_nFlowCtrl = serial::LineSettings{}.flowControl;
  LogOptions m_options;  // taken at each start, like m_bAppend
  // The wall clock of the index's events and of daily rotation; tests give their own before
  // a start.
  WallClock::time_point (*m_wallClock)() = &WallClock::now;

 protected:
  bool OnDeviceLost() override;
  void OnLineChanged() override;

 private:
  // What came of trying to open a device that had gone: it is back, another device took its
  // name, another program holds it, or it cannot be had yet.
  enum class Return { kBack, kStranger, kBusy, kNotYet };
  Return TryToResume();
  void SetStatus(std::string status);
  // Notes the status in the time index, then tells the owner.
  void PostStatus(int code);
  void TellOwner(int code);
  // Before a block is written: follows a moved or deleted file, and rotates when due.
  void PrepareFileFor(uint32_t count);
  bool RotationDue(uint32_t count) const;
  void Rotate();
  void ReportIndexProblem();
  void Post(uint32_t message, int wParam, int lParam);

  SettingsStore& m_store;
  bool m_bStopping = false;  // a StopLogging is under way (window's thread only)
  mutable std::mutex m_statusMutex;
  std::string m_strStatus = "Ready to start";
  std::string m_strLineErrors;  // "; line errors: ..." after the status, for the current run
  // Reader thread (and the window's before the reader starts): the run's device and errors.
  std::optional<std::string> m_identity;  // the device the run began with, where known
  serial::LineErrorCounts m_errorsOfEarlierDevices;  // before the device last came back
  serial::LineErrorCounts m_errorsOfThisDevice;
  // The run's log: what it keeps besides the bytes, its index, and where the next block goes.
  LogOptions m_runOptions;
  TimeIndex m_index;
  std::atomic<uint64_t> m_logOffset{0};  // written by the reader thread while it runs
  WallClock::time_point m_fileBegun;  // when the file now at the path began; the reader's once
                                      // the run started
  serial::ReadArrivals m_arrivals;  // reader thread
  // Reader thread: after a failed rotation, when to try again; zero while none failed.
  std::chrono::steady_clock::time_point m_nextRotationTry{};
  std::unique_ptr<DataTap> m_tap;  // made by the first StartView
  std::atomic<bool> m_viewed{false};
  serial::LineErrorCounts m_lineErrors;  // under m_statusMutex: the run's, as last counted
};
