// Opens ports by the names discovery lists, under one device folder.
#include <filesystem>
#include <string>

#include "serial/device_identity.h"
#include "serial/port_device.h"
#include "serial/termios_device.h"

namespace serial {

bool IsSafePortName(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  const std::filesystem::path path(name);
  if (path.is_absolute()) return false;
  for (const auto& part : path)
    if (part == "..") return false;
  return true;
}

namespace {

class TermiosOpener final : public PortOpener {
 public:
  TermiosOpener(std::string deviceDir, MachinePlaces places)
      : m_deviceDir(std::move(deviceDir)), m_places(std::move(places)) {}

  std::unique_ptr<PortDevice> Open(const std::string& portName, int& error) override {
    std::unique_ptr<PortDevice> device;
    // A name that would leave the device folder names no device of ours.
    if (!IsSafePortName(portName)) {
      error = ENODEV;
      return device;
    }
    // Two readers would split the bytes between them: a port someone else has stays theirs.
    const std::string path = DevicePath(portName);
    if (FindHolder(portName, path, m_places)) {
      error = EBUSY;
      return device;
    }
    bool held = false;
    std::unique_ptr<PortLock> lock = PortLock::Take(portName, m_places, held);
    error = held ? EBUSY : TermiosDevice::Open(path, device, std::move(lock));
    return device;
  }

  std::string DevicePath(const std::string& portName) const override {
    return m_deviceDir + "/" + portName;
  }

  std::string DeviceFolder() const override { return m_deviceDir; }

  std::optional<PortHolder> HolderOf(const std::string& portName) const override {
    return IsSafePortName(portName) ? FindHolder(portName, DevicePath(portName), m_places)
                                    : std::nullopt;
  }

  std::optional<std::string> IdentityOf(const std::string& portName) const override {
    return IsSafePortName(portName) ? DeviceIdentity(DevicePath(portName), m_places.sysfs)
                                    : std::nullopt;
  }

 private:
  const std::string m_deviceDir;
  const MachinePlaces m_places;
};

MachinePlaces& SystemMachinePlaces() {
  static MachinePlaces places;
  return places;
}

}  // namespace

std::unique_ptr<PortOpener> MakeTermiosOpener(std::string deviceDir, MachinePlaces places) {
  return std::make_unique<TermiosOpener>(std::move(deviceDir), std::move(places));
}

PortOpener& SystemPortOpener() {
  static const std::unique_ptr<PortOpener> opener = MakeTermiosOpener("/dev", SystemMachinePlaces());
  return *opener;
}

void SetSystemMachinePlacesForTesting(MachinePlaces places) {
  SystemMachinePlaces() = std::move(places);
}

}  // namespace serial
