#pragma once
// What every front end does to give the machine's ports their tasks: each task with its stored
// settings and, when none is stored, its default log file; and, while the program runs, the
// ports whose devices appear later.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "logging/port_owner.h"
#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/port_device.h"

struct TaskPlaces {
  serial::PortOpener& opener;
  SettingsStore& store;
  std::string logFolder;  // where default log files go
};

// The task of `port` at `index`, its stored settings loaded, its log file the stored one or
// the default. Not started: the caller resumes it when it was logging.
std::unique_ptr<CRedirectPort> MakeTask(const std::string& port, int index, bool current,
                                        PortOwner* owner, const TaskPlaces& places);

// The ports discovery finds now that `known` does not hold yet, in discovery order.
std::vector<std::string> NewPorts(const std::vector<std::string>& known,
                                  const std::filesystem::path& sysfsRoot);
