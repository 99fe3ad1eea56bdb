#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace ui {

namespace {

// value * numerator / denominator rounded to nearest, halves away from zero (denominator > 0).
int MulDivRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  const long long rounded =
      product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
  return static_cast<int>(rounded);
}

}  // namespace

int AverageCharWidth(int widthOfTheAlphabets) { return (widthOfTheAlphabets / 26 + 1) / 2; }

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabets = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {AverageCharWidth(alphabets), metrics.height()};
}

int DialogUnitsToPixelsX(int x, DialogBaseUnits base) { return MulDivRounded(x, base.cx, 4); }

int DialogUnitsToPixelsY(int y, DialogBaseUnits base) { return MulDivRounded(y, base.cy, 8); }

QRect DialogUnitsToPixels(const QRect& dialogUnits, DialogBaseUnits base) {
  // Position and size are converted each on its own, as the platform places template controls.
  return QRect(DialogUnitsToPixelsX(dialogUnits.x(), base),
               DialogUnitsToPixelsY(dialogUnits.y(), base),
               DialogUnitsToPixelsX(dialogUnits.width(), base),
               DialogUnitsToPixelsY(dialogUnits.height(), base));
}

}  // namespace ui
