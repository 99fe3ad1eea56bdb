#include "ui/host_environment.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "logging/settings_store.h"
#include "serial/port_device.h"

namespace ui {

namespace {
// Long enough for a slow disk, short enough that a hung helper does not freeze the window.
constexpr int kQueryTimeoutMs = 3000;
}  // namespace

std::optional<QString> DocumentsFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  // Qt names a folder even where the desktop has none; one that does not exist is not found.
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return std::nullopt;
  return folder;
}

// xdg-mime knows the desktop's associations; where it is missing, so is xdg-open, and
// nothing could open the file anyway.
bool DesktopHasViewerFor(const QString& mimeType) {
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return false;
  QProcess query;
  query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
  if (!query.waitForFinished(kQueryTimeoutMs)) {
    query.kill();
    query.waitForFinished();
    return false;
  }
  return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
         !query.readAllStandardOutput().trimmed().isEmpty();
}

serial::PortOpener& HostEnvironment::Opener() const {
  return opener != nullptr ? *opener : serial::SystemPortOpener();
}

SettingsStore& HostEnvironment::Store() const {
  return store != nullptr ? *store : SettingsStore::UserStore();
}

}  // namespace ui
