#include "logging/port_tasks.h"

#include <algorithm>
#include <system_error>

#include "logging/port_discovery.h"

std::unique_ptr<CRedirectPort> MakeTask(const std::string& port, int index, bool current,
                                        PortOwner* owner, const TaskPlaces& places,
                                        const std::string& logFolder) {
  auto task =
      std::make_unique<CRedirectPort>(port, current, owner, index, places.opener, places.store);
  task->LoadSettings();
  if (task->m_strFile.empty()) task->m_strFile = DefaultLogFile(logFolder, port);
  return task;
}

PortTasks::PortTasks(PortOwner* owner, TaskPlaces places)
    : m_owner(owner), m_places(std::move(places)) {}

std::vector<PortTasks::Added> PortTasks::AddNewPorts(int currentIndex) {
  const std::vector<std::string> names = NewPortNames();
  if (names.empty()) return {};
  const std::string logFolder = m_places.logFolder();
  std::vector<Added> added;
  for (const std::string& name : names) {
    const int index = static_cast<int>(m_tasks.size());
    CRedirectPort& task = *m_tasks.emplace_back(
        MakeTask(name, index, index == currentIndex, m_owner, m_places, logFolder));
    added.push_back({&task, task.m_bLogging && task.ResumeLogging()});
  }
  return added;
}

std::vector<std::string> PortTasks::NewPortNames() const {
  std::vector<std::string> found;
  EnumerateSerialPorts(found, m_places.sysfsRoot);
  std::vector<std::string> added;
  for (const std::string& name : found) {
    const auto named = [&name](const auto& task) { return task && task->m_strPort == name; };
    const bool seen = std::any_of(m_tasks.begin(), m_tasks.end(), named) ||
                      std::find(added.begin(), added.end(), name) != added.end();
    if (!seen) added.push_back(name);
  }
  return added;
}

bool PortTasks::WaitsForRetry(const CRedirectPort& task) const {
  if (!task.m_bLogging || task.IsOpen()) return false;
  const std::string node = m_places.opener.DevicePath(task.m_strPort);
  std::error_code missing;
  return !node.empty() && std::filesystem::exists(node, missing);
}

std::vector<CRedirectPort*> PortTasks::RetryFailedResumes(
    const std::function<bool(CRedirectPort&)>& resume) {
  std::vector<CRedirectPort*> started;
  for (const auto& task : m_tasks) {
    if (!task || !WaitsForRetry(*task)) continue;
    if (resume ? resume(*task) : task->ResumeLogging()) started.push_back(task.get());
  }
  return started;
}

bool PortTasks::AnyWaitingForRetry() const {
  return std::any_of(m_tasks.begin(), m_tasks.end(),
                     [this](const auto& task) { return task && WaitsForRetry(*task); });
}

void PortTasks::SaveAndStopAll() {
  for (const auto& task : m_tasks)
    if (task) task->SaveSettings();
  Clear();
}

void PortTasks::Clear() {
  for (std::unique_ptr<CRedirectPort>& slot : m_tasks) {
    std::unique_ptr<CRedirectPort> task = std::move(slot);
    task.reset();
  }
  m_tasks.clear();
}

CRedirectPort* PortTasks::At(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_tasks.size()) return nullptr;
  return m_tasks[static_cast<size_t>(index)].get();
}

bool PortTasks::AnyLogging() const {
  return std::any_of(m_tasks.begin(), m_tasks.end(),
                     [](const auto& task) { return task && task->m_bLogging; });
}
