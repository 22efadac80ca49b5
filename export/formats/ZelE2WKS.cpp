#include "export/formats/ZelE2WKS.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>

namespace korvane {

namespace {

void PutLe16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

// A whole text read as a number ("12", "-3.5", "1e5"); false for anything else.
bool ReadNumber(std::string_view text, double& out) {
  if (text.empty()) return false;
  const char* b = text.data();
  const char* e = b + text.size();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

}  // namespace

TZelExportToWKS::TZelExportToWKS() {
  FileName = "ZelExport.WK1";
  SetTableType(teWKS);
}

void TZelExportToWKS::AppendRecord(std::string& out, uint16_t opcode, std::string_view body) {
  PutLe16(out, opcode);
  PutLe16(out, static_cast<uint32_t>(body.size()));
  out.append(body);
}

bool TZelExportToWKS::DecimalAsDouble(std::string_view digits, double& out) {
  if (!ReadNumber(digits, out)) return false;
  const size_t dot = digits.find('.');
  const int decimals = dot == std::string_view::npos ? 0 : static_cast<int>(digits.size() - dot - 1);
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, out, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return false;
  std::string_view back(buf, static_cast<size_t>(r.ptr - buf));
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  // "-0.00" and "0.00" are the same value.
  if (back != digits && !(out == 0 && back.substr(back[0] == '-' ? 1 : 0) == digits.substr(digits[0] == '-' ? 1 : 0)))
    return false;
  return true;
}

void TZelExportToWKS::BeginExecute() {
  nulValues_ = cutLabels_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToWKS::EndExecute() {
  if (nulValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held NUL bytes, which end a worksheet label: they were written "
                                         "as blanks.",
                                         {std::to_string(nulValues_)}));
  if (cutLabels_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d texts were longer than the %d characters a worksheet label holds: they "
                                         "were cut.",
                                         {std::to_string(cutLabels_), std::to_string(MaxLabelBytes())}));
  nulValues_ = cutLabels_ = 0;
  TZelExportToCellFile::EndExecute();
}

void TZelExportToWKS::CreateFileStream(const std::string& fileName) {
  TZelExportToCellFile::CreateFileStream(fileName);
  // The range record is completed at the end: the file must take a seek back.
  if (auto* file = dynamic_cast<TZelEFileStream*>(Stream()); file && file->Direct())
    throw EZelExportError(std::string(SheetKind()) + " cannot be written to " + fileName +
                          ": its range record is completed after the last cell, which a pipe, device or standard "
                          "output cannot take. Choose a file.");
}

void TZelExportToWKS::TooManyRows(int rows) const {
  throw EZelExportError(ZelEFormat("%s holds at most %d rows; this export has %d (header lines, titles, records and "
                                   "footer lines). Split it into files of fewer records (rows per file, "
                                   "--rows-per-file), or leave out header and footer lines.",
                                   {SheetKind(), std::to_string(kMaxRows), std::to_string(rows)}));
}

void TZelExportToWKS::TooManyColumns(int cols) const {
  throw EZelExportError(ZelEFormat("%s holds at most %d columns; this export has %d. Export fewer columns%s.",
                                   {SheetKind(), std::to_string(kMaxColumns), std::to_string(cols),
                                    Layout == elReversedColumnar ? " (one per record in this layout: fewer records "
                                                                   "per file)"
                                                                 : ""}));
}

void TZelExportToWKS::SheetSize(int& rows, int& cols) const {
  int records = RecordCount();
  if (RowsPerFile > 0 && FileMode()) records = std::min(records, RowsPerFile);
  const int header = static_cast<int>(Header.size());
  const int footer = static_cast<int>(Footer.size());
  const int columns = ExportedColumnCount();
  const int lines = header + TitleRows() + records + footer;
  switch (Layout) {
    case elReversedColumnar:
      // A record per column; header and footer lines take a column each too.
      cols = lines;
      rows = std::max(columns, footer > 0 ? lines : header);
      break;
    case elTabularForm:
      rows = header + records * columns + footer;
      cols = TitleRows() + 1;
      break;
    case elColumnar:
    default:
      rows = lines;
      cols = std::max(columns, header + footer > 0 ? 2 : 0);
      break;
  }
}

void TZelExportToWKS::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  // The first file is the largest of a split export: nothing is written when
  // any file would not fit.
  int rows = 0, cols = 0;
  SheetSize(rows, cols);
  if (cols > kMaxColumns) TooManyColumns(cols);
  if (rows > kMaxRows) TooManyRows(rows);
  lastRow_ = lastCol_ = -1;
  record_.clear();
  std::string body;
  PutLe16(body, BeginOfFileValue());
  AppendRecord(record_, kBof, body);
  WriteString(record_);
  // The range of the cells, completed when the file ends.
  rangeAt_ = Stream() ? Stream()->Position() + 4 : -1;
  record_.clear();
  AppendRecord(record_, kRange, std::string(8, '\0'));
  WriteString(record_);
}

void TZelExportToWKS::WriteFileEnd() {
  record_.clear();
  AppendRecord(record_, kEof, {});
  WriteString(record_);
  if (TZelEOutputStream* s = Stream(); s && rangeAt_ >= 0) {
    std::string body;
    PutLe16(body, 0);
    PutLe16(body, 0);
    PutLe16(body, static_cast<uint32_t>(std::max(lastCol_, 0)));
    PutLe16(body, static_cast<uint32_t>(std::max(lastRow_, 0)));
    const int64_t end = s->Position();
    s->Seek(rangeAt_);
    s->Write(body);
    s->Seek(end);
  }
  rangeAt_ = -1;
}

void TZelExportToWKS::BeginRow() {
  // Rows beyond the sheet (detail levels, which are not counted beforehand)
  // stop the export rather than wrap.
  if (Layout != elReversedColumnar && Statistic.CurrentRow >= kMaxRows) TooManyRows(Statistic.CurrentRow + 1);
}

void TZelExportToWKS::WriteCell(uint16_t opcode, uint8_t format, int row, int col, std::string_view value) {
  if (row >= kMaxRows) TooManyRows(row + 1);
  if (col >= kMaxColumns) TooManyColumns(col + 1);
  if (row < 0 || col < 0) return;
  std::string body;
  body += static_cast<char>(format);
  PutLe16(body, static_cast<uint32_t>(col));
  PutLe16(body, static_cast<uint32_t>(row));
  body.append(value);
  record_.clear();
  AppendRecord(record_, opcode, body);
  WriteString(record_);
  lastRow_ = std::max(lastRow_, row);
  lastCol_ = std::max(lastCol_, col);
}

void TZelExportToWKS::AppendLabelText(std::string& body, std::string_view bytes) const {
  body.append(bytes);
  body += '\0';
}

void TZelExportToWKS::WriteLabel(int row, int col, std::string_view text, TAlignment alignment) {
  const size_t maxBytes = MaxLabelBytes();
  // Only the start of a long text can be written: at most four UTF-8 bytes a
  // character, and one more character to tell that it was cut.
  std::string_view head = text.substr(0, std::min(text.size(), maxBytes * 4 + 4));
  std::string clean;
  if (head.find('\0') != std::string_view::npos) {
    clean.assign(head);
    std::replace(clean.begin(), clean.end(), '\0', ' ');
    ++nulValues_;
    ++Statistic.TotalErrors;
    head = clean;
  }
  std::string bytes;
  bytes.reserve(std::min(text.size(), maxBytes));
  TZelECodePageText::TResult r;
  if (const TZelECodePageText* cp = RunCodePageText()) {
    r = cp->Append(bytes, head, maxBytes);
  } else {
    bytes.assign(head.substr(0, std::min(head.size(), maxBytes)));
    r.Cut = bytes.size() < head.size();
  }
  if (r.Cut || head.size() < text.size()) {
    ++cutLabels_;
    if (r.Replaced == 0) ++Statistic.TotalErrors;
  }
  r.Cut = false;
  CountCodePageChange(r);
  std::string value;
  value += alignment == taRightJustify ? '"' : alignment == taCenter ? '^' : '\'';
  AppendLabelText(value, bytes);
  WriteCell(kLabel, LabelFormat(), row, col, value);
}

void TZelExportToWKS::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec*, TColor) {
  const TZelECellValue& v = CellNativeValue();
  if (cellType == ctBlank || (field && v.IsNull())) {
    WriteCell(kBlank, BlankFormat(), row, col, {});
    return;
  }
  double number = 0;
  bool isNumber = false, isInteger = false;
  if (!Options.Has(soFieldMask)) {
    switch (v.kind) {
      case TZelECellValue::cvInteger:
        number = static_cast<double>(v.Integer);
        isNumber = true;
        isInteger = v.Integer >= -32767 && v.Integer <= 32767;
        break;
      case TZelECellValue::cvDouble:
      case TZelECellValue::cvCurrency:
        // Infinities and NaN stay their text.
        isNumber = std::isfinite(v.Double);
        number = v.Double;
        break;
      case TZelECellValue::cvBCD:
        // A decimal a double does not hold to its last digit stays its text.
        isNumber = DecimalAsDouble(v.Text, number);
        break;
      case TZelECellValue::cvText:
        // Constants and system variables of a numeric type: their text when it
        // is a number.
        if (cellType == ctInteger || cellType == ctDouble || cellType == ctCurrency) {
          isNumber = ReadNumber(text, number);
          isInteger = isNumber && cellType == ctInteger && number == std::trunc(number) && number >= -32767 &&
                      number <= 32767;
        }
        break;
      default:
        break;
    }
  }
  if (isInteger) {
    std::string value;
    PutLe16(value, static_cast<uint32_t>(static_cast<int16_t>(number)) & 0xFFFF);
    WriteCell(kInteger, kGeneralFormat, row, col, value);
  } else if (isNumber) {
    const uint64_t bits = std::bit_cast<uint64_t>(number);
    std::string value;
    for (int i = 0; i < 8; ++i) value += static_cast<char>((bits >> (8 * i)) & 0xFF);
    WriteCell(kNumber, kGeneralFormat, row, col, value);
  } else {
    WriteLabel(row, col, text, alignment);
  }
}

}  // namespace korvane
