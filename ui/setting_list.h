#pragma once
// One of the settings panel's five lists. The wheel changes its choice only while the list has
// the keyboard focus: otherwise moving the pointer across the panel could silently change the
// line of a port that logs. A wheel it does not take goes on to the parent.

#include <QComboBox>

class QWheelEvent;

namespace ui {

class SettingList : public QComboBox {
  Q_OBJECT

 public:
  explicit SettingList(QWidget* parent = nullptr);

 protected:
  void wheelEvent(QWheelEvent* event) override;
};

}  // namespace ui
