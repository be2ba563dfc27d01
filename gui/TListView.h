#pragma once
// A report-style list view: grid lines, single selection, the caption (first
// column) editable in place, sub-items read-only, and the client width shared
// by the columns.
#include <QStringList>
#include <QTreeWidget>

class TListView : public QTreeWidget {
  Q_OBJECT

 public:
  TListView(const QStringList& columns, QWidget* parent);

  int RowCount() const { return topLevelItemCount(); }
  QString Caption(int row) const;
  QString SubItem(int row) const;
  void SetSubItem(int row, const QString& text);
  // Appends rows; the caption is editable in place, the sub-items are not.
  void AddRow(const QString& caption, const QStringList& subItems);
  void AddRows(const QList<QStringList>& rows);
  // The selected row, or -1.
  int SelectedRow() const;

  // Column widths for a client width: equal whole shares, the first column
  // also takes the remainder (320 over three columns gives 108, 106, 106).
  static QList<int> ColumnWidths(int clientWidth, int columns);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void ShareClientWidth();
};
