#pragma once
// The data grid: a table view over a model that asks the dataset for exactly
// the rows it paints (TDataSet::PeekRecord), with its columns taken from a
// TGridColumns. The grid follows the dataset's cursor (its current row is the
// cursor's record) and moves the cursor when the user moves in the grid.
//
// Memory does not grow with the table: the model keeps the text of at most
// kCachedRows recently painted rows.

#include <QAbstractTableModel>
#include <QTableView>
#include <list>
#include <unordered_map>
#include <vector>

#include "engine/grid.h"
#include "viewer/DataControls.h"

namespace korvane {

class TDBGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kCachedRows = 256;

  TDBGridModel(TGridColumns& columns, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Text of one cell (row and column 0-based, column in display order).
  QString CellText(int row, int column) const;
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
  const TRow& RowAt(int row) const;

  TGridColumns& columns_;
  int rows_ = 0;
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
  // Rebuilds the view from the columns model (after a change to it). A change
  // of widths or visibility only lays the columns out again; a change of the
  // columns themselves or their order rebuilds the model.
  void ColumnsChanged();
  // Puts the current cell on the cursor's record and the selected column.
  void FollowCursor() { SyncToCursor(); }

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void DataEvent(TDataEvent e);
  void SyncToCursor();
  void ApplyColumnLayout();
  void SectionResized(int logical, int oldSize, int newSize);
  void SectionMoved(int logical, int oldVisual, int newVisual);

  TGridColumns& columns_;
  TDBGridModel* model_;
  TDataLink link_;
  std::vector<std::string> shownFields_;  // field names in the order the model shows them
  bool syncing_ = false;                  // true while the grid follows the cursor or the columns
};

}  // namespace korvane
