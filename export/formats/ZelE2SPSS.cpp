#include "export/formats/ZelE2SPSS.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace korvane {

namespace {

constexpr uint8_t kBias = 100;
constexpr uint8_t kRawValue = 253, kBlanks = 254, kSysmis = 255, kEndOfData = 252;

void PutLe32(std::string& s, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) s += static_cast<char>((u >> (8 * i)) & 0xFF);
}

void PutDouble(std::string& s, double d) {
  uint64_t u = 0;
  std::memcpy(&u, &d, 8);
  for (int i = 0; i < 8; ++i) s += static_cast<char>((u >> (8 * i)) & 0xFF);
}

// s padded with blanks or cut to n bytes.
std::string Padded(std::string s, size_t n) {
  s.resize(n, ' ');
  return s;
}

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Significant digits of a decimal text ("-0012.500" has 3).
int SignificantDigits(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (IsDigit(c)) digits += c;
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  digits.erase(0, first);
  // Trailing zeros after the point are not significant; before it they are
  // (the value's magnitude), but a double holds them exactly up to 10^22.
  const size_t last = digits.find_last_not_of('0');
  return static_cast<int>(last + 1);
}

}  // namespace

TZelExportToSPSS::TZelExportToSPSS() {
  FileName = "ZelExport.SAV";
  SetTableType(teSPSS);
}

std::string TZelExportToSPSS::VariableName(std::string_view fieldName, int number) {
  std::string name;
  for (size_t i = 0; i < fieldName.size() && name.size() < 9;) {
    const unsigned char c = static_cast<unsigned char>(fieldName[i]);
    const char u = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const bool keep = IsUpper(u) || IsDigit(u) || u == '_' || u == '.' || u == '$' || u == '#' || u == '@';
    name += keep ? u : '_';
    // One "_" for a whole character outside ASCII.
    const size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    size_t j = i + 1;
    while (j < fieldName.size() && j < i + n && (static_cast<unsigned char>(fieldName[j]) & 0xC0) == 0x80) ++j;
    i = j;
  }
  if (name.empty()) return "V" + std::to_string(number);
  if (!IsUpper(name[0])) name.insert(0, "V");
  if (name.size() > 8) name.resize(8);
  if (name.back() == '.') name.back() = '_';
  static const char* const kReserved[] = {"ALL", "AND", "BY", "EQ", "GE", "GT", "LE",
                                          "LT",  "NE",  "NOT", "OR", "TO", "WITH"};
  for (const char* r : kReserved)
    if (name == r) {
      name.insert(0, "V");
      break;
    }
  return name;
}

std::string TZelExportToSPSS::UniqueName(std::string name, const std::vector<std::string>& used) {
  while (std::find(used.begin(), used.end(), name) != used.end()) {
    size_t end = name.size();
    while (end > 1 && IsDigit(name[end - 1])) --end;
    const std::string digits = name.substr(end);
    const uint64_t n = digits.empty() || digits.size() > 6 ? 0 : std::stoull(digits);
    const std::string next = std::to_string(n + 1);
    name = name.substr(0, std::min(end, 8 - next.size())) + next;
  }
  return name;
}

std::string TZelExportToSPSS::EncodingName(int codePage) {
  switch (codePage) {
    case 874: return "windows-874";
    case 932: return "windows-31j";
    case 936: return "GBK";
    case 949: return "CP949";
    case 950: return "Big5";
    case 65001: return "UTF-8";
    default: break;
  }
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
  if (codePage == 437 || codePage == 775 || (codePage >= 850 && codePage <= 869)) return "IBM" + std::to_string(codePage);
  return "CP" + std::to_string(codePage);
}

int32_t TZelExportToSPSS::CharacterCode(int codePage) {
  // GBK as GB18030, which reads every GBK text the same: readers that go by
  // this number alone take 936 for GB2312, which their converters lack.
  return codePage == 936 ? 54936 : codePage;
}

void TZelExportToSPSS::BeginExecute() {
  // A data file has variables and cases only: no header or footer lines and no
  // title row; the column titles become the variables' labels.
  Header.clear();
  Footer.clear();
  AddTitle = false;
  Layout = elColumnar;
  numbersChanged_ = earlyDates_ = trailingBlanks_ = unreadTexts_ = 0;
  TZelExportToCellFile::BeginExecute();
  if (!DetailSources.empty())
    throw EZelExportError("An SPSS data file holds the records of one table: detail levels cannot be exported to it.");
}

void TZelExportToSPSS::EndExecute() {
  if (numbersChanged_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d numbers have more digits than an SPSS number holds, or are not numbers: "
                                         "they were rounded, or written as missing values.",
                                         {std::to_string(numbersChanged_)}));
  if (earlyDates_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d dates lie on or before 14 October 1582, where SPSS dates begin: their values "
                                         "are in the file, but SPSS shows them as blank.",
                                         {std::to_string(earlyDates_)}));
  if (unreadTexts_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d cell texts given by the OnGetCellParams handler did not read as their "
                                         "column's type: they were written as missing values.",
                                         {std::to_string(unreadTexts_)}));
  if (trailingBlanks_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d texts end in blanks, which SPSS strings do not tell from their padding: "
                                         "readers show them without.",
                                         {std::to_string(trailingBlanks_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToSPSS::Changed(int& counter) {
  ++counter;
  ++Statistic.TotalErrors;
}

void TZelExportToSPSS::CreateFileStream(const std::string& fileName) {
  TZelExportToCellFile::CreateFileStream(fileName);
  // The case count is completed at the end: the file must take a seek back.
  if (auto* file = dynamic_cast<TZelEFileStream*>(Stream()); file && file->Direct())
    throw EZelExportError("An SPSS data file cannot be written to " + fileName +
                          ": its header is completed after the last case, which a pipe, device or standard "
                          "output cannot take. Choose a file.");
  headerWritten_ = false;
  inCase_ = false;
  cases_ = 0;
  used_ = 0;
  slots_.clear();
}

void TZelExportToSPSS::WriteDimension(int, int colCount) {
  const int n = colCount - 1;
  if (n < 1) throw EZelExportError("An SPSS data file needs at least one variable; this export has no columns.");
  vars_.assign(static_cast<size_t>(n), TVariable{});
  names_.clear();
}

void TZelExportToSPSS::WriteColumnWidth(int col, int width) {
  if (col < 0 || col >= static_cast<int>(vars_.size())) return;
  const TZelEColumns& columns = CurrentColumns();
  const TZelEColumn* column = nullptr;
  for (int i = 0, k = 0; i < columns.Count(); ++i) {
    if (!IsExported(columns[i])) continue;
    if (k++ == col) {
      column = &columns[i];
      break;
    }
  }
  TVariable& v = vars_[static_cast<size_t>(col)];
  const TField* field = column && column->ColumnKind == ckField && Engine() ? Engine()->FindField(*column) : nullptr;

  std::string source;
  if (column) source = !column->FieldName.empty() ? column->FieldName : column->Title.Caption;
  v.Name = UniqueName(VariableName(source, col + 1), names_);
  names_.push_back(v.Name);
  v.Label.clear();
  if (column && RunCodePageText()) RunCodePageText()->Append(v.Label, column->Title.Caption, 255);

  const TFieldType t = field ? field->DataType() : ftString;
  const int size = field ? field->Size() : 0;
  if (width <= 0) width = 10;
  v.Kind = vkString;
  v.Decimals = 0;
  v.Width = std::clamp(width, 1, kMaxStringWidth);
  if (!field) return;
  if (Options.Has(soFieldMask)) {
    // Display texts: at least what a number or a time stamp takes.
    v.Width = std::clamp(std::max({width, t == ftString ? size : 0, IsBlobType(t) ? kMaxStringWidth : 32}), 1,
                         kMaxStringWidth);
    return;
  }
  switch (t) {
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
      v.Kind = vkInteger;
      break;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      v.Kind = vkNumber;
      v.Decimals = column && column->Precision > 0 ? column->Precision
                   : t == ftBCD                     ? size
                                                    : 2;
      v.Decimals = std::clamp(v.Decimals, 0, 16);
      break;
    case ftDate:
      v.Kind = vkDate;
      break;
    case ftTime:
      v.Kind = vkTime;
      break;
    case ftDateTime:
      v.Kind = vkDateTime;
      break;
    case ftBoolean:
      v.Kind = vkBoolean;
      break;
    case ftString:
      v.Width = std::clamp(std::max(width, size), 1, kMaxStringWidth);
      break;
    case ftBytes:
    case ftVarBytes:
      v.Width = std::clamp(2 * size, 1, kMaxStringWidth);  // lower-case hex
      break;
    default:
      // Memos and binary data: as much as a string holds (the grid's width, the
      // slot a memo has in the record, would cut nearly every one).
      if (IsBlobType(t)) v.Width = kMaxStringWidth;
      break;
  }
}

void TZelExportToSPSS::BeginTable() {
  TZelExportToCellFile::BeginTable();
  if (headerWritten_ || !Stream()) return;
  int32_t valuesPerCase = 0;
  for (const TVariable& v : vars_) valuesPerCase += v.Kind == vkString ? (v.Width + 7) / 8 : 1;

  std::string h = "$FL2";
  h += Padded("@(#) SPSS DATA FILE " + KeyGenerator, 60);
  PutLe32(h, 2);              // layout code
  PutLe32(h, valuesPerCase);  // values per case
  PutLe32(h, 1);              // compressed
  PutLe32(h, 0);              // no weight variable
  PutLe32(h, -1);             // cases: completed when the file is closed
  PutDouble(h, kBias);
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d %s %02d", tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year % 100);
  h += Padded(stamp, 9);
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  h += Padded(stamp, 8);
  h += std::string(64, ' ');  // file label
  h += std::string(3, '\0');

  for (const TVariable& v : vars_) {
    uint32_t format = 0;
    switch (v.Kind) {
      case vkString: format = Format(kFmtA, v.Width, 0); break;
      case vkInteger: format = Format(kFmtF, 11, 0); break;
      case vkNumber: format = Format(kFmtF, 40, v.Decimals); break;
      case vkDate: format = Format(kFmtDate, 11, 0); break;
      case vkTime: format = Format(kFmtTime, 8, 0); break;
      case vkDateTime: format = Format(kFmtDateTime, 20, 0); break;
      case vkBoolean: format = Format(kFmtF, 1, 0); break;
    }
    PutLe32(h, 2);
    PutLe32(h, v.Kind == vkString ? v.Width : 0);
    PutLe32(h, v.Label.empty() ? 0 : 1);
    PutLe32(h, 0);  // no missing values
    PutLe32(h, static_cast<int32_t>(format));
    PutLe32(h, static_cast<int32_t>(format));
    h += Padded(v.Name, 8);
    if (!v.Label.empty()) {
      PutLe32(h, static_cast<int32_t>(v.Label.size()));
      h += Padded(v.Label, (v.Label.size() + 3) / 4 * 4);
    }
    // The further 8-byte pieces of a string.
    if (v.Kind == vkString)
      for (int k = (v.Width - 1) / 8; k > 0; --k) {
        PutLe32(h, 2);
        PutLe32(h, -1);
        PutLe32(h, 0);
        PutLe32(h, 0);
        PutLe32(h, 0);
        PutLe32(h, 0);
        h += std::string(8, ' ');
      }
  }
  // Machine integers: version, machine, floating point (IEEE), compression,
  // little-endian, the code page of the text.
  for (int32_t x : {7, 3, 4, 8, 1, 0, 0, -1, 1, 1, 2, CharacterCode(RunCodePage())}) PutLe32(h, x);
  // Machine floating point: system-missing, highest, lowest.
  for (int32_t x : {7, 4, 8, 3}) PutLe32(h, x);
  PutDouble(h, -DBL_MAX);
  PutDouble(h, DBL_MAX);
  PutDouble(h, std::nextafter(-DBL_MAX, 0.0));
  // The character encoding by name.
  const std::string encoding = EncodingName(RunCodePage());
  for (int32_t x : {7, 20, 1, static_cast<int32_t>(encoding.size())}) PutLe32(h, x);
  h += encoding;
  PutLe32(h, 999);
  PutLe32(h, 0);
  WriteString(h);
  headerWritten_ = true;
  used_ = 0;
  slots_.clear();
}

void TZelExportToSPSS::BeginRow() {
  inCase_ = false;
  if (!InTable() || !headerWritten_) return;
  if (Statistic.LevelNumber != 0)
    throw EZelExportError("An SPSS data file holds the records of one table: detail levels cannot be exported to it.");
  col_ = 0;
  inCase_ = true;
}

void TZelExportToSPSS::EndRow() {
  if (!inCase_) return;
  // A cell the run did not hand over is missing.
  for (; col_ < static_cast<int>(vars_.size()); ++col_) WriteValue(vars_[static_cast<size_t>(col_)], nullptr, ctBlank, {});
  ++cases_;
  inCase_ = false;
}

void TZelExportToSPSS::PutCommand(uint8_t code) {
  commands_[used_++] = code;
  if (used_ == 8) FlushBlock();
}

void TZelExportToSPSS::PutMissing() { PutCommand(kSysmis); }

void TZelExportToSPSS::PutNumber(double value) {
  if (!std::isfinite(value) || value == -DBL_MAX) {
    Changed(numbersChanged_);
    PutMissing();
    return;
  }
  // Whole numbers from -99 to 151 are their command byte (-0 keeps its sign).
  if (value == std::floor(value) && value >= 1.0 - kBias && value <= 251.0 - kBias && !(value == 0 && std::signbit(value))) {
    PutCommand(static_cast<uint8_t>(static_cast<int>(value) + kBias));
    return;
  }
  PutDouble(slots_, value);
  PutCommand(kRawValue);
}

void TZelExportToSPSS::PutString(const TVariable& v, std::string_view bytes) {
  const size_t n = static_cast<size_t>((v.Width + 7) / 8 * 8);
  std::string s(bytes.substr(0, n));
  s.resize(n, ' ');
  for (size_t at = 0; at < n; at += 8) {
    const std::string_view chunk(s.data() + at, 8);
    if (chunk.find_first_not_of(' ') == std::string_view::npos) {
      PutCommand(kBlanks);
    } else {
      slots_.append(chunk);
      PutCommand(kRawValue);
    }
  }
}

void TZelExportToSPSS::WriteValue(const TVariable& v, const TField* field, TCellType cellType,
                                  const std::string& text) {
  const TZelECellValue& value = CellNativeValue();
  if (v.Kind == vkString) {
    std::string out;
    if (field && (!value.IsNull() || CellTextReplaced()) && cellType != ctBlank) {
      const bool changed = AppendInCodePage(out, text, static_cast<size_t>(v.Width));
      if (!changed && !out.empty() && out.back() == ' ') Changed(trailingBlanks_);
    }
    PutString(v, out);
    return;
  }
  if (!field || cellType == ctBlank) {
    PutMissing();
    return;
  }
  if (CellTextReplaced()) {
    // The handler's text is the value: a number where it reads as one (with
    // the run's separators and boolean texts), else a missing value, counted.
    double d = 0;
    if (value.kind == TZelECellValue::cvBoolean && text == DataFormats.BooleanTrue) {
      PutNumber(1);
    } else if (value.kind == TZelECellValue::cvBoolean && text == DataFormats.BooleanFalse) {
      PutNumber(0);
    } else if (value.kind != TZelECellValue::cvBoolean && value.kind != TZelECellValue::cvDate &&
               value.kind != TZelECellValue::cvTime && value.kind != TZelECellValue::cvDateTime &&
               ReadCellNumber(text, d)) {
      PutNumber(d);
    } else {
      if (!text.empty()) Changed(unreadTexts_);
      PutMissing();
    }
    return;
  }
  switch (value.kind) {
    case TZelECellValue::cvInteger:
      PutNumber(static_cast<double>(value.Integer));
      return;
    case TZelECellValue::cvDouble:
    case TZelECellValue::cvCurrency:
      PutNumber(value.Double);
      return;
    case TZelECellValue::cvBCD: {
      const double d = std::strtod(value.Text.c_str(), nullptr);
      if (SignificantDigits(value.Text) > 15) Changed(numbersChanged_);
      PutNumber(d);
      return;
    }
    case TZelECellValue::cvBoolean:
      PutNumber(value.Boolean ? 1 : 0);
      return;
    case TZelECellValue::cvDate:
      if (value.Integer <= kDayNumberOf15821014) Changed(earlyDates_);
      PutNumber(static_cast<double>((value.Integer - kDayNumberOf15821014) * 86400));
      return;
    case TZelECellValue::cvTime:
      PutNumber(static_cast<double>(value.Integer) / 1000.0);
      return;
    case TZelECellValue::cvDateTime: {
      const int64_t ms = value.Integer - kDayNumberOf15821014 * 86400000;
      if (ms <= 0) Changed(earlyDates_);
      PutNumber(static_cast<double>(ms) / 1000.0);
      return;
    }
    default:
      PutMissing();
      return;
  }
}

void TZelExportToSPSS::WriteData(const TField* field, TCellType cellType, int, int col, const std::string& text,
                                 TAlignment, const TFontSpec*, TColor) {
  if (!inCase_ || col < col_ || col >= static_cast<int>(vars_.size())) return;
  for (; col_ < col; ++col_) WriteValue(vars_[static_cast<size_t>(col_)], nullptr, ctBlank, {});
  WriteValue(vars_[static_cast<size_t>(col)], field, cellType, text);
  ++col_;
}

void TZelExportToSPSS::FlushBlock() {
  if (used_ == 0) return;
  // Command bytes a partly used last block does not use are 0 (no operation).
  std::string block(reinterpret_cast<const char*>(commands_), 8);
  std::fill(block.begin() + used_, block.end(), '\0');
  block += slots_;
  WriteString(block);
  used_ = 0;
  slots_.clear();
}

void TZelExportToSPSS::CloseFile() {
  // The data ends and the header gets its case count on every path; the
  // footer lines a data file has none of.
  if (Stream() && headerWritten_) {
    FlushBlock();
    // The end of the data: its command byte, the rest of the block unused.
    const char end[8] = {static_cast<char>(kEndOfData), 0, 0, 0, 0, 0, 0, 0};
    WriteString(std::string_view(end, 8));
    TZelEOutputStream& s = *Stream();
    const int64_t at = s.Position();
    std::string count;
    PutLe32(count, cases_);
    s.Seek(80);
    s.Write(count);
    s.Seek(at);
    headerWritten_ = false;
  }
  TZelExportToCellFile::CloseFile();
}

}  // namespace korvane
