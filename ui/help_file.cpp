#include "ui/help_file.h"

#include <QMimeDatabase>
#include <QUrl>

#include "ui/shell_open.h"

namespace ui {

void OpenHelp(const QString& programFolder,
              const std::function<bool(const QString& mimeType)>& hasViewerFor) {
  const QString chm = programFolder + QStringLiteral("/pellory.chm");
  // Few Linux desktops open a .chm; asking first avoids a silent failure of the opener.
  const QString chmType =
      QMimeDatabase().mimeTypeForFile(chm, QMimeDatabase::MatchExtension).name();
  if (hasViewerFor(chmType) && ShellOpen(QUrl::fromLocalFile(chm))) return;
  ShellOpen(QUrl::fromLocalFile(programFolder + QStringLiteral("/help/index.html")));
}

}  // namespace ui
