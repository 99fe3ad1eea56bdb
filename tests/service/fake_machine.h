#pragma once
// A machine of the test's own for the logger: a sysfs that lists the ports asked for, a device
// folder whose nodes are links to pseudo-terminals, and a settings file, all in a temporary
// folder. Nothing of the machine's own ports is listed or opened.

#include <filesystem>
#include <memory>
#include <string>

#include "logging/settings_store.h"
#include "serial/port_device.h"
#include "service/logger_places.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_environment.h"

namespace service_testing {

class FakeMachine {
 public:
  FakeMachine();

  // Lists the port and puts a link to the pseudo-terminal at its node.
  void AddPort(const std::string& name, const testing_support::PtyPair& line);
  // A stored port: logging or not, into `file`, with the rest at their defaults.
  void StorePort(const std::string& name, bool logging, const std::filesystem::path& file);
  std::filesystem::path Path(const std::string& name) const { return dir / name; }

  testing_support::TempDir dir;
  std::filesystem::path sysfs = dir / "sys";
  std::filesystem::path devices = dir / "dev";
  SettingsStore store{dir / "config/settings.toml"};
  std::unique_ptr<serial::PortOpener> opener;
  service::LoggerPlaces places{store, sysfs, nullptr};
};

}  // namespace service_testing
