#include "service/logger_commands.h"

#include <string>
#include <vector>

#include "logging/port_discovery.h"
#include "logging/redirect_port.h"
#include "serial/device_identity.h"

namespace service {

namespace {

std::string IdentityText(const serial::PortOpener& opener, const std::string& port) {
  const std::string node = opener.DevicePath(port);
  if (!node.empty()) {
    if (auto name = serial::ByIdName(node, opener.DeviceFolder())) return *name;
  }
  return opener.IdentityOf(port).value_or("-");
}

bool IsKnownPort(const LoggerPlaces& places, const std::string& port) {
  std::vector<std::string> found;
  EnumerateSerialPorts(found, places.sysfsRoot);
  for (const std::string& name : found)
    if (name == port) return true;
  return places.store.Load(port).has_value();
}

int Mark(const std::string& port, bool logging, const std::vector<TaskChange>& changes,
         const LoggerPlaces& places, std::ostream& err) {
  // No default file is stored: the logger that runs the port names it in its own log folder.
  CRedirectPort task(port, false, nullptr, 0, places.Opener(), places.store);
  task.LoadSettings();
  for (const TaskChange& change : changes) change(task);
  task.m_bLogging = logging;
  if (task.SaveSettings()) return 0;
  err << "corvessa-logger: could not write " << places.store.file().string() << "\n";
  return kExitFailure;
}

}  // namespace

int ListPorts(const LoggerPlaces& places, std::ostream& out) {
  std::vector<std::string> names;
  EnumerateSerialPorts(names, places.sysfsRoot);
  const TaskPlaces tasks = places.Tasks(false);
  const std::string logFolder = tasks.logFolder();
  for (const std::string& name : names) {
    const auto task = MakeTask(name, 0, false, nullptr, tasks, logFolder);
    const bool stored = places.store.Load(name).has_value();
    out << name << '\t' << IdentityText(places.Opener(), name) << '\t'
        << (stored ? "stored" : "not stored") << '\t' << serial::LineSettingsText(task->Settings())
        << '\t' << task->m_strFile << '\t' << (task->m_bLogging ? "logging" : "not logging")
        << '\n';
  }
  return 0;
}

int EnablePort(const Command& command, const LoggerPlaces& places, std::ostream& err) {
  return Mark(command.port, true, command.changes, places, err);
}

int DisablePort(const Command& command, const LoggerPlaces& places, std::ostream& err) {
  if (!IsKnownPort(places, command.port)) {
    err << "corvessa-logger: no port " << command.port << " is found or stored\n"
        << kUsage;
    return kExitUsage;
  }
  return Mark(command.port, false, {}, places, err);
}

}  // namespace service
