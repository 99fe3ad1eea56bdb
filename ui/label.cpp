#include "ui/label.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QUrl>

#include "ui/shell_open.h"

namespace {

constexpr int kFlashIntervalMs = 500;
constexpr int kGradientBands = 100;

}  // namespace

CLabel::CLabel(QWidget* parent)
    : QLabel(parent), m_crText(ui::ToColorRef(palette().color(QPalette::WindowText))) {
  setTextFormat(Qt::PlainText);
}

void CLabel::Attach() { m_lf = font(); }

CLabel& CLabel::SetBkColor(COLORREF crBack, COLORREF crBackEnd, int nFillMode) {
  m_crBack = crBack;
  m_crBackEnd = crBackEnd;
  m_nFillMode = nFillMode;
  m_hBackBrush.reset();
  if (nFillMode == 0) m_hBackBrush = QBrush(ui::ToQColor(crBack));
  UpdateOpaqueness();
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetTextColor(COLORREF color) {
  m_crText = color;
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetText(const QString& text) {
  setText(text);
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetFontBold(bool bold) {
  m_lf.setBold(bold);
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetFontName(const QString& face, uint8_t /*charSet*/) {
  m_lf.setFamily(face);
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetFontUnderline(bool underline) {
  m_lf.setUnderline(underline);
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetFontItalic(bool italic) {
  m_lf.setItalic(italic);
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetFontSize(int points) {
  // Points to pixels at the screen's logical resolution, rounded as the platform's MulDiv does.
  const int64_t tenths = int64_t{points} * 10;
  const int64_t pixels = (tenths * logicalDpiY() + 360) / 720;
  // A size below one pixel would draw nothing; keep the current size then.
  if (pixels >= 1) m_lf.setPixelSize(static_cast<int>(pixels));
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetSunken(bool sunken) {
  m_bStaticEdge = sunken;
  UpdateFrame();
  return *this;
}

CLabel& CLabel::SetBorder(bool border) {
  m_dwStyle = border ? m_dwStyle | ui::WS_BORDER : m_dwStyle & ~ui::WS_BORDER;
  UpdateFrame();
  return *this;
}

CLabel& CLabel::SetTransparent(bool transparent) {
  m_bTransparent = transparent;
  UpdateOpaqueness();
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetFlashText(bool on) {
  m_flashTimer.stop();
  if (on) {
    StartFlashing(1);
  } else {
    m_nFlashMode = 0;
  }
  return *this;
}

CLabel& CLabel::SetFlashBackground(bool on) {
  m_flashTimer.stop();
  // Stopping keeps the mode and the phase: text that was flashing stays as it is.
  if (on) StartFlashing(2);
  return *this;
}

void CLabel::StartFlashing(int mode) {
  // No redraw: the label keeps its look until the first tick shows the text.
  m_bFlashState = 0;
  m_flashTimer.start(kFlashIntervalMs, this);
  m_nFlashMode = mode;
}

CLabel& CLabel::SetLink(bool link, bool notifyParent) {
  SetLinkMode(link ? 1 : 0, notifyParent);
  return *this;
}

CLabel& CLabel::SetMailLink(bool mailLink, bool notifyParent) {
  SetLinkMode(mailLink ? 2 : 0, notifyParent);
  return *this;
}

void CLabel::SetLinkMode(int mode, bool notifyParent) {
  m_nLinkMode = mode;
  m_bNotifyParent = notifyParent;
  // Only a static with SS_NOTIFY receives clicks and shows its own cursor.
  m_dwStyle = mode != 0 ? m_dwStyle | ui::SS_NOTIFY : m_dwStyle & ~ui::SS_NOTIFY;
  UpdateCursor();
}

CLabel& CLabel::SetLinkCursor(std::optional<QCursor> cursor) {
  m_hLinkCursor = std::move(cursor);
  UpdateCursor();
  return *this;
}

CLabel& CLabel::SetLinkUrl(const QString& url) {
  m_strLinkUrl = url;
  return *this;
}

CLabel& CLabel::SetText3D(bool on, int type) {
  m_bText3D = on;
  m_n3DType = type;
  RedrawLabel();
  return *this;
}

CLabel& CLabel::Set3DHighlightColor(COLORREF color) {
  m_cr3DHighlight = color;
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetRotationAngle(int degrees, bool rotate) {
  m_nEscapement = degrees * 10;
  m_bRotation = rotate;
  RedrawLabel();
  return *this;
}

CLabel& CLabel::SetLogFont(const QFont& font) {
  m_lf = font;
  RedrawLabel();
  return *this;
}

void CLabel::SetStaticStyle(uint32_t style) {
  m_dwStyle = style;
  UpdateFrame();
  UpdateCursor();
  RedrawLabel();
}

void CLabel::UpdateFrame() {
  // One frame at a time: the sunken edge wins over the plain border.
  if (m_bStaticEdge) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  } else if (m_dwStyle & ui::WS_BORDER) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
  } else {
    setFrameStyle(QFrame::NoFrame);
  }
}

void CLabel::UpdateCursor() {
  if (m_hLinkCursor && (m_dwStyle & ui::SS_NOTIFY)) {
    setCursor(*m_hLinkCursor);
  } else {
    unsetCursor();
  }
}

// A label with a background of its own paints every pixel, so Qt need not clear it first;
// any other lets its parent paint what lies under it.
void CLabel::UpdateOpaqueness() { setAttribute(Qt::WA_OpaquePaintEvent, HasOwnBackground()); }

void CLabel::RedrawLabel() {
  // Qt repaints what lies under a transparent label by itself.
  update();
}

void CLabel::timerEvent(QTimerEvent* event) {
  m_bFlashState = m_bFlashState ? 0 : 1;
  RedrawLabel();
  QLabel::timerEvent(event);
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  if (!(m_dwStyle & ui::SS_NOTIFY) || event->button() != Qt::LeftButton) {
    // Without SS_NOTIFY the click belongs to the parent.
    QLabel::mousePressEvent(event);
    return;
  }
  const ui::ClickAction action = ui::DecideClick(m_nLinkMode, m_bNotifyParent, m_strLinkUrl, text());
  switch (action.kind) {
    case ui::ClickAction::Kind::Notify: emit labelClicked(property("controlId").toInt()); break;
    // Whether the target could be opened is not shown: a dead link does nothing visible.
    case ui::ClickAction::Kind::Open: ui::ShellOpen(QUrl::fromUserInput(action.target)); break;
    case ui::ClickAction::Kind::Nothing: break;
  }
  event->accept();
}

void CLabel::paintEvent(QPaintEvent* /*event*/) {
  if (!HasOwnBackground()) {
    QPainter painter(this);
    PaintLabel(painter);
    return;
  }
  // Everything is drawn off-screen first and copied once, so nothing flickers.
  const qreal ratio = devicePixelRatioF();
  QPixmap buffer(size() * ratio);
  buffer.setDevicePixelRatio(ratio);
  {
    QPainter offscreen(&buffer);
    PaintLabel(offscreen);
  }
  QPainter(this).drawPixmap(0, 0, buffer);
}

void CLabel::PaintLabel(QPainter& painter) {
  const QRect rc = contentsRect();
  if (HasOwnBackground()) {
    if (frameWidth() > 0) painter.fillRect(rect(), palette().window());
    PaintBackground(painter, rc);
  }
  PaintText(painter, rc);
  drawFrame(&painter);
}

void CLabel::PaintBackground(QPainter& painter, const QRect& rc) const {
  if (m_nFillMode == 0) {
    painter.fillRect(rc, *m_hBackBrush);
  } else {
    DrawGradient(painter, rc, m_crBack, m_crBackEnd, kGradientBands);
  }
}

void CLabel::DrawGradient(QPainter& painter, const QRect& rc, COLORREF from, COLORREF to, int bands) const {
  // Each band covers the full height, so no row is left unpainted in the buffer.
  for (const ui::GradientBand& band : ui::GradientBands(rc.left(), rc.left() + rc.width(), from, to, bands)) {
    painter.fillRect(QRect(band.left, rc.top(), band.right - band.left, rc.height()), ui::ToQColor(band.color));
  }
}

void CLabel::PaintText(QPainter& painter, const QRect& rc) const {
  const QString text = QLabel::text();
  // Drawn at this widget's resolution even when the surface is an off-screen pixmap.
  painter.setFont(QFont(m_lf, this));
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  // The hidden phase of flashing text leaves the text out, whatever the background is.
  const bool hidden = TextHiddenByFlash();
  painter.setPen(ui::ToQColor(m_crText));
  if (m_bRotation) {
    // The text starts at the centre on its baseline and runs at the rotation angle.
    if (hidden) return;
    painter.save();
    painter.translate(rc.left() + rc.width() / 2, rc.top() + rc.height() / 2);
    painter.rotate(-m_nEscapement / 10.0);
    painter.drawText(0, 0, shown);
    painter.restore();
    return;
  }
  const int flags = ui::ToQtTextFlags(ui::TextFormatFlags(m_dwStyle, text));
  if (!hidden) painter.drawText(rc, flags, shown);
  if (m_bText3D) {
    const int offset = m_n3DType == 0 ? -1 : 1;
    painter.setPen(ui::ToQColor(m_cr3DHighlight));
    painter.drawText(rc.translated(offset, offset), flags, shown);
  }
}
