#pragma once
// Data-aware controls: each one is linked to a TDataSource and shows the active
// record of its dataset, following every move of the cursor. They read only
// through the dataset cursor contract (field objects of the active record).

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <string>

#include "engine/grid.h"

class QToolButton;

namespace korvane {

class TPdx;

// Display text of the open table. Values come out of the table as UTF-8 (the
// main window installs the table's decoder as its OnEncode handler); field names
// are stored 8-bit in the file and are decoded by the function the main window
// installs here.
QString ValueText(const std::string& utf8);
QString NameText(const std::string& raw);
// What keeps an open table from being read whole, as one line for the status strip and
// the table info window ("The table is encrypted: ..."); empty when nothing does.
QString TableNotice(const TPdx& table);
void SetNameDecoder(std::function<std::string(const std::string&)> decoder);

// Line breaks of stored text (CR LF, lone CR) as the widgets want them (LF).
QString NormalizeLineBreaks(QString text);

// Registers with a data source and forwards its events to a callback.
class TDataLink : public TDataSetObserver {
 public:
  explicit TDataLink(std::function<void(TDataEvent)> onEvent) : onEvent_(std::move(onEvent)) {}
  ~TDataLink() override;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  void SetDataSource(TDataSource* ds);
  TDataSource* DataSource() const { return dataSource_; }
  TDataSet* DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }
  bool Active() const { return DataSet() && DataSet()->Active(); }
  // The named field of the open dataset, or nullptr (no name, closed, no such field).
  TField* Field(const std::string& name) const;

  void DataSetEvent(TDataSet& ds, TDataEvent e) override;

 private:
  std::function<void(TDataEvent)> onEvent_;
  TDataSource* dataSource_ = nullptr;
};

// Buttons first, prior, next and last over the data source's dataset.
class TDBNavigator : public QWidget {
  Q_OBJECT
 public:
  explicit TDBNavigator(QWidget* parent = nullptr);
  void SetDataSource(TDataSource* ds);
  TDataSource* DataSource() const { return link_.DataSource(); }
  QToolButton* Button(int i) const { return buttons_[i]; }  // 0 first, 1 prior, 2 next, 3 last
  void UpdateButtons();

 private:
  void Click(int i);
  TDataLink link_;
  QToolButton* buttons_[4] = {};
};

// Multi-line read-only view of one field's text (memo fields, any field).
class TDBMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TDBMemo(QWidget* parent = nullptr);
  void SetDataSource(TDataSource* ds);
  TDataSource* DataSource() const { return link_.DataSource(); }
  const std::string& DataField() const { return dataField_; }
  void SetDataField(const std::string& name);
  // Reads the field again (also done on every dataset event).
  void Reload();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TDataLink link_;
  std::string dataField_;
  bool stale_ = true;
};

// Single-line read-only view of one field's display text.
class TDBEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TDBEdit(QWidget* parent = nullptr);
  void SetDataSource(TDataSource* ds);
  TDataSource* DataSource() const { return link_.DataSource(); }
  const std::string& DataField() const { return dataField_; }
  void SetDataField(const std::string& name);
  void Reload();

 private:
  TDataLink link_;
  std::string dataField_;
};

// The picture held by a BLOB or graphic field: the image bytes with the
// graphic field's leading header taken off, or empty when the data is not an
// image the system can read.
std::string ImageBytesOfBlob(const std::string& blob);

// Picture view of one BLOB field, scaled down to fit, keeping its proportions.
class TDBImage : public QWidget {
  Q_OBJECT
 public:
  explicit TDBImage(QWidget* parent = nullptr);
  void SetDataSource(TDataSource* ds);
  TDataSource* DataSource() const { return link_.DataSource(); }
  const std::string& DataField() const { return dataField_; }
  // Any text: a name that matches no BLOB field of the open table shows nothing.
  void SetDataField(const std::string& name);
  void Reload();
  const QImage& Image() const { return image_; }
  // The image bytes of the current record, as ImageBytesOfBlob gives them.
  const std::string& ImageBytes() const { return bytes_; }
  // The raw BLOB of the current record (empty when the field is not a BLOB).
  std::string BlobData() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  TDataLink link_;
  std::string dataField_;
  std::string bytes_;
  QImage image_;
  bool stale_ = true;
};

// A drop-down that tells before its list opens, so the list can be rebuilt.
class TDropDownComboBox : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void showPopup() override;
 signals:
  void aboutToShowPopup();
};

}  // namespace korvane
