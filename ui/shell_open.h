#pragma once
// Opening documents and web or mail addresses with the desktop's default handler.

#include <QUrl>
#include <functional>

namespace ui {

// Opens a document or web/mail address with the desktop's default handler (QDesktopServices).
bool ShellOpen(const QUrl& target);
// Tests replace the opener to see what would be opened; pass {} to restore.
void SetShellOpenerForTesting(std::function<bool(const QUrl&)> opener);

}  // namespace ui
