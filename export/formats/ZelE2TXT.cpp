#include "export/formats/ZelE2TXT.h"

namespace korvane {

namespace {

bool IsTextLike(TFieldType t) { return t == ftString || t == ftMemo || t == ftFmtMemo || IsBlobType(t); }

}  // namespace

TZelExportToText::TZelExportToText() {
  Options.Exclude(soBlankRowAfterCaptions);
  FileName = "ZelExport.CSV";
  SetTableType(teText);
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

const TZelETextSettings& TZelExportToText::Settings() const {
  static const TZelETextSettings defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelETextSettings>*>(FormatSettings.Find(teText));
  return s ? s->Value : defaults;
}

void TZelExportToText::BeginExecute() {
  run_ = Settings();
  splittingValues_ = splitRows_ = nulValues_ = 0;
  rowSplit_ = false;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToText::EndExecute() {
  if (splittingValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d values hold the field separator or a line break and no text qualifier is set: %d rows are no "
        "longer one line of their own fields.",
        {std::to_string(splittingValues_), std::to_string(splitRows_)}));
  if (nulValues_ > 0)
    Statistic.Notes.push_back(
        ZelEFormat("%d values held NUL bytes, which were left out.", {std::to_string(nulValues_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToText::BeginRow() {
  TZelExportToCellFile::BeginRow();
  cellsInRow_ = 0;
  rowSplit_ = false;
}

void TZelExportToText::EndRow() {
  WriteString(RecordSeparator);
  if (rowSplit_) ++splitRows_;
  rowSplit_ = false;
  TZelExportToCellFile::EndRow();
}

void TZelExportToText::WriteFooter() {
  TZelExportToCellFile::WriteFooter();
  if (run_.AddCtrlZ) WriteString("\x1A");
}

void TZelExportToText::ScanText(TCellScan& scan, std::string_view text) const {
  const bool ebcdic = CharacterSet == csEBCDIC;
  const char sep = ebcdic ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(Separator))) : Separator;
  const char q = ebcdic ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(TextQualifier))) : TextQualifier;
  const bool utf8 = CharacterSet == csANSI_WINDOWS;
  for (char c : text) {
    if (c == '\0') {
      scan.nul = true;
      continue;
    }
    if (!utf8 || (static_cast<uint8_t>(c) & 0xC0) != 0x80) ++scan.length;
    if (c == '\r' || c == '\n' || (Separator != 0 && c == sep)) {
      scan.splits = true;
      scan.special = true;
    } else if (TextQualifier != 0 && c == q) {
      scan.special = true;
    }
  }
}

bool TZelExportToText::Qualifies(const TField* field, TCellType cellType, const TCellScan& scan) const {
  if (TextQualifier == 0) return false;
  if (run_.TextQualifying == tqAny) return true;
  if (!field) {
    if (cellType == ctString) return true;
  } else {
    TFieldType t = field->DataType();
    if (IsTextLike(t) && run_.TextQualifying == tqStringOnly) return true;
    if (!IsNumericType(t) && run_.TextQualifying == tqNoNumber) return true;
  }
  // A value a reader would split is always enclosed.
  return scan.special;
}

bool TZelExportToText::NeedsQualifier(const TField* field, TCellType cellType, const std::string& text) const {
  TCellScan scan;
  ScanText(scan, text);
  return Qualifies(field, cellType, scan);
}

void TZelExportToText::AppendCellText(std::string& out, std::string_view text, bool qualify) const {
  // A text file has no place for NUL bytes; a qualifier inside is doubled.
  const char q = CharacterSet == csEBCDIC ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(TextQualifier)))
                                          : TextQualifier;
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') {
      out.append(text.data() + run, i - run);
      run = i + 1;
    } else if (qualify && c == q) {
      out.append(text.data() + run, i + 1 - run);
      out += q;
      run = i + 1;
    }
  }
  out.append(text.data() + run, text.size() - run);
}

void TZelExportToText::WriteData(const TField* field, TCellType cellType, int row, int col,
                                 const std::string& value, TAlignment alignment, const TFontSpec* font,
                                 TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, value, alignment, font, color);
  const bool ebcdic = CharacterSet == csEBCDIC;
  auto conv = [ebcdic](char c) { return ebcdic ? static_cast<char>(AsciiToEbcdic(static_cast<uint8_t>(c))) : c; };
  const char space = conv(' ');

  // A long BLOB comes in pieces, read twice: once to decide how the cell is
  // written, once to write it.
  const TField* streamed = field && field == StreamedBlob() ? field : nullptr;
  TCellScan scan;
  if (streamed)
    ReadBlobText(*streamed, [&](std::string_view piece) { ScanText(scan, piece); });
  else
    ScanText(scan, value);

  if (scan.nul) {
    ++nulValues_;
    ++Statistic.TotalErrors;
  }
  // Without a qualifier a value holding the separator or a line break splits
  // its row (header and footer lines are the user's own text).
  if (TextQualifier == 0 && InTable() && scan.splits) {
    ++splittingValues_;
    ++Statistic.TotalErrors;
    rowSplit_ = true;
  }

  line_.clear();
  // Fields are separated, never followed, by the separator: none before the
  // first cell of a row, none in header and footer lines or the blank title row.
  if (cellsInRow_ > 0 && Separator != 0 && InTable() && !InBlankTitleRow()) line_ += conv(Separator);
  ++cellsInRow_;
  if (const TZelEDataLevel* level = CurrentDetailLevel())
    line_.append(static_cast<size_t>(2 * std::max(0, level->ShiftCount)), space);

  const bool qualify = Qualifies(field, cellType, scan);
  const char q = conv(TextQualifier);
  if (qualify) line_ += q;

  int64_t padBefore = 0, padAfter = 0;
  if (Fixed) {
    int64_t w = 0;
    if (const TZelEDataLevel* level = CurrentDetailLevel()) {
      if (col >= 0 && col < level->Columns.Count()) w = level->Columns[col].Width;
    } else if (col >= 0 && col < static_cast<int>(widths_.size())) {
      w = widths_[static_cast<size_t>(col)];
    }
    const int64_t len = scan.length;
    if (alignment == taRightJustify) {
      padBefore = std::max<int64_t>(0, w - len);
    } else if (alignment == taCenter) {
      padBefore = padAfter = std::max<int64_t>(1, (w - len) / 2);
    } else {
      padAfter = std::max<int64_t>(0, w - len);
    }
  }
  line_.append(static_cast<size_t>(padBefore), space);
  if (streamed) {
    WriteString(line_);
    ReadBlobText(*streamed, [&](std::string_view piece) {
      line_.clear();
      AppendCellText(line_, piece, qualify);
      WriteString(line_);
    });
    line_.clear();
  } else {
    AppendCellText(line_, value, qualify);
  }
  line_.append(static_cast<size_t>(padAfter), space);
  if (qualify) line_ += q;
  WriteString(line_);
}

}  // namespace korvane
