#pragma once
// TfrmRecordView, "Record View": the current record as a vertical form, one
// row per grid column (field name left, value right), rebuilt from the grid's
// columns each time the main window's "Form" button is pressed. Its navigator
// and value boxes are bound to the main window's DataSource1, so the form and
// the grid follow each other.

#include <QWidget>

#include "engine/grid.h"

class QScrollArea;
class QTabWidget;
class QToolButton;

namespace korvane {

class TDBNavigator;

class TfrmRecordView : public QWidget {
  Q_OBJECT
 public:
  // One row per column of `columns`, the values bound to `source` (which shows
  // `table`); a window of its own owned by `parent`, first shown over its centre.
  TfrmRecordView(TDataSet& table, TDataSource& source, const TGridColumns& columns, QWidget* parent);

  // Removes the rows of the previous run, builds one row per grid column (in
  // display order, hidden columns included) and shows the window.
  void BuildRows();
  // Prints a picture of the window on the default printer.
  void PrintClick();

  QWidget* ScrollBox1() const { return content_; }
  QScrollArea* ScrollArea() const { return scrollArea_; }
  TDBNavigator* DBNavigator1() const { return navigator_; }
  int RowCount() const;

 private:
  TDataSet& table_;
  TDataSource& source_;
  const TGridColumns& columns_;
  QTabWidget* pageControl1_ = nullptr;
  QScrollArea* scrollArea_ = nullptr;
  QWidget* content_ = nullptr;
  TDBNavigator* navigator_ = nullptr;
  bool shownBefore_ = false;
};

}  // namespace korvane
