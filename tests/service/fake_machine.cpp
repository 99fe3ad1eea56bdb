#include "tests/service/fake_machine.h"

#include <stdlib.h>

namespace service_testing {

namespace fs = std::filesystem;

FakeMachine::FakeMachine()
    : opener(serial::MakeTermiosOpener(
          devices.string(),
          {.lockFolders = testing_support::TestMachinePlaces().lockFolders, .sysfs = sysfs})) {
  fs::create_directories(devices);
  fs::create_directories(sysfs / "class/tty");
  // Default log files go to the test's documents folder, never a service's.
  ::unsetenv("LOGS_DIRECTORY");
  places.opener = opener.get();
}

void FakeMachine::AddPort(const std::string& name, const testing_support::PtyPair& line) {
  const fs::path device = sysfs / "devices" / name;
  fs::create_directories(device);
  fs::create_directories(sysfs / "class/tty" / name);
  fs::create_directory_symlink(device, sysfs / "class/tty" / name / "device");
  fs::create_symlink(line.devicePath(), devices / name);
}

void FakeMachine::StorePort(const std::string& name, bool logging, const fs::path& file) {
  store.Save(name, {{"logging", uint32_t{logging}}, {"file", file.string()}, {"flowctrl", 0u}});
}

}  // namespace service_testing
