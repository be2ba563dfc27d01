#include "TListView.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>

#include "cp932validator.h"
#include "formlook.h"

namespace {

// Draws the grid and edits only the caption column, through a field that
// refuses text code page 932 cannot hold.
class GridDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.column() != 0) return nullptr;
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setValidator(new Cp932Validator(line));
    return editor;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->restore();
  }
};

}  // namespace

TListView::TListView(const QStringList& columns, QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(static_cast<int>(columns.size()));
  setHeaderLabels(columns);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setAllColumnsShowFocus(true);
  setItemDelegate(new GridDelegate(this));
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  header()->setSectionsMovable(false);
}

QString TListView::Caption(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(0) : QString();
}

QString TListView::SubItem(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->text(1) : QString();
}

void TListView::SetSubItem(int row, const QString& text) {
  if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(1, text);
}

void TListView::AddRow(const QString& caption, const QStringList& subItems) {
  AddRows({QStringList{caption} + subItems});
}

void TListView::AddRows(const QList<QStringList>& rows) {
  QList<QTreeWidgetItem*> items;
  items.reserve(rows.size());
  for (const QStringList& texts : rows) {
    auto* item = new QTreeWidgetItem(texts);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    items.append(item);
  }
  addTopLevelItems(items);
}

int TListView::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

QList<int> TListView::ColumnWidths(int clientWidth, int columns) {
  QList<int> widths;
  if (columns <= 0) return widths;
  const int share = clientWidth / columns;
  for (int i = 0; i < columns; ++i) widths.append(share);
  widths[0] += clientWidth % columns;
  return widths;
}

void TListView::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  ShareClientWidth();
}

void TListView::ShareClientWidth() {
  const QList<int> widths = ColumnWidths(viewport()->width(), columnCount());
  for (int i = 0; i < widths.size(); ++i) setColumnWidth(i, widths[i]);
  // The shares are fixed; a caption wider than its column in the font at
  // hand condenses the header's font instead.
  QFont captions = font();
  for (int i = 0; i < widths.size(); ++i) {
    QStyleOptionHeader option;
    option.initFrom(header());
    option.rect = QRect(0, 0, widths[i], header()->height());
    option.text = headerItem()->text(i);
    const int room = style()->subElementRect(QStyle::SE_HeaderLabel, &option, header()).width();
    captions = Condensed(captions, option.text, room);
  }
  if (header()->font() != captions) header()->setFont(captions);
}

void TListView::mousePressEvent(QMouseEvent* event) {
  // A click on an empty part of the list clears the selection.
  if (!itemAt(event->position().toPoint())) clearSelection();
  QTreeWidget::mousePressEvent(event);
}
