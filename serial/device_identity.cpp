#include "serial/device_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <system_error>

namespace serial {

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::optional<std::string> DeviceIdentity(const std::string& devicePath, const fs::path& sysfs) {
  struct stat node {};
  if (::stat(devicePath.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) return std::nullopt;
  const std::string number =
      std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev));
  std::error_code error, ignored;
  fs::path device = fs::canonical(sysfs / "dev/char" / number, error);
  if (error) return std::nullopt;
  const fs::path top = fs::weakly_canonical(sysfs, ignored);
  // The tty sits below its USB interface, and that below the USB device, which names itself.
  for (; device.has_relative_path() && device != top; device = device.parent_path()) {
    if (!fs::exists(device / "idVendor", ignored) || !fs::exists(device / "idProduct", ignored))
      continue;
    std::string identity = FirstLine(device / "idVendor") + ":" + FirstLine(device / "idProduct");
    if (const std::string serialNumber = FirstLine(device / "serial"); !serialNumber.empty())
      identity += " serial " + serialNumber;
    return identity;
  }
  return std::nullopt;
}

std::optional<std::string> ByIdName(const std::string& devicePath,
                                    const std::string& deviceFolder) {
  std::error_code error;
  const fs::path node = fs::canonical(devicePath, error);
  if (error) return std::nullopt;
  for (const auto& entry : fs::directory_iterator(fs::path(deviceFolder) / "serial/by-id", error)) {
    std::error_code broken;
    if (fs::canonical(entry.path(), broken) == node && !broken)
      return entry.path().filename().string();
  }
  return std::nullopt;
}

}  // namespace serial
