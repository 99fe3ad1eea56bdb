#include "ui/shell_open.h"

#include <QDesktopServices>

namespace ui {

namespace {

// Used from the user-interface thread only, like everything that opens a target.
std::function<bool(const QUrl&)>& TestOpener() {
  static std::function<bool(const QUrl&)> opener;
  return opener;
}

}  // namespace

bool ShellOpen(const QUrl& target) {
  if (const auto& opener = TestOpener()) return opener(target);
  return QDesktopServices::openUrl(target);
}

void SetShellOpenerForTesting(std::function<bool(const QUrl&)> opener) { TestOpener() = std::move(opener); }

}  // namespace ui
