#include "export/formats/ZelE2TXT.h"

namespace korvane {

namespace {

// Characters of a text: code points of UTF-8, bytes of a single-byte character set.
int TextLength(const std::string& s, bool utf8) {
  if (!utf8) return static_cast<int>(s.size());
  int n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool IsTextLike(TFieldType t) { return t == ftString || t == ftMemo || t == ftFmtMemo || IsBlobType(t); }

}  // namespace

TZelExportToText::TZelExportToText() {
  Options.Exclude(soBlankRowAfterCaptions);
  FileName = "ZelExport.CSV";
  SetTableType(teText);
}

void TZelExportToText::Assign(const TZelECustomBaseComponent& source) {
  TZelExportToCellFile::Assign(source);
  if (auto* t = dynamic_cast<const TZelExportToText*>(&source); t && t != this) {
    TextQualifying = t->TextQualifying;
    AddCtrlZ = t->AddCtrlZ;
  }
}

void TZelExportToText::GetFieldStr(const TField* field, std::string& text) {
  // With soFieldMask the display text already writes dates, times and time
  // stamps by the patterns of DataFormats (a time stamp at midnight by the date
  // pattern), so the base gives the text of this format.
  TZelExportToCellFile::GetFieldStr(field, text);
}

void TZelExportToText::WriteDimension(int rowCount, int colCount) {
  TZelExportToCellFile::WriteDimension(rowCount, colCount);
  widths_.assign(colCount > 0 ? static_cast<size_t>(colCount) : 0, 0);
}

void TZelExportToText::WriteColumnWidth(int col, int width) {
  TZelExportToCellFile::WriteColumnWidth(col, width);
  if (col >= 0 && col < static_cast<int>(widths_.size())) widths_[static_cast<size_t>(col)] = width;
}

void TZelExportToText::BeginTable() {
  // An empty line before each detail table.
  if (Statistic.LevelNumber != 0) WriteString(RecordSeparator);
  TZelExportToCellFile::BeginTable();
}

void TZelExportToText::BeginRow() {
  TZelExportToCellFile::BeginRow();
  cellsInRow_ = 0;
}

void TZelExportToText::EndRow() {
  WriteString(RecordSeparator);
  TZelExportToCellFile::EndRow();
}

void TZelExportToText::WriteFooter() {
  TZelExportToCellFile::WriteFooter();
  if (AddCtrlZ) WriteString("\x1A");
}

bool TZelExportToText::NeedsQualifier(const TField* field, TCellType cellType, const std::string& text) const {
  if (TextQualifier == 0) return false;
  if (TextQualifying == tqAny) return true;
  if (!field) {
    if (cellType == ctString) return true;
  } else {
    TFieldType t = field->DataType();
    if (IsTextLike(t) && TextQualifying == tqStringOnly) return true;
    if (!IsNumericType(t) && TextQualifying == tqNoNumber) return true;
  }
  // A value a reader would split is always enclosed.
  const bool ebcdic = CharacterSet == csEBCDIC;
  char sep = ebcdic ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(Separator))) : Separator;
  char q = ebcdic ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(TextQualifier))) : TextQualifier;
  for (char c : text)
    if ((c == sep && Separator != 0) || c == q || c == '\r' || c == '\n') return true;
  return false;
}

void TZelExportToText::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                 TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  const bool ebcdic = CharacterSet == csEBCDIC;
  auto conv = [ebcdic](char c) { return ebcdic ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(c))) : c; };
  const char space = conv(' ');

  line_.clear();
  // Fields are separated, never followed, by the separator: none before the
  // first cell of a row, none in header and footer lines or the blank title row.
  if (cellsInRow_ > 0 && Separator != 0 && InTable() && !InBlankTitleRow()) line_ += conv(Separator);
  ++cellsInRow_;
  if (const TZelEDataLevel* level = CurrentDetailLevel())
    line_.append(static_cast<size_t>(2 * std::max(0, level->ShiftCount)), space);

  const bool qualify = NeedsQualifier(field, cellType, text);
  const char q = conv(TextQualifier);
  if (qualify) line_ += q;

  int padBefore = 0, padAfter = 0;
  if (Fixed) {
    int w = 0;
    if (const TZelEDataLevel* level = CurrentDetailLevel()) {
      if (col >= 0 && col < level->Columns.Count()) w = level->Columns[col].Width;
    } else if (col >= 0 && col < static_cast<int>(widths_.size())) {
      w = widths_[static_cast<size_t>(col)];
    }
    int len = TextLength(text, CharacterSet == csANSI_WINDOWS);
    if (alignment == taRightJustify) {
      padBefore = std::max(0, w - len);
    } else if (alignment == taCenter) {
      padBefore = padAfter = std::max(1, (w - len) / 2);
    } else {
      padAfter = std::max(0, w - len);
    }
  }
  line_.append(static_cast<size_t>(padBefore), space);
  if (qualify) {
    for (char c : text) {
      line_ += c;
      if (c == q) line_ += q;
    }
  } else {
    line_ += text;
  }
  line_.append(static_cast<size_t>(padAfter), space);
  if (qualify) line_ += q;
  WriteString(line_);
}

}  // namespace korvane
