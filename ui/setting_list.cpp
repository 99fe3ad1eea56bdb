#include "ui/setting_list.h"

#include <QWheelEvent>

namespace ui {

SettingList::SettingList(QWidget* parent) : QComboBox(parent) {
  // The wheel must not give the focus either, or it would take it and then act.
  setFocusPolicy(Qt::StrongFocus);
}

void SettingList::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  QComboBox::wheelEvent(event);
}

}  // namespace ui
