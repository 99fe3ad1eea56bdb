#pragma once
// Dialog units: the layout unit of the dialog template. One horizontal unit is a quarter of
// the dialog font's average character width, one vertical unit an eighth of its height, so
// the window scales with the font the way the platform's dialogs do.

#include <QFont>
#include <QRect>

namespace ui {

struct DialogBaseUnits {
  int cx = 0;  // average character width in pixels
  int cy = 0;  // character height in pixels
};

// The average width the platform takes: the 52 letters' width over 26, halved, rounded up.
int AverageCharWidth(int widthOfTheAlphabets);

DialogBaseUnits BaseUnitsOf(const QFont& font);

// Rounds to the nearest pixel, halves away from zero, like the platform's conversion.
int DialogUnitsToPixelsX(int x, DialogBaseUnits base);
int DialogUnitsToPixelsY(int y, DialogBaseUnits base);
QRect DialogUnitsToPixels(const QRect& dialogUnits, DialogBaseUnits base);

}  // namespace ui
