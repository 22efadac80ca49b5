#pragma once
// DIF: a Data Interchange Format text file (.DIF). A header of TABLE, VECTORS
// (the columns), TUPLES (the rows) and DATA, then one BOT tuple per row with
// every cell as a string value (the text of the run's data formats), closed by
// EOD. Text is in the run's code page.
//
// A DIF string value is one line: a line break (CR LF, CR or LF) in a value
// becomes one blank, as does a NUL byte, which ends a value for every reader.
// Values so changed are counted. Quotes stand as they are: readers take the
// text between the first and the last quote of the line.

#include <string>
#include <string_view>

#include "export/ZelE2Cell.h"
#include "export/ZelEEscape.h"

namespace korvane {

class TZelExportToDIF : public TZelExportToCellFile {
 public:
  TZelExportToDIF();

  using TValueChanges = TZelEOneLineChanges;
  // Appends a text as a DIF string value holds it (line breaks and NUL bytes as
  // blanks), still in UTF-8.
  static TValueChanges AppendValue(std::string& out, std::string_view text) {
    return AppendOneLine(out, text);
  }

  void GetDefaultExt(std::string& ext) const override { ext = ".DIF"; }
  bool UsesCodePage() const override { return true; }
  void BeginExecute() override;
  void EndExecute() override;
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void WriteDimension(int rowCount, int colCount) override;
  void BeginRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;

 private:
  // Appends a text in the run's code page; counts the value when counted is set.
  void AppendText(std::string& out, std::string_view utf8, bool counted);

  std::string line_, value_;
  int lineBreakValues_ = 0, nulValues_ = 0;
};

}  // namespace korvane
