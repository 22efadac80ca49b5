#pragma once
// The data source that links a dataset to its views, and the columns model of a
// data grid. Both are plain C++: the viewer's grid widget shows a TGridColumns,
// the export engine reads one, and the command line builds one without a window.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/dataset.h"

namespace korvane {

// Colours as $00BBGGRR.
using TColor = uint32_t;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clSilver = 0x00C0C0C0;
constexpr TColor clWindow = clWhite;
constexpr TColor clBtnFace = 0x00F0F0F0;
constexpr TColor clWindowText = clBlack;

struct TFontSpec {
  std::string Name = "Tahoma";
  int Size = 8;  // points
  TColor Color = clWindowText;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  int Charset = 1;  // DEFAULT_CHARSET
  bool operator==(const TFontSpec&) const = default;
};

// Links one dataset to any number of views; forwards the dataset's events while
// enabled. Re-pointing it at another dataset, and switching it on or off, is seen
// by the views as ActiveChanged.
class TDataSource : public TDataSetObserver {
 public:
  explicit TDataSource(std::string name = "DataSource1") : name_(std::move(name)) {}
  ~TDataSource() override;
  const std::string& Name() const { return name_; }
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* ds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  void AddObserver(TDataSetObserver* o);
  void RemoveObserver(TDataSetObserver* o);
  void DataSetEvent(TDataSet& ds, TDataEvent e) override;
  void DataSetDestroyed(TDataSet& ds) override;

 private:
  std::string name_;
  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<TDataSetObserver*> observers_;
};

struct TGridColumnTitle {
  std::string Caption;
  TAlignment Alignment = taLeftJustify;
  TFontSpec Font;
  TColor Color = clBtnFace;
};

struct TGridColumn {
  std::string FieldName;
  TGridColumnTitle Title;
  int Width = 64;  // pixels
  bool Visible = true;
  TAlignment Alignment = taLeftJustify;
  TColor Color = clWindow;
  TFontSpec Font;
};

// The columns of a data grid, in display order, its selected rows and focused
// column. Observers are told after every change.
class TGridColumns {
 public:
  explicit TGridColumns(std::string name = "DBGrid1") : name_(std::move(name)) {}
  const std::string& Name() const { return name_; }

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* ds) { dataSource_ = ds; }
  TDataSet* DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

  // Width in pixels of a text in the grid's font; the viewer installs the real
  // font metrics, the default counts 6 pixels per character (Tahoma 8 at 96 dpi).
  std::function<int(const std::string& text)> TextWidth;
  int MeasureText(const std::string& text) const;

  // Rebuilds the columns from the dataset's fields: one per field, in field
  // order, titled with the field name, default width, all visible. No dataset
  // or a closed one gives no columns.
  void RebuildFromFields();
  // Default width of a field's column: its display width in '0' characters
  // plus 4, at least the title's width plus 4.
  int DefaultWidth(const TField& field) const;

  int Count() const { return static_cast<int>(columns_.size()); }
  const TGridColumn& operator[](int i) const { return columns_.at(static_cast<size_t>(i)); }
  TGridColumn& At(int i) { return columns_.at(static_cast<size_t>(i)); }
  const std::vector<TGridColumn>& Columns() const { return columns_; }
  void SetColumns(std::vector<TGridColumn> cols);
  void Move(int from, int to);
  int IndexOfField(const std::string& fieldName) const;  // -1 when none
  // The field shown by a column, or nullptr (no dataset, or no such field).
  TField* FieldOf(int column) const;
  // Call after changing columns through At().
  void Changed();

  int SelectedIndex() const { return selectedIndex_; }
  void SetSelectedIndex(int i);

  // Selected rows (multi-select) as bookmarks, in the list's order (the viewer's grid
  // keeps them in record order).
  const std::vector<TBookmark>& SelectedRows() const { return selectedRows_; }
  void SetSelectedRows(std::vector<TBookmark> rows);
  void ToggleSelected(TBookmark bm);

  void AddListener(std::function<void()> f) { listeners_.push_back(std::move(f)); }

 private:
  std::string name_;
  TDataSource* dataSource_ = nullptr;
  std::vector<TGridColumn> columns_;
  int selectedIndex_ = 0;
  std::vector<TBookmark> selectedRows_;
  std::vector<std::function<void()>> listeners_;
};

}  // namespace korvane
