#pragma once
// Decisions of the main window that need no window, so they can be checked on their own.

namespace ui {

// Width of each of the port list's two columns for a list whose client area is `clientWidth`
// pixels wide: about 45 % each, h - 0.05 w with h = w / 2 in integers, cut towards zero.
constexpr int PortColumnWidth(int clientWidth) {
  const int half = clientWidth / 2;
  return static_cast<int>(half - 0.05 * clientWidth);
}

}  // namespace ui
