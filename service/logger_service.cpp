#include "service/logger_service.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "logging/port_arrivals.h"
#include "logging/port_discovery.h"
#include "serial/folder_watch.h"

namespace service {

namespace {

// How often a port marked logging that could not be had (another program holds it, or its
// reader failed) is tried again, besides whenever a device node appears.
constexpr std::chrono::seconds kRetryInterval{5};

void Drain(int fd) {
  uint64_t count = 0;
  while (::read(fd, &count, sizeof count) > 0) {
  }
}

}  // namespace

LoggerService::LoggerService(const LoggerPlaces& places, StatusLines& lines, Notify notify)
    : m_places(places),
      m_lines(lines),
      m_notify(std::move(notify)),
      m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_tasks(this, places.Tasks(true)) {}

LoggerService::~LoggerService() {
  // Both post here: they end before the queue's descriptor goes.
  m_arrivals.reset();
  m_tasks.Clear();
  if (m_wake >= 0) ::close(m_wake);
}

int LoggerService::Run(int signalFd, const std::function<std::vector<int>()>& takeSignals) {
  if (signalFd < 0 || m_wake < 0) {
    m_lines.Program(StatusSeverity::kFailure,
                    std::string("cannot wait for signals and ports: ") + std::strerror(errno));
    return 1;
  }
  if (const std::string folder = m_places.Opener().DeviceFolder(); !folder.empty())
    m_arrivals = std::make_unique<PortArrivals>(folder, *this);
  m_tasks.AddNewPorts(-1);
  WriteStatusChanges();

  const std::filesystem::path file = m_places.store.file();
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  serial::FolderWatch storeWatch(file.parent_path().string(),
                                 serial::FolderWatch::WatchFor::kWrittenFiles);
  if (storeWatch.error() != 0)
    m_lines.Program(StatusSeverity::kWarning,
                    "changes of " + file.string() + " are not seen (" +
                        std::strerror(storeWatch.error()) + "); send SIGHUP after a change");
  m_notify("READY=1");

  int status = 0;
  m_nextRetry = Clock::now() + kRetryInterval;
  for (bool running = true; running;) {
    TellStatus();
    pollfd events[] = {{signalFd, POLLIN, 0}, {m_wake, POLLIN, 0}, {storeWatch.fd(), POLLIN, 0}};
    if (::poll(events, 3, RetryTimeoutMs()) < 0) {
      if (errno == EINTR) continue;
      m_lines.Program(StatusSeverity::kFailure, std::string("poll: ") + std::strerror(errno));
      status = 1;
      break;
    }
    // Due whatever else woke the loop: a port that keeps posting must not keep others waiting.
    if (m_tasks.AnyWaitingForRetry() && Clock::now() >= m_nextRetry) LookForPorts();
    if (events[1].revents != 0) {
      Drain(m_wake);
      WriteStatusChanges();
      if (m_portsChanged.exchange(false)) LookForPorts();
    }
    if (events[2].revents != 0 && storeWatch.Changed(file.filename().string())) Reload();
    if (events[0].revents != 0) running = HandleSignals(takeSignals());
    WriteStatusChanges();
  }

  m_notify("STOPPING=1");
  m_arrivals.reset();
  for (const auto& task : m_tasks.All())
    if (task && task->IsOpen()) Stop(*task);
  WriteStatusChanges();
  m_tasks.Clear();
  return status;
}

int LoggerService::RetryTimeoutMs() const {
  if (!m_tasks.AnyWaitingForRetry()) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(m_nextRetry - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()) + 1);
}

// False once a signal asks to end the run.
bool LoggerService::HandleSignals(const std::vector<int>& signals) {
  for (const int signal : signals) {
    switch (signal) {
      case SIGTERM:
      case SIGINT:
        return false;
      case SIGHUP:
        m_notify("RELOADING=1");
        Reload();
        m_notify("READY=1");
        break;
      case SIGUSR1:
        // The reader thread reopens the file before its next block.
        for (const auto& task : m_tasks.All())
          if (task) task->m_file.RequestReopen();
        m_lines.Program(StatusSeverity::kInformation, "log files reopen at their paths");
        break;
    }
  }
  return true;
}

void LoggerService::Reload() {
  if (const auto problem = m_places.store.ReadProblem()) {
    m_lines.Program(StatusSeverity::kFailure, "settings file " + m_places.store.file().string() +
                                                  " cannot be read (" + *problem +
                                                  "); the ports go on as they are");
    return;
  }
  for (const auto& task : m_tasks.All())
    if (task) FollowStore(*task);
}

// The task as the store has it now: started, stopped, moved to another file, or given other
// line settings while it logs. A change of the append flag alone waits for the next start: it
// must never empty a file being logged.
void LoggerService::FollowStore(CRedirectPort& task) {
  const std::string file = task.m_strFile;
  const serial::LineSettings line = task.Settings();
  task.ReloadSettings();
  if (task.m_strFile.empty())
    task.m_strFile = DefaultLogFile(m_tasks.Places().logFolder(), task.m_strPort);
  if (!task.m_bLogging) {
    if (task.IsOpen()) Stop(task);
    return;
  }
  if (!task.IsOpen()) {
    Start(task);
    return;
  }
  // The same file named another way (through a link, say) is no new file.
  std::error_code unknown;
  if (!std::filesystem::equivalent(task.m_strFile, file, unknown)) {
    Stop(task);
    Start(task);
    return;
  }
  ApplyLineChanges(task, line);
}

void LoggerService::ApplyLineChanges(CRedirectPort& task, const serial::LineSettings& before) {
  const serial::LineSettings now = task.Settings();
  bool changed = false, taken = true;
  const auto apply = [&](int32_t was, int32_t is, auto set) {
    if (was == is) return;
    changed = true;
    taken = set() && taken;
  };
  apply(before.baudRate, now.baudRate,
        [&] { return task.SetBaudRate(static_cast<uint32_t>(now.baudRate)); });
  apply(before.dataBits, now.dataBits,
        [&] { return task.SetByteSize(serial::ByteSizeOf(now.dataBits)); });
  apply(before.parity, now.parity, [&] { return task.SetParity(serial::Low8(now.parity)); });
  apply(before.stopBits, now.stopBits,
        [&] { return task.SetStopBits(serial::Low8(now.stopBits)); });
  apply(before.flowControl, now.flowControl,
        [&] { return task.SetFlowControl(serial::Low8(now.flowControl)); });
  if (!changed) return;
  const std::string text = serial::LineSettingsText(now);
  // A device that is away takes them when it returns; one that is there may refuse them.
  if (taken)
    m_lines.Port(task.m_strPort, StatusSeverity::kInformation, "Line settings now " + text);
  else
    m_lines.Port(task.m_strPort, StatusSeverity::kWarning,
                 "Line settings " + text + " not taken by the device (yet)");
}

// Its statuses say how it went; a start that fails keeps the port wanted, to be tried again.
// A retry of a port that already logged in this run goes on in its file, whatever the append
// flag says: a restart after a failure must not empty what the run wrote.
bool LoggerService::Start(CRedirectPort& task, bool retry) {
  const bool append = task.m_bAppend;
  if (retry && m_loggedThisRun.contains(task.m_nIndex)) task.m_bAppend = true;
  const bool started = task.ResumeLogging();
  task.m_bAppend = append;
  WriteStatusChanges();
  return started;
}

void LoggerService::Stop(CRedirectPort& task) {
  task.StopLogging();
  // What its reader said before it ended comes first.
  WriteStatusChanges();
  m_lines.Port(task.m_strPort, StatusSeverity::kInformation, task.Status());
}

void LoggerService::LookForPorts() {
  m_nextRetry = Clock::now() + kRetryInterval;
  m_tasks.RetryFailedResumes([this](CRedirectPort& task) { return Start(task, true); });
  m_tasks.AddNewPorts(-1);
  WriteStatusChanges();
}

void LoggerService::PostPortMessage(uint32_t message, int /*wParam*/, int /*lParam*/) {
  // The counters are the window's; here only new ports matter.
  if (message != WM_PORTS_CHANGED) return;
  m_portsChanged = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(m_wake, &one, sizeof one);
}

void LoggerService::PortStatusChanged(int index, int code, const std::string& status) {
  {
    std::lock_guard lock(m_queueMutex);
    m_statusChanges.push_back({index, code, status});
  }
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(m_wake, &one, sizeof one);
}

void LoggerService::WriteStatusChanges() {
  std::vector<StatusChange> changes;
  {
    std::lock_guard lock(m_queueMutex);
    changes.swap(m_statusChanges);
  }
  for (const StatusChange& change : changes) {
    CRedirectPort* task = m_tasks.At(change.index);
    if (task == nullptr) continue;
    std::string text = change.status;
    // Which file and settings a start or resume logs with; the fields are this thread's.
    if (change.code == PORT_STATUS_STARTED) {
      text += " (" + task->m_strFile + ", " + serial::LineSettingsText(task->Settings()) + ")";
      m_loggedThisRun.insert(task->m_nIndex);
    }
    m_lines.Port(task->m_strPort, SeverityOf(change.code), text);
    // Its reader has ended for good: stopped, the port is tried again like one not yet had.
    if (change.code == PORT_STATUS_PORT_ERROR && task->IsOpen()) task->StopLogging();
  }
}

void LoggerService::TellStatus() {
  const auto& all = m_tasks.All();
  const auto wanted = std::count_if(all.begin(), all.end(),
                                    [](const auto& task) { return task && task->m_bLogging; });
  const auto open = std::count_if(all.begin(), all.end(), [](const auto& task) {
    return task && task->m_bLogging && task->IsOpen();
  });
  const std::string status = "STATUS=Logging " + std::to_string(open) + " of " +
                             std::to_string(wanted) + " ports marked logging";
  if (status == m_toldStatus) return;
  m_toldStatus = status;
  m_notify(status);
}

}  // namespace service
