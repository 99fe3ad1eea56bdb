#pragma once
// The settings panel's status line: one line, cut with an ellipsis where the text does not fit,
// with the whole text shown as its tooltip then. Errors appear only here, so none may be cut
// off unseen.

#include <QLabel>

namespace ui {

class StatusLine : public QLabel {
  Q_OBJECT

 public:
  explicit StatusLine(const QString& text, QWidget* parent = nullptr);

  // The text as it is painted: the whole text, or its start and an ellipsis.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
};

}  // namespace ui
