#pragma once
// Export columns, bands, detail levels and the data engine base. The columns say
// which values go out, in which order, with which titles and widths; the engine
// says where the records come from (a grid, a dataset, or event handlers).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dataset.h"
#include "engine/grid.h"
#include "export/ZelETypes.h"

namespace korvane {

enum TZelEColumnKind : int { ckField = 0, ckConstant, ckSysVar };
enum TZelEFieldDisplayFormat : int { dfFull = 0, dfFieldCaption, dfFieldName };

// Font style bits as export settings files store them.
constexpr int kFontBold = 1, kFontItalic = 2, kFontUnderline = 4, kFontStrikeOut = 8;
int FontStyleBits(const TFontSpec& f);
void SetFontStyleBits(TFontSpec& f, int bits);

struct TZelEColumnTitle {
  std::string Caption;
  TAlignment Alignment = taLeftJustify;
  TFontSpec Font;
  TColor Color = clSilver;
  bool operator==(const TZelEColumnTitle&) const = default;
};

struct TZelEColumn {
  TAlignment Alignment = taLeftJustify;
  TColor Color = clWhite;
  // Field of the data source; the constant text of a ckConstant column; the
  // variable name (ROWNO, COLNO, COUNT, ERRCOUNT, GENERATOR) of a ckSysVar column.
  std::string FieldName;
  TFontSpec Font;
  int Width = 0;      // characters
  int Precision = 0;  // decimals of a float column, 0 = not set
  bool Visible = true;
  TZelEColumnTitle Title;
  TCellType DataType = ctString;
  TZelEColumnKind ColumnKind = ckField;
  int BandIndex = -1;
  bool operator==(const TZelEColumn&) const = default;

  // The name shown in column lists.
  std::string DisplayName(TZelEFieldDisplayFormat f) const;
};

class TZelEColumns {
 public:
  TZelEColumn& Add();
  TZelEColumn& Insert(int index);
  void Delete(int index);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  TZelEColumn& operator[](int i) { return items_.at(static_cast<size_t>(i)); }
  const TZelEColumn& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  std::vector<TZelEColumn>& Items() { return items_; }
  const std::vector<TZelEColumn>& Items() const { return items_; }
  // First column whose FieldName equals name exactly; -1 when none.
  int IndexOfFieldName(const std::string& name) const;
  // Consecutive columns from start on that are visible and belong to band; 0 past the end.
  int BandSpan(int band, int start) const;
  bool operator==(const TZelEColumns&) const = default;

 private:
  std::vector<TZelEColumn> items_;
};

struct TZelEColumnBand {
  TAlignment Alignment = taCenter;
  std::string Caption;
  bool Visible = true;
  TFontSpec Font;
  TColor Color = clSilver;
  bool operator==(const TZelEColumnBand&) const = default;
};

class TZelEColumnBands {
 public:
  TZelEColumnBand& Add() { return items_.emplace_back(); }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  TZelEColumnBand& operator[](int i) { return items_.at(static_cast<size_t>(i)); }
  const TZelEColumnBand& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  bool operator==(const TZelEColumnBands&) const = default;

 private:
  std::vector<TZelEColumnBand> items_;
};

class TZelECustomDataEngine;

// A detail level: records of another source written below each main record.
struct TZelEDataLevel {
  std::string Caption;
  int ShiftCount = 1;  // indentation step
  TZelEColumns Columns;
  TZelEColumnBands Bands;
  TGridColumns* DBGrid = nullptr;
  TDataSet* DataSet = nullptr;
  TZelECustomDataEngine* DataEngine = nullptr;  // not owned
  TColumnSource ColumnSource = csDBGrid;
  std::vector<TZelEDataLevel> DetailSources;

  // Run state: the engine created for the run and whether the columns were filled.
  std::shared_ptr<TZelECustomDataEngine> RunEngine;
  bool RunColumnsFilled = false;
};
using TZelEDataLevels = std::vector<TZelEDataLevel>;
// Adds a level captioned "Detail" + the number of levels that existed before.
TZelEDataLevel& AddDataLevel(TZelEDataLevels& levels);

// Cell type of a field value: the type of its field kind; with BlankIfZero, a
// number or date that is zero, empty or null is blank.
TCellType CellTypeOf(TFieldType type, const TVariant& value, bool blankIfZero);
// The same for the current value of a field; reads the value only when needed.
TCellType CellTypeOfField(const TField& field, bool blankIfZero);
// The native value of a field in the current record.
void FieldCellValue(const TField& field, TZelECellValue& out);
// The native value of an engine's variant for a column of the given field type.
void VariantCellValue(const TVariant& v, TFieldType type, TZelECellValue& out);
// The field type a cell type stands for, where a column has no field.
TFieldType FieldTypeOfCellType(TCellType ct);

// Where the records of a run come from. The base engine is driven by its
// events, for sources that are not a dataset.
class TZelECustomDataEngine {
 public:
  TZelECustomDataEngine() = default;
  virtual ~TZelECustomDataEngine() = default;
  TZelECustomDataEngine(const TZelECustomDataEngine&) = delete;
  TZelECustomDataEngine& operator=(const TZelECustomDataEngine&) = delete;

  bool SelectedOnly = false;  // export only the selected records
  int LevelNumber = 0;        // 0 main, 1 detail

  std::function<void(TZelECustomDataEngine&)> OnFirst;
  // Abort true means there is no further record.
  std::function<void(TZelECustomDataEngine&, bool& abort)> OnNext;
  std::function<void(TZelECustomDataEngine&, int& count)> OnCount;
  std::function<void(TZelECustomDataEngine&)> OnBeforeExecute;
  std::function<void(TZelECustomDataEngine&)> OnAfterExecute;
  std::function<void(TZelEColumns&)> OnFillColumns;
  std::function<void(TZelECustomDataEngine&, const TZelEColumn&, TVariant& value)> OnGetValue;

  virtual bool SupportsSelection() const { return false; }
  virtual void EnableControls() {}
  virtual void DisableControls() {}
  virtual void BeforeExecute();
  virtual void AfterExecute();
  virtual void FillColumns(TZelEColumns& columns, TZelEColumnBands& bands, bool rightToLeft);
  virtual bool HasRecord(int index) { (void)index; return true; }
  // The base engine: true when it has no OnNext handler, else until OnNext answers abort.
  virtual bool Eof();
  virtual void First();
  virtual void Next();
  virtual void GetFieldValue(const TZelEColumn& column, TVariant& value);
  virtual void GetCellParams(int row, int col, TAlignment& alignment, TFontSpec& font, TColor& color) {
    (void)row; (void)col; (void)alignment; (void)font; (void)color;
  }
  virtual int GetRecordCount();
  virtual TFieldType GetFieldType(const TZelEColumn& column);
  virtual bool IsRequired(const TZelEColumn& column) { (void)column; return false; }
  virtual bool IsReadOnly(const TZelEColumn& column) { (void)column; return false; }
  virtual TField* FindField(const TZelEColumn& column) { (void)column; return nullptr; }
  // The dataset behind the engine; nullptr for the base engine.
  virtual TDataSet* GetDataset() const { return nullptr; }

 private:
  bool eventEof_ = true;
};

}  // namespace korvane
