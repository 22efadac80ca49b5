#pragma once
// The data grid: a table view over a model that asks the dataset for exactly
// the rows it paints (TDataSet::PeekRecord), with its columns taken from a
// TGridColumns. The grid follows the dataset's cursor (its current row is the
// cursor's record) and moves the cursor when the user moves in the grid.
//
// Nothing in the grid grows with the table: the model holds only the rows that
// fit on the screen (a window starting at a top record, moved by the grid's own
// record scroll bar), and it keeps the text of at most kCachedRows recently
// painted records.

#include <QAbstractTableModel>
#include <QTableView>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/grid.h"
#include "viewer/DataControls.h"

class QScrollBar;

namespace korvane {

class TDBGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kCachedRows = 256;

  TDBGridModel(TGridColumns& columns, QObject* parent = nullptr);

  // Rows of the model are the window: row r shows record Top() + r (0-based).
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  int RecordCount() const { return records_; }
  int Top() const { return top_; }
  // Moves the window; answers whether it moved.
  bool SetTop(int top);
  // Number of rows the window holds (at most the record count).
  void SetWindowRows(int rows);
  int WindowRows() const { return windowRows_; }

  // Text of one cell by record (0-based) and column (display order).
  QString CellText(int record, int column) const;
  // Forgets the cached rows and repaints.
  void Invalidate();
  // Rebuilds rows and columns from the dataset and the columns model.
  void Reset();
  int CachedRowCount() const { return static_cast<int>(cache_.size()); }

 private:
  struct TRow {
    std::vector<QString> Cells;
    std::list<int>::iterator Age;
  };
  const TRow& RowAt(int record) const;
  int Rows() const { return std::min(windowRows_, std::max(0, records_ - top_)); }
  void ClearCache();

  TGridColumns& columns_;
  int records_ = 0;
  int top_ = 0;
  int windowRows_ = 1;
  mutable std::unordered_map<int, TRow> cache_;
  mutable std::list<int> ages_;  // most recently used first
};

class TDBGrid : public QTableView {
  Q_OBJECT
 public:
  TDBGrid(TGridColumns& columns, QWidget* parent = nullptr);
  ~TDBGrid() override;

  void SetDataSource(TDataSource* ds);
  TGridColumns& Columns() { return columns_; }
  TDBGridModel* GridModel() const { return model_; }
  // The field of the focused column, or nullptr.
  TField* SelectedField() const;
  // Records of the open table (0 when none).
  int RecordCount() const { return model_->RecordCount(); }
  // The record (0-based) of the current cell, or -1 when it is not on the screen.
  int CurrentRecord() const;
  // The vertical scroll bar moves through the records: its value is the top record.
  QScrollBar* RecordScrollBar() const;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  // Rows fully visible at once (at least 1).
  int VisibleRows() const;
  // Rebuilds the view from the columns model (after a change to it). A change
  // of widths or visibility only lays the columns out again; a change of the
  // columns themselves or their order rebuilds the model.
  void ColumnsChanged();
  // Puts the current cell on the cursor's record and the selected column.
  void FollowCursor() { SyncToCursor(); }

  // Several records can be selected (Ctrl + click adds or removes one, Shift +
  // click or Shift + a move selects the records from the anchor, Ctrl+A all of
  // them); a plain click or move clears the selection. The selection lives in
  // the columns model as bookmarks in record order, where the export reads it.
  // Records are 0-based here.
  void ClickRecord(int record, Qt::KeyboardModifiers modifiers);
  void SelectAllRecords();
  void ClearSelectedRecords();
  bool IsRecordSelected(int record) const;

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void DataEvent(TDataEvent e);
  void SyncToCursor();
  void ApplyColumnLayout();
  void UpdateWindow();
  void ScrollTo(int top);
  void ShowCursorCell();
  void SectionResized(int logical, int oldSize, int newSize);
  void SectionMoved(int logical, int oldVisual, int newVisual);
  int CursorColumn() const;
  void SetSelectedRecords(std::vector<TBookmark> bookmarks);
  void SelectRange(int from, int to, bool add);

  TGridColumns& columns_;
  TDBGridModel* model_;
  TDataLink link_;
  std::vector<std::string> shownFields_;  // field names in the order the model shows them
  bool syncing_ = false;                  // true while the grid follows the cursor or the columns
  int anchor_ = -1;        // record where a Shift selection starts
  bool geometry_ = false;  // true while the view lays itself out (its scroll bar values are not ours)
};

}  // namespace korvane
