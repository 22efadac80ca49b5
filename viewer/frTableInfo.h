#pragma once
// TfrmTableInfo: the fields of the open table with their type, size, number,
// required flag and precision, and the table's name and primary key.

#include <QWidget>

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace korvane {

class TForm1;

class TfrmTableInfo : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmTableInfo(TForm1& main);

  // Rebuilds the list and the header boxes from the open table.
  void Fill();

  QTreeWidget* ListView1() const { return listView1_; }
  QLineEdit* Edit1() const { return edit1_; }  // table name
  QLineEdit* Edit2() const { return edit2_; }  // primary key fields
  QLabel* Notice() const { return notice_; }    // what keeps the table from being read whole

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TForm1& main_;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QLabel* notice_ = nullptr;
  QTreeWidget* listView1_ = nullptr;
};

}  // namespace korvane
