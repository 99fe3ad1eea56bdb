#pragma once
// A static text that paints itself with its own colours, font and background, and can act as a
// web link, a mail link or a link that tells its parent it was clicked. Until it is given a
// background of its own, what lies under it (its parent, a group box) shows through.

#include <QBasicTimer>
#include <QBrush>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <cstdint>
#include <optional>

#include "ui/label_rules.h"

// The notification a label in notify mode sends its parent (as the signal labelClicked).
inline constexpr uint32_t NM_LABEL_CLICKED = 0x8200;

class CLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CLabel(QWidget* parent = nullptr);

  // Takes the widget's current font (the dialog font) as the base of every later font change.
  // From then on the label draws only with its own font.
  void Attach();

  // Every setter returns *this so calls chain.
  CLabel& SetBkColor(COLORREF crBack, COLORREF crBackEnd = 0, int nFillMode = 0);
  CLabel& SetTextColor(COLORREF color);
  CLabel& SetText(const QString& text);
  CLabel& SetFontBold(bool bold);
  // Qt chooses glyphs by script itself, so the character set is accepted and has no effect.
  CLabel& SetFontName(const QString& face, uint8_t charSet = 1);
  CLabel& SetFontUnderline(bool underline);
  CLabel& SetFontItalic(bool italic);
  // The size in points at the screen's real resolution.
  CLabel& SetFontSize(int points);
  CLabel& SetSunken(bool sunken);
  CLabel& SetBorder(bool border);
  CLabel& SetTransparent(bool transparent);
  CLabel& SetFlashText(bool on);
  CLabel& SetFlashBackground(bool on);
  CLabel& SetLink(bool link, bool notifyParent);
  CLabel& SetMailLink(bool mailLink, bool notifyParent);
  CLabel& SetLinkCursor(std::optional<QCursor> cursor);  // nullopt: the default cursor
  CLabel& SetLinkUrl(const QString& url);
  CLabel& SetText3D(bool on, int type = 0);
  CLabel& Set3DHighlightColor(COLORREF color);
  CLabel& SetRotationAngle(int degrees, bool rotate);
  // Replaces the whole font; the rotation angle is kept, as a QFont has none.
  CLabel& SetLogFont(const QFont& font);

  // The static control's style bits (SS_LEFT 0, SS_CENTER 1, SS_RIGHT 2, SS_LEFTNOWORDWRAP 0x0C,
  // SS_NOTIFY 0x100, SS_CENTERIMAGE 0x200, WS_BORDER) as the dialog template gives them.
  void SetStaticStyle(uint32_t style);
  uint32_t StaticStyle() const { return m_dwStyle; }

  COLORREF TextColor() const { return m_crText; }
  const QFont& LogFont() const { return m_lf; }
  int Escapement() const { return m_nEscapement; }
  int LinkMode() const { return m_nLinkMode; }
  bool NotifiesParent() const { return m_bNotifyParent; }
  int FlashMode() const { return m_nFlashMode; }
  int FlashState() const { return m_bFlashState; }
  bool IsFlashTimerActive() const { return m_flashTimer.isActive(); }

 signals:
  // Emitted synchronously with the label's control id (the dynamic property "controlId").
  void labelClicked(int controlId);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void RedrawLabel();
  bool HasOwnBackground() const { return !m_bTransparent && (m_nFillMode != 0 || m_hBackBrush); }
  void UpdateOpaqueness();
  void PaintLabel(QPainter& painter);
  void PaintBackground(QPainter& painter, const QRect& rc) const;
  void DrawGradient(QPainter& painter, const QRect& rc, COLORREF from, COLORREF to, int bands) const;
  void PaintText(QPainter& painter, const QRect& rc) const;
  bool TextHiddenByFlash() const { return m_bFlashState == 0 && m_nFlashMode == 1; }
  void StartFlashing(int mode);
  void SetLinkMode(int mode, bool notifyParent);
  void UpdateFrame();
  void UpdateCursor();

  COLORREF m_crText;
  COLORREF m_cr3DHighlight = 0xFFFFFF;
  std::optional<QBrush> m_hBackBrush;  // only while the fill mode is solid
  QFont m_lf;
  int m_nEscapement = 0;  // tenths of a degree, counter-clockwise
  int m_bFlashState = 0;
  QBasicTimer m_flashTimer;
  int m_nLinkMode = 0;  // 0 not a link, 1 web link, 2 mail link
  bool m_bTransparent = false;
  bool m_bText3D = false;
  bool m_bNotifyParent = false;
  bool m_bRotation = false;
  int m_nFlashMode = 0;  // 0 none, 1 text, 2 background
  std::optional<QCursor> m_hLinkCursor;
  int m_n3DType = 0;   // 0: highlight one pixel up and left; else down and right
  int m_nFillMode = 0;  // 0 solid, else horizontal gradient
  COLORREF m_crBackEnd = 0;
  COLORREF m_crBack = 0;
  QString m_strLinkUrl;
  uint32_t m_dwStyle = ui::SS_LEFT;
  bool m_bStaticEdge = false;
};
