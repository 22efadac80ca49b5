#include "export/formats/ZelE2DIF.h"

#include <algorithm>

namespace korvane {

TZelExportToDIF::TZelExportToDIF() {
  FileName = "ZelExport.DIF";
  SetTableType(teDIF);
}

void TZelExportToDIF::BeginExecute() {
  lineBreakValues_ = nulValues_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToDIF::EndExecute() {
  if (lineBreakValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held line breaks, which a DIF string value cannot hold: each "
                                         "was written as one blank.",
                                         {std::to_string(lineBreakValues_)}));
  if (nulValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held NUL bytes, which end a DIF string value: they were "
                                         "written as blanks.",
                                         {std::to_string(nulValues_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToDIF::AppendText(std::string& out, std::string_view utf8, bool counted) {
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

void TZelExportToDIF::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  line_ = "TABLE\r\n0,1\r\n\"";
  AppendText(line_, KeyGenerator, false);
  line_ += "\"\r\n";
  WriteString(line_);
}

void TZelExportToDIF::WriteFileEnd() {
  TZelExportToCellFile::WriteFileEnd();
  WriteString("-1,0\r\nEOD\r\n");
}

void TZelExportToDIF::WriteDimension(int rowCount, int colCount) {
  TZelExportToCellFile::WriteDimension(rowCount, colCount);
  // Cells follow one another within their tuple whatever their place: a header
  // or footer line is a tuple of one value, and every layout writes one tuple
  // per row the base begins.
  const int h = static_cast<int>(Header.size()), f = static_cast<int>(Footer.size()), t = TitleRows();
  const int lineCols = h + f > 0 ? 1 : 0;
  int tuples = 0, vectors = 0;
  switch (Layout) {
    case elReversedColumnar:
      // The base still begins a row per title row and record.
      tuples = h + colCount - 1 + f;
      vectors = std::max(rowCount, lineCols);
      break;
    case elTabularForm: {
      // One tuple per field of every record: its title, a blank, its value.
      const int v = ExportedColumnCount();
      const int records = v > 0 ? rowCount / v - t : 0;
      tuples = h + records * v + f;
      vectors = 1 + (t > 0 ? 1 : 0) + (t > 1 && Options.Has(soBlankRowAfterCaptions) ? 1 : 0);
      break;
    }
    case elColumnar:
    default:
      tuples = h + rowCount + f;
      vectors = std::max(colCount - 1, lineCols);
      break;
  }
  WriteString("VECTORS\r\n0," + std::to_string(std::max(vectors, 0)) + "\r\n\"\"\r\nTUPLES\r\n0," +
              std::to_string(std::max(tuples, 0)) + "\r\n\"\"\r\nDATA\r\n0,0\r\n\"\"\r\n");
}

void TZelExportToDIF::BeginRow() {
  TZelExportToCellFile::BeginRow();
  WriteString("-1,0\r\nBOT\r\n");
}

void TZelExportToDIF::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  line_ = "1,0\r\n\"";
  AppendText(line_, text, true);
  line_ += "\"\r\n";
  WriteString(line_);
}

}  // namespace korvane
