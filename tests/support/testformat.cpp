#include "support/testformat.h"

namespace korvane::test {

std::string CellValueText(const TZelECellValue& v, const std::string& text) {
  switch (v.kind) {
    case TZelECellValue::cvNull: return "null";
    case TZelECellValue::cvInteger: return "integer " + std::to_string(v.Integer);
    case TZelECellValue::cvDouble: return "double " + ReprDouble(v.Double);
    case TZelECellValue::cvCurrency: return "currency " + ReprDouble(v.Double);
    case TZelECellValue::cvBCD: return "bcd " + v.Text;
    case TZelECellValue::cvDate: return "date " + std::to_string(v.Integer);
    case TZelECellValue::cvTime: return "time " + std::to_string(v.Integer);
    case TZelECellValue::cvDateTime: return "datetime " + std::to_string(v.Integer);
    case TZelECellValue::cvBoolean: return v.Boolean ? "boolean 1" : "boolean 0";
    case TZelECellValue::cvText: return "text " + text;
    case TZelECellValue::cvBlob: return "blob";
  }
  return "?";
}

void TZelExportToTestCells::BeginExecute() {
  marker_ = FormatSettings.Get<TTestCellsSettings>(TableType()).Marker;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToTestCells::WriteData(const TField*, TCellType, int, int, const std::string& text, TAlignment,
                                      const TFontSpec*, TColor) {
  if (Statistic.Section != 3) return;  // data cells only (with or without a field)
  WriteString(marker_ + " " + CellValueText(CellNativeValue(), text) + "\n");
}

TZelEFormat RegisterTestCellsFormat() {
  return ReplaceExportFormat(
      {teSYLK, "TestCells", "TZelExportToTestCells", ".TST", fcOther, faTitles | faOriginalTypes | faHeaderFooter,
       [] {
         auto w = std::make_unique<TZelExportToTestCells>();
         w->SetTableType(teSYLK);
         return std::unique_ptr<TZelExportBaseComponent>(std::move(w));
       },
       [] { return std::unique_ptr<TZelEFormatSettings>(new TZelESettingsOf<TTestCellsSettings>()); }});
}

}  // namespace korvane::test
