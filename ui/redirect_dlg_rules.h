#pragma once
// Decisions of the main window that need no window, so they can be checked on their own.

#include <QString>
#include <cstdint>
#include <optional>

namespace ui {

// Width of each of the port list's two columns for a list whose client area is `clientWidth`
// pixels wide: about 45 % each, h - 0.05 w with h = w / 2 in integers, cut towards zero.
constexpr int PortColumnWidth(int clientWidth) {
  const int half = clientWidth / 2;
  return static_cast<int>(half - 0.05 * clientWidth);
}

// The baud rate that a start uses, from the text of the baud field: a positive decimal
// number, blanks around it allowed, nothing else (no sign, no trailing letters), at most the
// largest value a task can keep. Nothing for any other text.
std::optional<uint32_t> BaudRateOf(const QString& text);

}  // namespace ui
