#pragma once
// Excel workbook: one Excel 2.x worksheet (a bare BIFF2 record stream), which
// every spreadsheet reader still opens. Everything that describes the cells
// (code page, fonts, number formats, cell formats, dimensions, column widths)
// comes before the first cell; the cells follow as the rows are written.
//
// Values are typed from the native value of each cell: integers, numbers and
// currency as numbers, dates, times and time stamps as day serials with a date
// or time format, booleans as boolean cells, text in the run's code page (the
// CODEPAGE record declares it), binary data as lower-case hex. A sheet of this
// kind holds 16384 rows and 256 columns; a run that needs more is refused
// before its first byte.

#include <array>
#include <string>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

class TZelExportToXLS : public TZelExportToCellFile {
 public:
  TZelExportToXLS();

  static constexpr int kMaxRows = 16384;
  static constexpr int kMaxColumns = 256;
  // A label holds at most this many bytes.
  static constexpr size_t kMaxLabel = 255;
  // Fonts a cell can name (two bits of its attributes).
  static constexpr int kMaxFonts = 4;

  // The number formats every sheet carries, by index (indexes 23 to 36 are
  // "General"). Currency and the date and time formats follow the run's data
  // formats; the currency symbol is given in the run's code page.
  static std::vector<std::string> NumberFormats(const TZelEDataFormats& formats, int currencyPlacement,
                                                const std::string& currencySymbol);
  // The day serial of a day number (day 1 = 1 January of year 1); false for a
  // day before 1 March 1900 or after 31 December 9999, which Excel does not hold.
  static bool ExcelSerial(int64_t dayNumber, double& serial);

  void GetDefaultExt(std::string& ext) const override { ext = ".XLS"; }
  bool CanAppend() const override { return false; }
  bool UsesCodePage() const override { return true; }
  void BeginExecute() override;
  void EndExecute() override;
  void WriteFileBegin() override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void BeginRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteFileEnd() override;

 private:
  // Number formats of the cells: General, "0", currency, date, time, date and time.
  enum TSlot : int { fsGeneral = 0, fsInteger, fsCurrency, fsDate, fsTime, fsDateTime };
  void Record(uint16_t id, const std::string& body);
  void Cell(uint16_t id, int row, int col, TSlot slot, int font, TAlignment alignment, const std::string& value);
  void Label(int row, int col, int font, TAlignment alignment, std::string_view utf8, size_t maxBytes);
  int FontIndex(const TFontSpec* font) const;
  void CollectFonts();
  // The text of an OnGetCellParams handler, read as a number with the run's
  // separators; false when it does not read as one.

  std::vector<TFontSpec> fonts_;
  int64_t dimensionsAt_ = -1;
  int rowsWritten_ = 0, colsWritten_ = 0;
  bool started_ = false;
  // Values written otherwise than as read, by reason.
  int binaryCut_ = 0, unreadTexts_ = 0, outside_ = 0;
  // Values written as text because no cell type holds them whole.
  int datesAsText_ = 0, decimalsAsText_ = 0;
};

}  // namespace korvane
