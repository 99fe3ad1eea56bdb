#include "ui/help_file.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

#include "ui/shell_open.h"

namespace ui {

namespace {

// The first of the places that has the file; the first place when none has it, so that what
// the opener reports names the file where it is looked for first.
QString FirstPresent(const QStringList& places) {
  for (const QString& place : places)
    if (QFileInfo::exists(place)) return place;
  return places.constFirst();
}

}  // namespace

void OpenHelp(const QString& programFolder,
              const std::function<bool(const QString& mimeType)>& hasViewerFor) {
  const QString installed = programFolder + QStringLiteral("/../share/corvessa/help");
  const QString chm = FirstPresent({programFolder + QStringLiteral("/pellory.chm"),
                                    installed + QStringLiteral("/pellory.chm")});
  const QString html = FirstPresent({programFolder + QStringLiteral("/help/index.html"),
                                     installed + QStringLiteral("/index.html")});
  // Few Linux desktops open a .chm; asking first avoids a silent failure of the opener.
  const QString chmType =
      QMimeDatabase().mimeTypeForFile(chm, QMimeDatabase::MatchExtension).name();
  if (hasViewerFor(chmType) && ShellOpen(QUrl::fromLocalFile(chm))) return;
  ShellOpen(QUrl::fromLocalFile(html));
}

}  // namespace ui
