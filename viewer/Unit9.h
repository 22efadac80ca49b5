#pragma once
// TfrmColumns, "Configure Grid Columns": lists the main grid's columns with
// their visibility, position and width, and shows, hides, moves and sizes them.
// The dialog keeps no state: everything lives in the grid's columns model.

#include <QDialog>

#include "engine/grid.h"

class QMenu;
class QTableWidget;
class QToolBar;

namespace korvane {

class TfrmColumns : public QDialog {
  Q_OBJECT
 public:
  // Edits `columns`, the grid's columns of `table` (listed while the table is
  // open); every change reaches the grid through the columns' listeners.
  TfrmColumns(TDataSet& table, TGridColumns& columns, QWidget* parent);

  QTableWidget* ListView1() const { return listView1_; }
  QMenu* PopupMenu1() const { return popupMenu1_; }
  QToolBar* ToolBar1() const { return toolBar1_; }

  void RefreshList();
  void HideClick();
  void ShowClick();
  void ShowAllClick();
  void HideAllClick();
  void MoveUpClick() { MoveColumn(true); }
  void MoveDownClick() { MoveColumn(false); }
  void ResizeClick();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  int SelectedRow() const;
  void SetStatus(int row, bool visible);
  void MoveColumn(bool up);

  TDataSet& table_;
  TGridColumns& columns_;
  QToolBar* toolBar1_ = nullptr;
  QTableWidget* listView1_ = nullptr;
  QMenu* popupMenu1_ = nullptr;
};

}  // namespace korvane
