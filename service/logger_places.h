#pragma once
// What corvessa-logger uses of the machine: where the ports are listed, the devices behind
// them and the store of their settings. The program takes the machine's own; tests give
// stand-ins, so that a test never lists, opens or configures anything real.

#include <filesystem>
#include <ostream>
#include <string>

#include "logging/port_tasks.h"
#include "logging/settings_store.h"
#include "serial/port_device.h"

namespace service {

struct LoggerPlaces {
  SettingsStore& store;
  std::filesystem::path sysfsRoot{"/sys"};
  serial::PortOpener* opener = nullptr;  // null: the devices under /dev

  serial::PortOpener& Opener() const;
  // The tasks' places; the default log folder made when `prepare` is set.
  TaskPlaces Tasks(bool prepare) const;
};

// Where default log files go: the folder systemd made for the service ($LOGS_DIRECTORY), or
// else the one the window uses.
std::string LoggerLogFolder(bool prepare);

}  // namespace service
