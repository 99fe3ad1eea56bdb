#include "logging/task_list.h"

#include <algorithm>

#include "logging/port_discovery.h"

std::unique_ptr<CRedirectPort> MakeTask(const std::string& port, int index, bool current,
                                        PortOwner* owner, const TaskPlaces& places) {
  auto task =
      std::make_unique<CRedirectPort>(port, current, owner, index, places.opener, places.store);
  task->LoadSettings();
  if (task->m_strFile.empty()) task->m_strFile = DefaultLogFile(places.logFolder, port);
  return task;
}

std::vector<std::string> NewPorts(const std::vector<std::string>& known,
                                  const std::filesystem::path& sysfsRoot) {
  std::vector<std::string> found;
  EnumerateSerialPorts(found, sysfsRoot);
  std::vector<std::string> added;
  for (const std::string& name : found) {
    const bool seen = std::find(known.begin(), known.end(), name) != known.end() ||
                      std::find(added.begin(), added.end(), name) != added.end();
    if (!seen) added.push_back(name);
  }
  return added;
}
