#pragma once
// Excel through LibreOffice Calc: the run fills a sheet of a workbook in a
// headless Calc of its own and lets Calc store it, as .xls ("MS Excel 97"),
// .xlsx or .ods by the output's extension (or by ExcelVersion).
//
// Cells reach the sheet in blocks of up to 1000 rows, each cell at its own row
// and column. Text cells are always text (a value that looks like a formula
// stays that text); typed values are numbers with a number format: integers,
// floats, money, dates, times, time stamps and booleans. A run that does not fit
// the stored format's rows or columns is refused before anything is written.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "export/ZelE2Cell.h"
#include "platform/office/office.h"

namespace korvane {

enum TMSExcelVersion : int {
  evExcelAuto = 0,
  evExcel2,
  evExcel2FarEast,
  evExcel3,
  evExcel4,
  evExcel5,
  evExcel7,
  evExcel9597,
  evExcel2007
};

// The workbook settings of the writer's own. Like the application's other
// properties they are not copied by Assign: a run made by the wizard or the
// export monitor has these defaults.
struct TZelEExcelSettings {
  TMSExcelVersion ExcelVersion = evExcelAuto;
  bool FreezeFixed = false;
  bool DeleteDefaultSheets = false;
  std::string SheetPassword;
  int StartRow = 0;
  int StartColumn = 0;
  bool operator==(const TZelEExcelSettings&) const = default;
};

// How a workbook is stored.
struct TZelEExcelStore {
  std::string Filter;     // Calc's filter name
  std::string Extension;  // ".xls"
  int MaxRows = 0;
  int MaxColumns = 0;
};

// Scratch files of an office run: a private folder, removed with the object.
class TZelEOfficeScratch {
 public:
  TZelEOfficeScratch();
  ~TZelEOfficeScratch();
  TZelEOfficeScratch(const TZelEOfficeScratch&) = delete;
  TZelEOfficeScratch& operator=(const TZelEOfficeScratch&) = delete;
  // A new file name in the folder ("name" + a number + extension).
  std::string NewName(const std::string& stem, const std::string& extension);
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  int next_ = 0;
};

// Reads a whole file (what the suite stored) into a writer's output.
void CopyFileInto(const std::string& path, const std::function<void(std::string_view)>& sink);
// Points of a page-setup length in the measure of PageSetup.
double ToPoints(TZelEMeasure measure, double value);
// 1/100 mm of points.
int PointsTo100mm(double points);
// A colour for the suite (0xRRGGBB), or -1 for none (system colours).
long long OfficeColor(TColor color);
// The longest text a cell holds, in characters.
constexpr size_t kOfficeMaxCellText = 32767;
// Cuts a UTF-8 text to at most max characters; answers whether it did.
bool CutToCharacters(std::string& text, size_t max);

class TZelExportToExcel : public TZelExportToCellFile {
 public:
  TZelExportToExcel();
  ~TZelExportToExcel() override;

  TZelEExcelSettings& ExcelSettings() { return settings_; }

  // "A" for 1, "Z" for 26, "AA" for 27.
  static std::string ColumnLetters(int n);
  // The number format of a column by field type: "0" for integers, "0.00" for
  // floats with 2 decimals (empty: general), money as "0" + decimal separator +
  // zeros to Precision + 2 characters + the currency string, else "@".
  static std::string GetNumberFormat(TFieldType type, int precision, char decimalSeparator,
                                     const std::string& currency);
  // The same as a Calc format code (en-US: "." decimal, the symbol quoted).
  static std::string CalcFormatCode(const std::string& format, char decimalSeparator, const std::string& currency);
  // Excel's SaveAs format number of a version (0 for auto).
  static int FileFormatNumber(TMSExcelVersion v);
  // How the workbook is stored: by version, else by the name's extension.
  // Throws EZelExportError for versions Calc cannot write.
  static TZelEExcelStore StoreFormat(TMSExcelVersion v, const std::string& fileName);
  // A column width in characters (at most 50) as 1/100 mm.
  static int ColumnWidth100mm(int characters);
  // The row height, in points, of a picture that many pixels high (at most 400).
  static int PictureRowPoints(int pixels);

  void GetDefaultExt(std::string& ext) const override { ext = ".XLS"; }
  void BeginExecute() override;
  void EndExecute() override;
  void CreateFileStream(const std::string& fileName) override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                       TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteFooter() override;
  void CloseFile() override;

 private:
  struct TPending {
    office::TCell Cell;
    std::string Format;  // the cell's number format when it differs from its column's
    office::TStyle Style;
  };
  struct TPicture {
    int Row, Col;
    std::string Bytes, Extension;
    int Width, Height;
  };
  void Flush();
  void Put(int row, int col, office::TCell cell, const std::string& format, const office::TStyle& style);
  std::string DateFormat() const;
  std::string TypedFormat(TFieldType type, int precision) const;
  void Finish();

  std::unique_ptr<office::TSuite> suite_;
  std::unique_ptr<office::TWorkbook> book_;
  office::TSheet* sheet_ = nullptr;
  std::unique_ptr<TZelEOfficeScratch> scratch_;
  TZelEExcelSettings settings_;
  TZelEExcelSettings run_;
  TZelEExcelStore store_;
  std::string saveName_;
  int firstRow_ = 0;
  int colCount_ = 0;
  // Cells waiting for the next block, by sheet row.
  std::map<int, std::map<int, TPending>> block_;
  std::vector<TPicture> pictures_;
  std::vector<std::array<int, 3>> merges_;  // row, first col, last col
  std::map<int, std::string> columnFormats_;
  int lastRow_ = -1, lastCol_ = -1;
  // Values changed on the way, by reason.
  int cut_ = 0, datesAsText_ = 0, decimalsAsText_ = 0, unreadTexts_ = 0, picturesAsText_ = 0, rounded_ = 0;
};

}  // namespace korvane
