#pragma once
// The program's help, shipped beside it as pellory.chm and as the same pages in HTML.

#include <QString>
#include <functional>

namespace ui {

// Opens <programFolder>/pellory.chm where the desktop has a viewer for it; otherwise, or when
// opening it fails, <programFolder>/help/index.html, so asking for help never does nothing.
void OpenHelp(const QString& programFolder,
              const std::function<bool(const QString& mimeType)>& hasViewerFor);

}  // namespace ui
