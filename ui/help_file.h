#pragma once
// The program's help: pellory.chm and the same pages in HTML, beside the program (as a build
// has them) or in the installed help folder, <prefix>/share/corvessa/help.

#include <QString>
#include <functional>

namespace ui {

// Opens pellory.chm where the desktop has a viewer for it; otherwise, or when opening it fails,
// the HTML pages, so asking for help never does nothing. Each is looked for beside the program
// (<programFolder>/pellory.chm, <programFolder>/help/index.html) first, then in
// <programFolder>/../share/corvessa/help.
void OpenHelp(const QString& programFolder,
              const std::function<bool(const QString& mimeType)>& hasViewerFor);

}  // namespace ui
