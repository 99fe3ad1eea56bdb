#include "ui/host_environment.h"

#include <QProcess>
#include <QStandardPaths>

#include "logging/log_folder.h"
#include "logging/settings_store.h"
#include "serial/port_device.h"

namespace ui {

namespace {
// Long enough for a slow disk, short enough that a hung helper does not freeze the window.
constexpr int kQueryTimeoutMs = 3000;
}  // namespace

// The same folder the headless logger finds.
std::optional<QString> DocumentsFolder() {
  const std::optional<std::filesystem::path> folder = UserDocumentsFolder();
  if (!folder) return std::nullopt;
  return QString::fromStdString(folder->string());
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
