#include "ui/redirect_dlg_rules.h"

#include <limits>

namespace ui {

std::optional<uint32_t> BaudRateOf(const QString& text) {
  const QString digits = text.trimmed();
  if (digits.isEmpty()) return std::nullopt;
  for (const QChar c : digits)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
  bool fits = false;
  const qulonglong value = digits.toULongLong(&fits);
  // The task keeps its rate as a signed 32-bit number.
  if (!fits || value == 0 || value > static_cast<qulonglong>(std::numeric_limits<int32_t>::max()))
    return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace ui
