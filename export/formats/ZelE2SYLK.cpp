#include "export/formats/ZelE2SYLK.h"

#include <algorithm>
#include <charconv>

namespace korvane {

TZelExportToSYLK::TZelExportToSYLK() {
  FileName = "ZelExport.SLK";
  SetTableType(teSYLK);
}

void TZelExportToSYLK::BeginExecute() {
  lineBreakValues_ = nulValues_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToSYLK::EndExecute() {
  if (lineBreakValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held line breaks, which a SYLK value cannot hold: each was "
                                         "written as one blank.",
                                         {std::to_string(lineBreakValues_)}));
  if (nulValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held NUL bytes, which end a SYLK value: they were written as "
                                         "blanks.",
                                         {std::to_string(nulValues_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToSYLK::WriteLine(std::string_view text) {
  line_.assign(text);
  line_ += "\r\n";
  WriteString(line_);
}

void TZelExportToSYLK::AppendText(std::string& out, std::string_view utf8, bool counted) {
  value_.clear();
  const TValueChanges changes = AppendValue(value_, utf8);
  TZelECodePageText::TResult r;
  if (const TZelECodePageText* cp = RunCodePageText())
    r = cp->Append(out, value_);
  else
    out += value_;
  if (!counted) return;
  if (changes.LineBreaks) ++lineBreakValues_;
  if (changes.Nul) ++nulValues_;
  // A value counts once, whatever it lost.
  if (r.Changed())
    CountCodePageChange(r);
  else if (changes.Any())
    ++Statistic.TotalErrors;
}

void TZelExportToSYLK::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  std::string id = "ID;P";
  AppendText(id, KeyGenerator, false);
  id += ";N;E";
  WriteLine(id);
}

void TZelExportToSYLK::WriteFileEnd() {
  TZelExportToCellFile::WriteFileEnd();
  WriteLine("E");
}

void TZelExportToSYLK::WriteDimension(int rowCount, int colCount) {
  TZelExportToCellFile::WriteDimension(rowCount, colCount);
  // Detail tables add rows no one counts before they are written: no bounds
  // rather than bounds the cells overstep.
  if (!DetailSources.empty()) return;
  // The rows and columns the cells fill. Header and footer lines stand in the
  // second column of rows of their own.
  const int h = static_cast<int>(Header.size()), f = static_cast<int>(Footer.size()), t = TitleRows();
  const int lineCols = h + f > 0 ? 2 : 0;
  int rows = 0, cols = 0;
  switch (Layout) {
    case elReversedColumnar: {
      // One row per column, one column per title row and record.
      const int records = colCount - 1;
      rows = std::max(rowCount, f > 0 ? h + records + f : h);
      cols = std::max(h + records, lineCols);
      break;
    }
    case elTabularForm: {
      // One row per field of every record: title, data.
      const int v = ExportedColumnCount();
      const int records = v > 0 ? rowCount / v - t : 0;
      rows = h + records * v + f;
      cols = std::max(t + 1, lineCols);
      break;
    }
    case elColumnar:
    default:
      rows = h + rowCount + f;
      cols = std::max(colCount - 1, lineCols);
      break;
  }
  WriteLine("B;Y" + std::to_string(std::max(rows, 0)) + ";X" + std::to_string(std::max(cols, 0)));
}

void TZelExportToSYLK::WriteColumnWidth(int col, int width) {
  TZelExportToCellFile::WriteColumnWidth(col, width);
  const std::string c = std::to_string(col + 1);
  WriteLine("F;W" + c + " " + c + " " + std::to_string(width));
}

void TZelExportToSYLK::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                 TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  // The cell and its format line, built in one buffer kept from cell to cell.
  char digits[16];
  line_.assign("C;Y");
  line_.append(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, row + 1).ptr - digits));
  line_ += ";X";
  line_.append(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, col + 1).ptr - digits));
  line_ += ";K\"";
  AppendText(line_, text, true);
  line_ += alignment == taRightJustify ? "\"\r\nF;FG0R\r\n"
           : alignment == taCenter     ? "\"\r\nF;FG0C\r\n"
                                       : "\"\r\nF;FG0L\r\n";
  WriteString(line_);
}

}  // namespace korvane
