#pragma once
// corvessa-logger's run: the ports' tasks as the window keeps them, without a window. Every
// port marked logging in the settings file logs; a change of the file (the window saving, an
// enable or disable) or SIGHUP starts and stops ports to match it; SIGUSR1 reopens the log
// files; SIGTERM or SIGINT stops every task, with every byte read written, and ends the run.
//
// One thread runs it all; the tasks' reader threads and the port arrivals' thread reach it only
// through PostPortMessage and PortStatusChanged, which queue and wake it.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "logging/port_owner.h"
#include "logging/port_tasks.h"
#include "service/logger_places.h"
#include "service/status_lines.h"

class PortArrivals;

namespace service {

class LoggerService final : public PortOwner {
 public:
  // Tells the service manager a state: ready once every resumed port has been tried, a reload
  // under way, stopping, and a one-line status ("READY=1", "STATUS=...").
  using Notify = std::function<void(const std::string& state)>;

  LoggerService(const LoggerPlaces& places, StatusLines& lines, Notify notify);
  ~LoggerService() override;

  // Runs until a quit signal arrives on `signalFd` (read through `takeSignals`); returns the
  // exit status.
  int Run(int signalFd, const std::function<std::vector<int>()>& takeSignals);

  void PostPortMessage(uint32_t message, int wParam, int lParam) override;
  void PortStatusChanged(int index, int code, const std::string& status) override;

 private:
  struct StatusChange {
    int index;
    int code;
    std::string status;
  };

  using Clock = std::chrono::steady_clock;

  bool HandleSignals(const std::vector<int>& signals);
  void Reload();
  void FollowStore(CRedirectPort& task);
  void ApplyLineChanges(CRedirectPort& task, const serial::LineSettings& before);
  bool Start(CRedirectPort& task, bool retry = false);
  void Stop(CRedirectPort& task);
  void LookForPorts();
  int RetryTimeoutMs() const;
  void WriteStatusChanges();
  void TellStatus();

  const LoggerPlaces& m_places;
  StatusLines& m_lines;
  Notify m_notify;
  std::string m_toldStatus;
  int m_wake = -1;  // an eventfd: a status change or a port arrival is queued
  std::mutex m_queueMutex;
  std::vector<StatusChange> m_statusChanges;
  std::atomic<bool> m_portsChanged{false};
  Clock::time_point m_nextRetry;
  std::set<int> m_loggedThisRun;  // tasks that started in this run, by index
  PortTasks m_tasks;
  std::unique_ptr<PortArrivals> m_arrivals;
};

}  // namespace service
