#pragma once
// SYLK: a Symbolic Link text file (.SLK), one record per line. Every cell is a
// quoted text value (the text of the run's data formats) followed by a format
// record with its alignment. Text is in the run's code page.
//
// A SYLK value ends at ";" and at the end of its line: a ";" in a value is
// doubled, and a line break (CR LF, CR or LF) becomes one blank, as does a NUL
// byte, which ends a value for every reader. Values so changed are counted.

#include <string>
#include <string_view>

#include "export/ZelE2Cell.h"
#include "export/ZelEEscape.h"

namespace korvane {

class TZelExportToSYLK : public TZelExportToCellFile {
 public:
  TZelExportToSYLK();

  using TValueChanges = TZelEOneLineChanges;
  // Appends a text as a SYLK value holds it (";" doubled, line breaks and NUL
  // bytes as blanks), still in UTF-8.
  static TValueChanges AppendValue(std::string& out, std::string_view text) {
    return AppendOneLine(out, text, ';');
  }

  void GetDefaultExt(std::string& ext) const override { ext = ".SLK"; }
  bool UsesCodePage() const override { return true; }
  void BeginExecute() override;
  void EndExecute() override;
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;

 private:
  // One record: the text and CR LF.
  void WriteLine(std::string_view text);
  // Appends a text in the run's code page; counts the value when counted is set.
  void AppendText(std::string& out, std::string_view utf8, bool counted);

  std::string line_, value_;
  int lineBreakValues_ = 0, nulValues_ = 0;
};

}  // namespace korvane
