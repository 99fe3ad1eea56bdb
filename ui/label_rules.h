#pragma once
// The label's decisions that depend only on its settings and its text, kept apart from the
// widget so they can be checked without a window.

#include <QColor>
#include <QString>
#include <cstdint>
#include <vector>

// A colour as 0x00BBGGRR, so 0xFF0000 is blue.
using COLORREF = uint32_t;

namespace ui {

// Style bits of a static text control.
inline constexpr uint32_t SS_LEFT = 0x00;
inline constexpr uint32_t SS_CENTER = 0x01;
inline constexpr uint32_t SS_RIGHT = 0x02;
inline constexpr uint32_t SS_LEFTNOWORDWRAP = 0x0C;
inline constexpr uint32_t SS_TYPEMASK = 0x1F;
inline constexpr uint32_t SS_NOTIFY = 0x0100;
inline constexpr uint32_t SS_CENTERIMAGE = 0x0200;
inline constexpr uint32_t WS_BORDER = 0x00800000;

// Text format flags, with the values the static control's drawing has always used.
inline constexpr uint32_t DT_CENTER = 0x01;
inline constexpr uint32_t DT_RIGHT = 0x02;
inline constexpr uint32_t DT_VCENTER = 0x04;
inline constexpr uint32_t DT_WORDBREAK = 0x10;
inline constexpr uint32_t DT_SINGLELINE = 0x20;
inline constexpr uint32_t DT_EXPANDTABS = 0x40;

QColor ToQColor(COLORREF color);
COLORREF ToColorRef(const QColor& color);

// Alignment and wrapping of a static control's text.
uint32_t TextFormatFlags(uint32_t staticStyle, const QString& text);
// The same flags as Qt text flags (alignment, wrapping, tab expansion).
int ToQtTextFlags(uint32_t formatFlags);

// One vertical band of a horizontal gradient: columns [left, right) in one colour.
struct GradientBand {
  int left;
  int right;
  COLORREF color;
  bool operator==(const GradientBand&) const = default;
};
// Splits [left, right) into at most `bands` bands (never more than there are columns),
// stepping each channel from `from` towards `to`; the last band takes the rest of the width.
std::vector<GradientBand> GradientBands(int left, int right, COLORREF from, COLORREF to, int bands);

// What a left click on a label does.
struct ClickAction {
  enum class Kind { Nothing, Notify, Open };
  Kind kind = Kind::Nothing;
  QString target;  // for Open: the address
  QString verb;    // for Open: "open", or empty for the target's default action
  bool operator==(const ClickAction&) const = default;
};
// linkMode: 0 not a link, 1 web link, 2 mail link.
ClickAction DecideClick(int linkMode, bool notifyParent, const QString& url, const QString& text);

}  // namespace ui
