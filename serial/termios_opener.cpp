// Opens ports by the names discovery lists, under one device folder.
#include <filesystem>
#include <string>

#include "serial/port_device.h"
#include "serial/termios_device.h"

namespace serial {

namespace {

// Port names come from discovery and from the user's stored settings; a name must stay
// inside the device folder ("ttyUSB0", "pts/3"), never climb out of it.
bool IsSafePortName(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  const std::filesystem::path path(name);
  if (path.is_absolute()) return false;
  for (const auto& part : path)
    if (part == "..") return false;
  return true;
}

class TermiosOpener final : public PortOpener {
 public:
  explicit TermiosOpener(std::string deviceDir) : m_deviceDir(std::move(deviceDir)) {}

  std::unique_ptr<PortDevice> Open(const std::string& portName, int& error) override {
    std::unique_ptr<PortDevice> device;
    error = IsSafePortName(portName) ? TermiosDevice::Open(m_deviceDir + "/" + portName, device)
                                     : EINVAL;
    return device;
  }

 private:
  const std::string m_deviceDir;
};

}  // namespace

std::unique_ptr<PortOpener> MakeTermiosOpener(std::string deviceDir) {
  return std::make_unique<TermiosOpener>(std::move(deviceDir));
}

PortOpener& SystemPortOpener() {
  static const std::unique_ptr<PortOpener> opener = MakeTermiosOpener("/dev");
  return *opener;
}

}  // namespace serial
