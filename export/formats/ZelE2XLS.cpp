#include "export/formats/ZelE2XLS.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/sysutils.h"

namespace korvane {

namespace {

// Record ids of an Excel 2.x worksheet.
constexpr uint16_t kDimensions = 0x0000, kBlank = 0x0001, kInteger = 0x0002, kNumber = 0x0003, kLabel = 0x0004,
                   kBoolErr = 0x0005, kEof = 0x000A, kColWidth = 0x0024, kFont = 0x0031, kCodePage = 0x0042,
                   kXF = 0x0043, kBof = 0x0009, kFormat = 0x001E;

// The number format of each cell format slot.
constexpr uint8_t kSlotFormat[] = {0, 1, 7, 14, 18, 22};
constexpr int kSlots = static_cast<int>(sizeof kSlotFormat);

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

std::string Le16(uint32_t v) {
  std::string s;
  Put16(s, v);
  return s;
}

// Day numbers of 1 March 1900 and 31 December 9999 (day 1 = 1 January of year 1).
constexpr int64_t kFirstExcelDay = kDayNumberOf18991230 + 61;
constexpr int64_t kLastExcelDay = kDayNumberOf18991230 + 2958465;

// A separator of a date or time format: the characters Excel shows as they
// are stand alone, others are escaped.
std::string FormatLiteral(char c) {
  if (c == 0) return {};
  if (std::strchr("/-:. ,", c)) return std::string(1, c);
  return std::string("\\") + c;
}

// A currency symbol as a quoted literal of a number format.
std::string QuotedSymbol(const std::string& symbol) {
  if (symbol.find('"') == std::string::npos) return "\"" + symbol + "\"";
  std::string out;
  for (char c : symbol) (out += '\\') += c;
  return out;
}

bool IsBinaryType(TFieldType t) { return t == ftBytes || t == ftVarBytes || (IsBlobType(t) && t != ftMemo && t != ftFmtMemo); }

}  // namespace

TZelExportToXLS::TZelExportToXLS() {
  FileName = "ZelExport.XLS";
  SetTableType(teXLS);
}

std::vector<std::string> TZelExportToXLS::NumberFormats(const TZelEDataFormats& f, int placement,
                                                        const std::string& symbol) {
  // Format texts use "." and "," whatever the separators: a reader shows them
  // in its own.
  std::string day = f.LeadingZerosInDate ? "dd" : "d", month = f.LeadingZerosInDate ? "mm" : "m",
              year = f.FourDigitYear ? "yyyy" : "yy";
  const std::string sep = FormatLiteral(f.DateSeparator);
  std::string date;
  switch (f.DateOrder) {
    case doDMY: date = day + sep + month + sep + year; break;
    case doYMD: date = year + sep + month + sep + day; break;
    case doYDM: date = year + sep + day + sep + month; break;
    case doDYM: date = day + sep + year + sep + month; break;
    case doMYD: date = month + sep + year + sep + day; break;
    case doMDY:
    default: date = month + sep + day + sep + year; break;
  }
  const std::string tsep = FormatLiteral(f.TimeSeparator);
  const std::string time = "hh" + tsep + "mm" + tsep + "ss";
  const std::string sym = QuotedSymbol(symbol);
  std::string currency;
  switch (placement) {
    case 1: currency = "#,##0.00" + sym; break;
    case 2: currency = sym + " #,##0.00"; break;
    case 3: currency = "#,##0.00 " + sym; break;
    case 0:
    default: currency = sym + "#,##0.00"; break;
  }
  std::vector<std::string> out(50, "General");
  const std::pair<int, std::string> table[] = {
      {1, "0"},
      {2, "0.00"},
      {3, "#,##0"},
      {4, "#,##0.00"},
      {5, "($#,##0_);($#,##0)"},
      {6, "($#,##0_);[Red]($#,##0)"},
      {7, currency},
      {8, "$#,##0.00_);[Red]($#,##0.00)"},
      {9, "0%"},
      {10, "0.00%"},
      {11, "0.00E+00"},
      {12, "# ?/?"},
      {13, "# ?" "?/?" "?"},
      {14, date},
      {15, "d-mmm-yy"},
      {16, "d-mmm"},
      {17, "mmm-yy"},
      {18, time},
      {19, "h:mm:ss AM/PM"},
      {20, "h:mm"},
      {21, "h:mm:ss"},
      {22, date + " " + time},
      {37, "(#,##0_);(#,##0)"},
      {38, "(#,##0_);[Red](#,##0)"},
      {39, "(#,##0.00_);(#,##0.00)"},
      {40, "(#,##0.00_);[Red](#,##0.00)"},
      {41, "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
      {42, "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)"},
      {43, "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
      {44, "_($* #,##0.00_);_($* (#,##0.00);_($* \"-\"??_);_(@_)"},
      {45, "mm:ss"},
      {46, "[h]:mm:ss"},
      {47, "mm:ss.0"},
      {48, "##0.0E+0"},
      {49, "@"},
  };
  for (const auto& [i, text] : table) out[static_cast<size_t>(i)] = text;
  return out;
}

bool TZelExportToXLS::ExcelSerial(int64_t dayNumber, double& serial) {
  if (dayNumber < kFirstExcelDay || dayNumber > kLastExcelDay) return false;
  serial = static_cast<double>(dayNumber - kDayNumberOf18991230);
  return true;
}

void TZelExportToXLS::BeginExecute() {
  binaryCut_ = unreadTexts_ = outside_ = datesAsText_ = decimalsAsText_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToXLS::EndExecute() {
  auto note = [&](int n, const char* text) {
    if (n > 0) Statistic.Notes.push_back(ZelEFormat(text, {std::to_string(n)}));
  };
  note(binaryCut_, "%d binary values were longer than the 255 characters an Excel cell holds: their hex text was cut.");
  note(unreadTexts_, "%d cell texts given by the OnGetCellParams handler did not read as the cell's type: they were "
                     "written as text.");
  note(outside_, "%d cells lay outside the 16384 rows and 256 columns of the sheet and were left out.");
  note(datesAsText_, "%d dates lie outside the dates Excel holds (1 March 1900 to 31 December 9999): they were "
                     "written as text.");
  note(decimalsAsText_, "%d numbers have more digits than an Excel number holds: they were written whole, as text.");
  TZelExportToCellFile::EndExecute();
}

void TZelExportToXLS::Record(uint16_t id, const std::string& body) {
  std::string r;
  r.reserve(body.size() + 4);
  Put16(r, id);
  Put16(r, static_cast<uint32_t>(body.size()));
  r += body;
  WriteString(r);
}

void TZelExportToXLS::WriteFileBegin() {
  // Nothing is written before the sheet's size is known and checked.
  TZelExportToCellFile::WriteFileBegin();
  started_ = false;
  dimensionsAt_ = -1;
  rowsWritten_ = colsWritten_ = 0;
}

void TZelExportToXLS::CollectFonts() {
  TFontSpec first;
  first.Name = "Arial";
  first.Size = 8;
  fonts_.assign(1, first);
  if (!Options.Has(soColorsFonts)) return;
  auto add = [&](const TFontSpec& f) {
    if (fonts_.size() >= static_cast<size_t>(kMaxFonts) || FontIndex(&f) > 0) return;
    if (f.Name == first.Name && f.Size == first.Size && !f.Bold && !f.Italic && !f.Underline && !f.StrikeOut) return;
    fonts_.push_back(f);
  };
  // Header and footer lines, band captions, titles, columns.
  if (!Header.empty() || !Footer.empty()) add(TFontSpec{});
  if (Options.Has(soExportBands))
    for (int i = 0; i < Bands.Count(); ++i) add(Bands[i].Font);
  const TZelEColumns& columns = CurrentColumns();
  for (int i = 0; i < columns.Count(); ++i)
    if (IsExported(columns[i])) {
      if (AddTitle) add(columns[i].Title.Font);
      add(columns[i].Font);
    }
}

int TZelExportToXLS::FontIndex(const TFontSpec* font) const {
  if (!font) return 0;
  for (size_t i = 0; i < fonts_.size(); ++i) {
    const TFontSpec& f = fonts_[i];
    if (f.Name == font->Name && f.Size == font->Size && f.Bold == font->Bold && f.Italic == font->Italic &&
        f.Underline == font->Underline && f.StrikeOut == font->StrikeOut)
      return static_cast<int>(i);
  }
  return 0;
}

void TZelExportToXLS::WriteDimension(int rowCount, int colCount) {
  // The rows and columns this file needs, checked before its first byte.
  const int lines = static_cast<int>(Header.size() + Footer.size());
  int rows = rowCount + lines, cols = colCount - 1;
  if (Layout == elReversedColumnar) cols += lines;
  if (cols > kMaxColumns)
    throw EZelExportError(ZelEFormat("An Excel sheet holds at most %d columns; this export needs %d. Export fewer "
                                     "columns.",
                                     {std::to_string(kMaxColumns), std::to_string(cols)}));
  if (rows > kMaxRows) {
    const int perRecord = Layout == elTabularForm ? std::max(1, ExportedColumnCount()) : 1;
    const int fixed = lines + TitleRows() * (Layout == elTabularForm ? 0 : 1);
    const int fit = std::max(0, (kMaxRows - fixed) / perRecord);
    throw EZelExportError(ZelEFormat(
        "An Excel sheet holds at most %d rows; this file needs %d. Set rows per file (--rows-per-file) to %d or "
        "fewer.",
        {std::to_string(kMaxRows), std::to_string(rows), std::to_string(fit)}));
  }
  CollectFonts();
  started_ = true;
  std::string body;
  // BOF: Excel 2.x worksheet.
  Put16(body, 0x0002);
  Put16(body, 0x0010);
  Record(kBof, body);
  Record(kCodePage, Le16(static_cast<uint32_t>(RunCodePage())));
  for (const TFontSpec& f : fonts_) {
    body.clear();
    Put16(body, static_cast<uint32_t>(std::clamp(f.Size, 1, 409) * 20));
    Put16(body, (f.Bold ? 0x01u : 0u) | (f.Italic ? 0x02u : 0u) | (f.Underline ? 0x04u : 0u) |
                    (f.StrikeOut ? 0x08u : 0u));
    std::string name;
    if (RunCodePageText()) RunCodePageText()->Append(name, f.Name, 255);
    else name = f.Name.substr(0, 255);
    body += static_cast<char>(name.size());
    body += name;
    Record(kFont, body);
  }
  // Number formats, their index being their order; the currency symbol in the
  // run's code page.
  std::string symbol;
  if (RunCodePageText()) RunCodePageText()->Append(symbol, RunFormat().Formats().CurrencyString, 200);
  else symbol = RunFormat().Formats().CurrencyString;
  for (const std::string& text : NumberFormats(RunFormat().Formats(), RunFormat().Settings().CurrencyFormat, symbol)) {
    body.assign(1, static_cast<char>(std::min<size_t>(text.size(), 255)));
    body.append(text, 0, 255);
    Record(kFormat, body);
  }
  // One cell format per font and number format.
  for (size_t f = 0; f < fonts_.size(); ++f)
    for (int s = 0; s < kSlots; ++s) {
      body.clear();
      body += static_cast<char>(f);
      body += '\0';
      body += static_cast<char>(kSlotFormat[s] | 0x40);  // locked
      body += '\0';
      Record(kXF, body);
    }
  // The dimensions: those announced, made those of the cells written when the
  // file is closed.
  if (Stream()) dimensionsAt_ = Stream()->Position();
  body.clear();
  Put16(body, 0);
  Put16(body, static_cast<uint32_t>(rows));
  Put16(body, 0);
  Put16(body, static_cast<uint32_t>(std::max(cols, 0)));
  Record(kDimensions, body);
}

void TZelExportToXLS::WriteColumnWidth(int col, int width) {
  if (!started_ || width < 1 || col < 0 || col >= kMaxColumns) return;
  if (width == 10) width = 12;
  width = std::min(width, 255);
  std::string body;
  body += static_cast<char>(col);
  body += static_cast<char>(col);
  Put16(body, static_cast<uint32_t>(width * 256));
  Record(kColWidth, body);
}

void TZelExportToXLS::BeginRow() {
  // Rows of detail levels are not announced: the footer lines keep their place.
  if (Statistic.Section != 4 && Statistic.CurrentRow + static_cast<int>(Footer.size()) >= kMaxRows)
    throw EZelExportError(ZelEFormat("An Excel sheet holds at most %d rows; the detail records make this file "
                                     "longer. Set rows per file (--rows-per-file) to fewer records.",
                                     {std::to_string(kMaxRows)}));
}

void TZelExportToXLS::Cell(uint16_t id, int row, int col, TSlot slot, int font, TAlignment alignment,
                           const std::string& value) {
  std::string body;
  body.reserve(7 + value.size());
  Put16(body, static_cast<uint32_t>(row));
  Put16(body, static_cast<uint32_t>(col));
  const int s = std::clamp(static_cast<int>(slot), 0, kSlots - 1);
  body += static_cast<char>(font * kSlots + s);
  body += static_cast<char>(kSlotFormat[s] | (font << 6));
  body += static_cast<char>(alignment == taRightJustify ? 3 : alignment == taCenter ? 2 : 1);
  body += value;
  Record(id, body);
  rowsWritten_ = std::max(rowsWritten_, row + 1);
  colsWritten_ = std::max(colsWritten_, col + 1);
}

void TZelExportToXLS::Label(int row, int col, int font, TAlignment alignment, std::string_view utf8,
                            size_t maxBytes) {
  std::string value(1, '\0');
  AppendInCodePage(value, utf8, maxBytes);
  value[0] = static_cast<char>(value.size() - 1);
  Cell(kLabel, row, col, fsGeneral, font, alignment, value);
}

void TZelExportToXLS::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec* fontSpec, TColor) {
  if (!started_) return;
  if (row < 0 || col < 0 || row >= kMaxRows || col >= kMaxColumns) {
    ++outside_;
    ++Statistic.TotalErrors;
    return;
  }
  const int font = Options.Has(soColorsFonts) ? FontIndex(fontSpec) : 0;
  const TZelECellValue& v = CellNativeValue();
  auto number = [&](double d, TSlot slot) {
    std::string value(8, '\0');
    std::memcpy(value.data(), &d, 8);
    Cell(kNumber, row, col, slot, font, alignment, value);
  };
  auto blank = [&] {
    if (Options.Has(soExportBlankValues)) Cell(kBlank, row, col, fsGeneral, font, alignment, std::string());
  };
  // Display texts asked for: every cell is its text.
  if (Options.Has(soFieldMask)) {
    if (text.empty()) blank();
    else Label(row, col, font, alignment, text, kMaxLabel);
    return;
  }
  if (cellType == ctBlank || (field && v.IsNull())) {
    blank();
    return;
  }
  // A text an OnGetCellParams handler put in place of the value is the value.
  if (field && CellTextReplaced()) {
    double d = 0;
    const bool numeric = cellType == ctInteger || cellType == ctDouble || cellType == ctCurrency;
    if (text.empty()) {
      blank();
    } else if (numeric && ReadCellNumber(text, d)) {
      number(d, cellType == ctCurrency ? fsCurrency : cellType == ctInteger ? fsInteger : fsGeneral);
    } else {
      if (cellType != ctString && cellType != ctMEMO) {
        ++unreadTexts_;
        ++Statistic.TotalErrors;
      }
      Label(row, col, font, alignment, text, kMaxLabel);
    }
    return;
  }
  if (field && IsBinaryType(field->DataType())) {
    // Lower-case hex, cut at a whole byte.
    if (text.empty()) {
      blank();
      return;
    }
    if (text.size() > kMaxLabel) {
      ++binaryCut_;
      ++Statistic.TotalErrors;
    }
    Label(row, col, font, alignment, std::string_view(text).substr(0, kMaxLabel - 1), kMaxLabel);
    return;
  }
  std::string dumpText;
  switch (v.kind) {
    case TZelECellValue::cvInteger:
      if (v.Integer >= 0 && v.Integer <= 65535)
        Cell(kInteger, row, col, fsInteger, font, alignment, Le16(static_cast<uint32_t>(v.Integer)));
      else
        number(static_cast<double>(v.Integer), fsInteger);
      return;
    case TZelECellValue::cvDouble:
    case TZelECellValue::cvCurrency:
      if (std::isfinite(v.Double)) {
        number(v.Double, v.kind == TZelECellValue::cvCurrency ? fsCurrency : fsGeneral);
        return;
      }
      ++decimalsAsText_;
      Label(row, col, font, alignment, text, kMaxLabel);
      return;
    case TZelECellValue::cvBCD: {
      double d = 0;
      if (ExactDoubleOfDecimal(v.Text, d)) {
        number(d, fsGeneral);
      } else {
        ++decimalsAsText_;
        Label(row, col, font, alignment, v.Text, kMaxLabel);
      }
      return;
    }
    case TZelECellValue::cvDate: {
      double serial = 0;
      if (ExcelSerial(v.Integer, serial)) {
        number(serial, fsDate);
      } else {
        ++datesAsText_;
        AppendDayNumber(dumpText, v.Integer);
        Label(row, col, font, alignment, dumpText, kMaxLabel);
      }
      return;
    }
    case TZelECellValue::cvTime:
      number(static_cast<double>(v.Integer) / 86400000.0, fsTime);
      return;
    case TZelECellValue::cvDateTime: {
      const int64_t day = v.Integer >= 0 ? v.Integer / 86400000 : -((-v.Integer + 86399999) / 86400000);
      const int64_t ms = v.Integer - day * 86400000;
      double serial = 0;
      if (ExcelSerial(day, serial)) {
        number(serial + static_cast<double>(ms) / 86400000.0, fsDateTime);
      } else {
        ++datesAsText_;
        AppendTimestamp(dumpText, static_cast<double>(v.Integer));
        Label(row, col, font, alignment, dumpText, kMaxLabel);
      }
      return;
    }
    case TZelECellValue::cvBoolean:
      Cell(kBoolErr, row, col, fsGeneral, font, alignment, std::string{static_cast<char>(v.Boolean ? 1 : 0), '\0'});
      return;
    default:
      break;
  }
  // Text: header and footer lines, titles, memos, and values of other kinds.
  if (text.empty()) {
    blank();
    return;
  }
  // A constant column typed as a number holds its number as text.
  double d = 0;
  if (!field && (cellType == ctInteger || cellType == ctDouble || cellType == ctCurrency) && ReadCellNumber(text, d)) {
    number(d, cellType == ctCurrency ? fsCurrency : cellType == ctInteger ? fsInteger : fsGeneral);
    return;
  }
  Label(row, col, font, alignment, text, kMaxLabel);
}

void TZelExportToXLS::WriteFileEnd() {
  if (!started_) return;
  Record(kEof, std::string());
  started_ = false;
  // The dimensions of the cells written.
  TZelEOutputStream* s = Stream();
  auto* file = dynamic_cast<TZelEFileStream*>(s);
  if (s && dimensionsAt_ >= 0 && !(file && file->Direct())) {
    const int64_t end = s->Position();
    std::string body;
    Put16(body, kDimensions);
    Put16(body, 8);
    Put16(body, 0);
    Put16(body, static_cast<uint32_t>(rowsWritten_));
    Put16(body, 0);
    Put16(body, static_cast<uint32_t>(colsWritten_));
    s->Seek(dimensionsAt_);
    s->Write(body);
    s->Seek(end);
  }
}

}  // namespace korvane
