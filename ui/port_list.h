#pragma once
// The port list: one row per logging task, column 0 the port name with the program's icon,
// column 1 the task's state text. Rows are addressed by number, as the window's tasks are.

#include <QColor>
#include <QIcon>
#include <QString>
#include <QTreeWidget>
#include <functional>
#include <optional>

namespace ui {

class PortList : public QTreeWidget {
  Q_OBJECT

 public:
  // Text colour of a row, or nothing for the list's own. Asked each time the row is painted,
  // so the colour follows whatever it is derived from without bookkeeping.
  using RowColour = std::function<std::optional<QColor>(int row)>;

  explicit PortList(QWidget* parent = nullptr);

  int GetItemCount() const;
  // Inserts a row at `row` (clamped to the end) with the text in column 0; returns its number.
  int InsertItem(int row, const QString& text, const QIcon& image);
  void SetItemText(int row, int column, const QString& text);
  QString GetItemText(int row, int column) const;
  void SetRowColour(RowColour colour);
  std::optional<QColor> TextColourOf(int row) const;
  // Keeps the selected row highlighted while the list does not have the focus.
  void ShowSelectionAlways();

 signals:
  // A row became selected or the focus row, by the user or by the program. Deselections and
  // clicks into empty space report nothing.
  void rowChanged(int row);

 private:
  RowColour m_rowColour;
};

}  // namespace ui
