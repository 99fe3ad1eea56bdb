#pragma once
// What the main window uses of the machine it runs on: where the serial ports are listed, the
// devices behind them, the store of each port's settings, the user's documents folder and the
// desktop's viewers. The program takes the machine's own; tests give stand-ins, so that a
// test never lists, opens or configures anything real.

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

class SettingsStore;
namespace serial {
class PortOpener;
}

namespace ui {

// The user's documents folder, when the desktop names one that exists.
std::optional<QString> DocumentsFolder();
// Whether the desktop has an application that opens files of this MIME type.
bool DesktopHasViewerFor(const QString& mimeType);

struct HostEnvironment {
  std::filesystem::path sysfsRoot{"/sys"};
  serial::PortOpener* opener = nullptr;  // null: the devices under /dev
  SettingsStore* store = nullptr;        // null: the user's own store
  std::function<std::optional<QString>()> documentsFolder = DocumentsFolder;
  std::function<bool(const QString& mimeType)> hasViewerFor = DesktopHasViewerFor;

  serial::PortOpener& Opener() const;
  SettingsStore& Store() const;
};

}  // namespace ui
