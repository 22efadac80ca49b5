#pragma once
// TfrmTableInfo: the fields of the open table with their type, size, number,
// required flag and precision, and the table's name and primary key.

#include <QWidget>

#include "engine/pdx.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace korvane {

class TfrmTableInfo : public QWidget {
  Q_OBJECT
 public:
  // Shows the fields of `table`; a window of its own owned by `parent`.
  TfrmTableInfo(TPdx& table, QWidget* parent);

  // Rebuilds the list and the header boxes from the open table.
  void Fill();

  QTreeWidget* ListView1() const { return listView1_; }
  QLineEdit* Edit1() const { return edit1_; }  // table name
  QLineEdit* Edit2() const { return edit2_; }  // primary key fields
  QLabel* Notice() const { return notice_; }    // what keeps the table from being read whole

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TPdx& table_;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QLabel* notice_ = nullptr;
  QTreeWidget* listView1_ = nullptr;
};

}  // namespace korvane
