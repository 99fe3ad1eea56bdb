#include "logging/open_failure.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kUnableOpenPort = "Unable open port";

// The group that may use the device node; serial ports belong to "dialout" on Debian.
std::string GroupOfNode(const std::string& path) {
  struct stat node {};
  if (path.empty() || ::stat(path.c_str(), &node) != 0) return "dialout";
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getgrgid_r(node.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return "dialout";
  return found->gr_name;
}

std::string Reason(int error, const serial::PortOpener& opener, const std::string& portName) {
  switch (error) {
    case EACCES:
    case EPERM:
      return "permission denied (add your user to the '" +
             GroupOfNode(opener.DevicePath(portName)) + "' group, then log in again)";
    case EBUSY:
      if (const auto holder = opener.HolderOf(portName))
        return "in use by " + holder->program + " (pid " + std::to_string(holder->pid) + ")";
      break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "no such device";
    case EINVAL:
      return "the device refused these settings";
  }
  return std::strerror(error);
}

}  // namespace

std::string UnableOpenPortStatus(int error, const serial::PortOpener& opener,
                                 const std::string& portName) {
  if (error == 0) return kUnableOpenPort;
  return std::string(kUnableOpenPort) + ": " + Reason(error, opener, portName);
}
