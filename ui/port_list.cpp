#include "ui/port_list.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <QStyledItemDelegate>
#include <algorithm>

namespace ui {

namespace {

class RowColourDelegate : public QStyledItemDelegate {
 public:
  explicit RowColourDelegate(PortList* list) : QStyledItemDelegate(list), m_list(list) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (const std::optional<QColor> text = m_list->TextColourOf(index.row()))
      option->palette.setColor(QPalette::Text, *text);
  }

 private:
  const PortList* m_list;
};

}  // namespace

PortList::PortList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(2);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setIconSize(QSize(16, 16));
  setItemDelegate(new RowColourDelegate(this));

  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) emit rowChanged(current.row());
          });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) {
            for (const QItemSelectionRange& range : selected)
              for (int row = range.top(); row <= range.bottom(); ++row) emit rowChanged(row);
          });
}

int PortList::GetItemCount() const { return topLevelItemCount(); }

int PortList::InsertItem(int row, const QString& text, const QIcon& image) {
  const int at = std::clamp(row, 0, GetItemCount());
  auto* item = new QTreeWidgetItem(QStringList{text});
  item->setIcon(0, image);
  insertTopLevelItem(at, item);
  return at;
}

void PortList::SetItemText(int row, int column, const QString& text) {
  if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(column, text);
}

QString PortList::GetItemText(int row, int column) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(column) : QString();
}

void PortList::SetRowColour(RowColour colour) {
  m_rowColour = std::move(colour);
  viewport()->update();
}

std::optional<QColor> PortList::TextColourOf(int row) const {
  return m_rowColour ? m_rowColour(row) : std::nullopt;
}

void PortList::ShowSelectionAlways() {
  QPalette colours = palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
  setPalette(colours);
}

}  // namespace ui
