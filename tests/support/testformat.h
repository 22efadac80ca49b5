#pragma once
// A format of the tests' own: one writer and one row in the table of formats (in
// the place of SYLK), with a setting of its own. It writes each data cell's native
// value, so tests see what typed formats receive.

#include <string>
#include <vector>

#include "export/ZelE2Cell.h"
#include "export/ZelEFormats.h"

namespace korvane::test {

struct TTestCellsSettings {
  std::string Marker = "cell";
  bool operator==(const TTestCellsSettings&) const = default;

  static constexpr const char* kSection = "TestCells";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TTestCellsSettings>>& Keys() {
    static const std::vector<TZelESettingKey<TTestCellsSettings>> keys = {
        TextKey("TestMarker", &TTestCellsSettings::Marker)};
    return keys;
  }
};

// Writes "MARKER KIND VALUE" per data cell, one line per cell, and "--" after a row.
class TZelExportToTestCells : public TZelExportToCellFile {
 public:
  void GetDefaultExt(std::string& ext) const override { ext = ".TST"; }
  void BeginExecute() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void EndRow() override { WriteString("--\n"); }

 private:
  std::string marker_;
};

// Puts the format in the table; answers the row it replaced (to put it back).
TZelEFormat RegisterTestCellsFormat();
// The text a cell value is written as ("integer 5", "bcd -12.50", "date 718771", ...).
std::string CellValueText(const TZelECellValue& v, const std::string& text);

}  // namespace korvane::test
