#pragma once
// Where the serial layer finds what the machine tells of its ports: lock files of programs that
// use them, the processes that hold them, and what the kernel knows of the devices behind them.
// The program uses the machine's own; tests give folders of their own making.

#include <filesystem>
#include <vector>

namespace serial {

struct MachinePlaces {
  std::vector<std::filesystem::path> lockFolders{"/run/lock", "/var/lock"};
  std::filesystem::path proc{"/proc"};
  std::filesystem::path sysfs{"/sys"};
};

}  // namespace serial
