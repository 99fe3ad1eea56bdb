#include "ui/label_rules.h"

#include <algorithm>

namespace ui {

namespace {

int Channel(COLORREF color, int shift) { return static_cast<int>((color >> shift) & 0xFF); }

COLORREF Rgb(int red, int green, int blue) {
  return static_cast<COLORREF>(red & 0xFF) | static_cast<COLORREF>(green & 0xFF) << 8 |
         static_cast<COLORREF>(blue & 0xFF) << 16;
}

}  // namespace

QColor ToQColor(COLORREF color) { return QColor(Channel(color, 0), Channel(color, 8), Channel(color, 16)); }

COLORREF ToColorRef(const QColor& color) { return Rgb(color.red(), color.green(), color.blue()); }

uint32_t TextFormatFlags(uint32_t staticStyle, const QString& text) {
  if (staticStyle & SS_CENTERIMAGE) {
    // Centred both ways only works on one line; a text with line breaks is centred across.
    return text.contains(QStringLiteral("\r\n")) ? DT_CENTER : DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  }
  uint32_t flags = DT_WORDBREAK;
  switch (staticStyle & SS_TYPEMASK) {
    case SS_CENTER: flags = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: flags = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: flags = 0; break;
    default: break;
  }
  if (text.contains(QLatin1Char('\t'))) flags |= DT_EXPANDTABS;
  return flags;
}

int ToQtTextFlags(uint32_t formatFlags) {
  int flags = Qt::AlignLeft;
  if (formatFlags & DT_CENTER) flags = Qt::AlignHCenter;
  if (formatFlags & DT_RIGHT) flags = Qt::AlignRight;
  // Vertical centring applies to single-line text only; everything else starts at the top.
  const bool vcenter = (formatFlags & DT_VCENTER) && (formatFlags & DT_SINGLELINE);
  flags |= vcenter ? Qt::AlignVCenter : Qt::AlignTop;
  if (formatFlags & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  if (formatFlags & DT_SINGLELINE) flags |= Qt::TextSingleLine;
  if (formatFlags & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;
  // Static text treats '&' as a mnemonic prefix ("&&" draws one ampersand); the underline
  // stays hidden as keyboard cues are by default.
  return flags | Qt::TextHideMnemonic;
}

std::vector<GradientBand> GradientBands(int left, int right, COLORREF from, COLORREF to, int bands) {
  const int width = right - left;
  const int count = std::min(bands, width);
  if (count <= 0) return {};
  const int divisor = count > 1 ? count : 1;
  // Each channel steps in 1/256 units so that narrow steps do not round away.
  int accumulator[3];
  int step[3];
  for (int c = 0; c < 3; ++c) {
    accumulator[c] = Channel(from, 8 * c) * 256;
    step[c] = (Channel(to, 8 * c) - Channel(from, 8 * c)) * 256 / divisor;
  }
  const int bandWidth = width / divisor;
  std::vector<GradientBand> result;
  result.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int bandLeft = i == 0 ? left : result.back().right;
    const int bandRight = i == count - 1 ? right : bandLeft + bandWidth;
    result.push_back({bandLeft, bandRight, Rgb(accumulator[0] / 256, accumulator[1] / 256, accumulator[2] / 256)});
    for (int c = 0; c < 3; ++c) accumulator[c] += step[c];
  }
  return result;
}

ClickAction DecideClick(int linkMode, bool notifyParent, const QString& url, const QString& text) {
  using Kind = ClickAction::Kind;
  if (notifyParent) return {Kind::Notify, {}, {}};
  switch (linkMode) {
    case 1: {
      const QString target = url.isEmpty() ? text : url;
      // An empty address opens nothing.
      if (target.isEmpty()) return {};
      return {Kind::Open, target, QStringLiteral("open")};
    }
    case 2: return {Kind::Open, QStringLiteral("mailto:") + text, {}};
    default: return {};
  }
}

}  // namespace ui
