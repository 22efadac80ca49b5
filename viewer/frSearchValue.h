#pragma once
// TfrmSearchValue, "Search Field Value": asks for a field and a value and
// moves the table's cursor to a record whose field holds the value; the grid's
// focus then goes to that field's column.

#include <QDialog>
#include <functional>
#include <string>

#include "engine/grid.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace korvane {

class TDropDownComboBox;

class TfrmSearchValue : public QDialog {
  Q_OBJECT
 public:
  // Searches `table`, offers the fields of `columns` (the grid's) and selects the
  // found field's column there; `showFound` then brings the found record into view.
  TfrmSearchValue(TDataSet& table, TGridColumns& columns, std::function<void()> showFound, QWidget* parent);

  // Fills the field list and shows the dialog modally.
  void Execute();
  // The list on showing: every field of the table (sorted).
  void FillAllFields();
  // The list on dropping down: the fields of the visible grid columns (sorted).
  void FillVisibleColumns();
  // "OK": answers whether a record was found.
  bool Search();

  TDropDownComboBox* ComboBox1() const { return comboBox1_; }
  QLineEdit* Edit1() const { return edit1_; }
  QCheckBox* CheckBox1() const { return checkBox1_; }  // "Case Insensitve"
  QCheckBox* CheckBox2() const { return checkBox2_; }  // "Partial Search"
  QPushButton* OkButton() const { return ok_; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  // The stored field name for the chooser's text: an offered name maps to its
  // field; anything else is taken as it stands.
  std::string FieldNameOf(const QString& text) const;
  void AddSorted(const std::string& rawName);

  TDataSet& table_;
  TGridColumns& columns_;
  std::function<void()> showFound_;
  TDropDownComboBox* comboBox1_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  QCheckBox* checkBox2_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace korvane
