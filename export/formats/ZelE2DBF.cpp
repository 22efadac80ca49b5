#include "export/formats/ZelE2DBF.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include "engine/pdx.h"
#include "engine/sysutils.h"

namespace korvane {

namespace {

constexpr int kMemoBlock = 512;

void PutLe16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Right-aligned in width, or asterisks when it does not fit.
bool RightAlign(std::string& out, const std::string& text, int width) {
  const size_t w = static_cast<size_t>(width);
  if (text.size() > w) {
    out.assign(w, '*');
    return false;
  }
  out.assign(w - text.size(), ' ');
  out += text;
  return true;
}

// The memo file beside a table: the same name with .dbt (.DBT beside an
// upper-case extension).
std::string MemoFileName(const std::string& table) {
  const size_t slash = table.find_last_of('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = table.find_last_of('.');
  std::string base = table, ext;
  if (dot != std::string::npos && dot > start) {
    base = table.substr(0, dot);
    ext = table.substr(dot + 1);
  }
  const bool upper = !ext.empty() && std::all_of(ext.begin(), ext.end(), [](char c) { return !(c >= 'a' && c <= 'z'); });
  return base + (upper ? ".DBT" : ".dbt");
}

}  // namespace

TZelExportToDBF::TZelExportToDBF() {
  FileName = "ZelExport.DBF";
  SetTableType(teDBase);
}

uint8_t TZelExportToDBF::LanguageByte(int codePage) {
  switch (codePage) {
    case 1252: return 0x03;
    case 1250: return 0xC8;
    case 1251: return 0xC9;
    case 1253: return 0xCB;
    case 1254: return 0xCA;
    case 1255: return 0x7D;
    case 1256: return 0x7E;
    case 1257: return 0xCC;
    case 874: return 0x7C;
    case 932: return 0x7B;
    case 936: return 0x7A;
    case 949: return 0x79;
    case 950: return 0x78;
    case 437: return 0x01;
    case 850: return 0x02;
    case 866: return 0x26;
    case 852: return 0x64;
    case 865: return 0x66;
    case 861: return 0x67;
    case 737: return 0x6A;
    case 857: return 0x6B;
    case 863: return 0x6C;
    case 860: return 0x24;
    default: return 0;
  }
}

std::string TZelExportToDBF::FieldName(std::string_view title) {
  std::string name;
  for (size_t i = 0; i < title.size() && name.size() < 11;) {
    const unsigned char c = static_cast<unsigned char>(title[i]);
    name += IsAsciiLetter(static_cast<char>(c)) || IsDigit(static_cast<char>(c)) || c == '_' ? static_cast<char>(c) : '_';
    // One "_" for a whole character outside ASCII.
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    size_t j = i + 1;
    while (j < title.size() && j < i + n && (static_cast<unsigned char>(title[j]) & 0xC0) == 0x80) ++j;
    i = j;
  }
  if (name.empty()) return name;
  if (!IsAsciiLetter(name[0])) name.insert(0, "F");
  if (name.size() > 10) name.resize(10);
  return name;
}

std::string TZelExportToDBF::UniqueName(std::string name, const std::vector<std::string>& used) {
  auto taken = [&](const std::string& n) {
    return std::any_of(used.begin(), used.end(), [&](const std::string& u) { return SameTextAscii(u, n); });
  };
  while (taken(name)) {
    size_t end = name.size();
    while (end > 1 && IsDigit(name[end - 1])) --end;
    const std::string digits = name.substr(end);
    // A number too long to grow is started again.
    const uint64_t n = digits.empty() || digits.size() > 9 ? 0 : std::stoull(digits);
    const std::string next = std::to_string(n + 1);
    name = name.substr(0, std::min(end, 10 - next.size())) + next;
  }
  return name;
}

bool TZelExportToDBF::FormatNumber(std::string& out, double value, int decimals, int width) {
  if (!std::isfinite(value)) {
    out.assign(static_cast<size_t>(width), '*');
    return false;
  }
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) {
    out.assign(static_cast<size_t>(width), '*');
    return false;
  }
  std::string text(buf, r.ptr);
  double back = 0;
  std::from_chars(text.data(), text.data() + text.size(), back);
  const bool fits = RightAlign(out, text, width);
  return fits && back == value;
}

bool TZelExportToDBF::FormatDecimal(std::string& out, std::string_view digits, int decimals, int width) {
  std::string sign, whole, frac;
  size_t i = 0;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    if (digits[0] == '-') sign = "-";
    ++i;
  }
  const size_t dot = digits.find('.', i);
  whole = std::string(digits.substr(i, dot == std::string_view::npos ? std::string_view::npos : dot - i));
  if (dot != std::string_view::npos) frac = std::string(digits.substr(dot + 1));
  bool whole_value = true;
  if (static_cast<int>(frac.size()) > decimals) {
    whole_value = frac.find_first_not_of('0', static_cast<size_t>(decimals)) == std::string::npos;
    frac.resize(static_cast<size_t>(decimals));
  }
  frac.append(static_cast<size_t>(decimals) - frac.size(), '0');
  if (whole.empty()) whole = "0";
  std::string text = sign + whole;
  if (decimals > 0) text += "." + frac;
  return RightAlign(out, text, width) && whole_value;
}

void TZelExportToDBF::Assign(const TZelECustomBaseComponent& source) {
  TZelExportToCellFile::Assign(source);
  if (auto* s = dynamic_cast<const TZelExportToDBF*>(&source)) LanguageID = s->LanguageID;
}

void TZelExportToDBF::BeginExecute() {
  // A table has no header or footer lines and no title row; its columns are
  // the fields, one record per row.
  Header.clear();
  Footer.clear();
  AddTitle = false;
  Layout = elColumnar;
  numbersChanged_ = datesBlanked_ = memoMarks_ = unreadTexts_ = 0;
  language_ = 0;
  TZelExportToCellFile::BeginExecute();
  if (!DetailSources.empty())
    throw EZelExportError("A dBase table holds the records of one table: detail levels cannot be exported to it.");
}

void TZelExportToDBF::EndExecute() {
  if (numbersChanged_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d numbers do not fit their dBase field as they are: they were rounded to its decimals, or written as "
        "asterisks (no value) where too wide.",
        {std::to_string(numbersChanged_)}));
  if (datesBlanked_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d dates lie outside the years 1 to 9999 that dBase dates hold: they were "
                                         "left blank.",
                                         {std::to_string(datesBlanked_)}));
  if (unreadTexts_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d cell texts given by the OnGetCellParams handler did not read as their "
                                         "column's type: those cells were left blank.",
                                         {std::to_string(unreadTexts_)}));
  if (memoMarks_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d memo texts held character 1Ah, which ends a dBase memo: it was written "
                                         "as \"?\".",
                                         {std::to_string(memoMarks_)}));
  if (Statistic.Result != erFailed && RunCodePage() != 0 && language_ == 0)
    Statistic.Notes.push_back(ZelEFormat("dBase has no language byte for code page %d: the table does not say "
                                         "which code page its text is in.",
                                         {std::to_string(RunCodePage())}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToDBF::Changed(int& counter) {
  ++counter;
  ++Statistic.TotalErrors;
}

void TZelExportToDBF::CreateFileStream(const std::string& fileName) {
  TZelExportToCellFile::CreateFileStream(fileName);
  // The record count is completed at the end: the file must take a seek back.
  if (auto* file = dynamic_cast<TZelEFileStream*>(Stream()); file && file->Direct())
    throw EZelExportError("A dBase table cannot be written to " + fileName +
                          ": its header is completed after the last record, which a pipe, device or standard "
                          "output cannot take. Choose a file.");
  headerWritten_ = false;
  records_ = 0;
  memo_ = nullptr;
  lastMemo_.reset();
  nextBlock_ = 1;
}

void TZelExportToDBF::WriteDimension(int, int colCount) {
  const int fields = colCount - 1;
  if (fields > kMaxFields)
    throw EZelExportError(ZelEFormat("A dBase table holds at most %d fields; this export has %d columns. Export "
                                     "fewer columns.",
                                     {std::to_string(kMaxFields), std::to_string(fields)}));
  if (fields < 1) throw EZelExportError("A dBase table needs at least one field; this export has no columns.");
  fields_.assign(static_cast<size_t>(fields), TDescriptor{});
  names_.clear();
  recordLength_ = 1;
  hasMemo_ = false;
}

void TZelExportToDBF::WriteColumnWidth(int col, int width) {
  if (col < 0 || col >= static_cast<int>(fields_.size())) return;
  const TZelEColumns& columns = CurrentColumns();
  const TZelEColumn* column = nullptr;
  for (int i = 0, k = 0; i < columns.Count(); ++i) {
    if (!IsExported(columns[i])) continue;
    if (k++ == col) {
      column = &columns[i];
      break;
    }
  }
  TDescriptor& d = fields_[static_cast<size_t>(col)];
  TField* field = column && column->ColumnKind == ckField && Engine() ? Engine()->FindField(*column) : nullptr;

  // Name.
  std::string title;
  if (column) {
    title = Options.Has(soUseFieldNameAsCaption) ? column->FieldName : column->Title.Caption;
    // Stored field names are in the table's code page.
    if (Options.Has(soUseFieldNameAsCaption) && field)
      if (auto* table = dynamic_cast<TPdx*>(&field->DataSet())) title = table->EncodeText(title, *field);
  }
  std::string name = FieldName(title);
  if (name.empty()) name = "FIELD" + std::to_string(col + 1);
  d.Name = UniqueName(name, names_);
  names_.push_back(d.Name);

  // Type and width.
  if (width <= 0) width = 10;
  const TFieldType t = field ? field->DataType() : ftString;
  const int size = field ? field->Size() : 0;
  auto charWidth = [&] { return std::clamp(std::max(width, t == ftString ? size : 0), 1, kMaxCharWidth); };
  d.Type = 'C';
  d.Length = charWidth();
  d.Decimals = 0;
  if (field && !Options.Has(soFieldMask)) {
    switch (t) {
      case ftSmallint:
      case ftWord:
        d.Type = 'N';
        d.Length = kSmallintWidth;
        break;
      case ftInteger:
      case ftAutoInc:
        d.Type = 'N';
        d.Length = kIntegerWidth;
        break;
      case ftFloat:
      case ftCurrency:
      case ftBCD:
        d.Type = 'N';
        d.Length = kNumberWidth;
        d.Decimals = column && column->Precision > 0 ? column->Precision
                     : t == ftCurrency                ? 2
                     : t == ftBCD                     ? std::clamp(size, 0, 15)
                                                      : 6;
        d.Decimals = std::min(d.Decimals, 15);
        break;
      case ftBoolean:
        d.Type = 'L';
        d.Length = 1;
        break;
      case ftDate:
        d.Type = 'D';
        d.Length = 8;
        break;
      case ftTime:
        d.Length = 12;  // HH:MM:SS.mmm
        break;
      case ftDateTime:
        d.Length = 23;  // YYYY-MM-DD HH:MM:SS.mmm
        break;
      case ftBytes:
      case ftVarBytes:
        d.Type = 'M';
        d.Length = 10;
        d.Memo = d.Binary = true;
        break;
      default:
        if (IsBlobType(t)) {
          d.Type = 'M';
          d.Length = 10;
          d.Memo = true;
          d.Binary = t != ftMemo && t != ftFmtMemo;
        }
        break;
    }
  }
  hasMemo_ = hasMemo_ || d.Memo;
  d.Offset = recordLength_;
  recordLength_ += d.Length;
}

void TZelExportToDBF::BeginTable() {
  TZelExportToCellFile::BeginTable();
  if (headerWritten_ || !Stream()) return;
  language_ = LanguageID != 0 ? LanguageID : LanguageByte(RunCodePage());
  const size_t n = fields_.size();
  std::string h(32, '\0');
  h[0] = static_cast<char>(hasMemo_ ? 0x83 : 0x03);
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  h[1] = static_cast<char>((tm.tm_year) % 256);
  h[2] = static_cast<char>(tm.tm_mon + 1);
  h[3] = static_cast<char>(tm.tm_mday);
  // Bytes 4-7: the record count, written when the file is closed.
  PutLe16(h, 8, static_cast<uint32_t>(32 * n + 33));
  PutLe16(h, 10, static_cast<uint32_t>(recordLength_));
  h[29] = static_cast<char>(language_);
  for (const TDescriptor& d : fields_) {
    std::string f(32, '\0');
    std::memcpy(f.data(), d.Name.data(), std::min<size_t>(d.Name.size(), 10));
    f[11] = d.Type;
    const std::string off = Le32(static_cast<uint32_t>(d.Offset));
    std::memcpy(f.data() + 12, off.data(), 4);
    f[16] = static_cast<char>(d.Length);
    f[17] = static_cast<char>(d.Decimals);
    h += f;
  }
  h += '\x0D';
  WriteString(h);
  headerWritten_ = true;
  if (hasMemo_) {
    const std::string& table = CurrentFileName();
    memo_ = &CreateSideFile(table.empty() ? table : MemoFileName(table));
    std::string mh(kMemoBlock, '\0');
    mh[16] = 0x03;
    PutLe16(mh, 20, kMemoBlock);
    memo_->Write(mh);
    nextBlock_ = 1;
  }
}

void TZelExportToDBF::BeginRow() {
  inRecord_ = false;
  if (!InTable() || !headerWritten_) return;
  if (Statistic.LevelNumber != 0)
    throw EZelExportError("A dBase table holds the records of one table: detail levels cannot be exported to it.");
  record_.assign(static_cast<size_t>(recordLength_), ' ');
  inRecord_ = true;
}

void TZelExportToDBF::EndRow() {
  if (!inRecord_) return;
  WriteString(record_);
  ++records_;
  inRecord_ = false;
}

void TZelExportToDBF::WriteMemo(const TField* field, const std::string& text, char* slot) {
  const TField* streamed = StreamedBlob();
  if (!streamed && text.empty()) return;  // no memo: ten blanks
  if (!memo_) return;
  const std::string number = std::to_string(nextBlock_);
  std::memcpy(slot + (10 - number.size()), number.data(), number.size());
  const TZelECodePageText* cp = RunCodePageText();
  TZelECodePageText::TResult total;
  bool mark = false;
  int64_t length = 0;
  std::string piece;
  auto put = [&](std::string_view utf8) {
    piece.clear();
    if (cp) {
      const TZelECodePageText::TResult r = cp->Append(piece, utf8);
      total.Replaced += r.Replaced;
    } else {
      piece.assign(utf8);
    }
    for (char& c : piece)
      if (c == '\x1A') {
        c = '?';
        mark = true;
      }
    memo_->Write(piece);
    length += static_cast<int64_t>(piece.size());
  };
  if (streamed)
    ReadBlobText(*streamed, put);
  else
    put(text);
  (void)field;
  CountCodePageChange(total);
  if (mark) Changed(memoMarks_);
  // The end mark, then the last block filled.
  length += 2;
  const int64_t blocks = (length + kMemoBlock - 1) / kMemoBlock;
  std::string tail = "\x1A\x1A";
  tail.append(static_cast<size_t>(blocks * kMemoBlock - length), '\0');
  memo_->Write(tail);
  nextBlock_ += static_cast<uint32_t>(blocks);
}

void TZelExportToDBF::WriteValue(const TDescriptor& d, const TField* field, TCellType cellType,
                                 const std::string& text, char* slot) {
  const TZelECellValue& v = CellNativeValue();
  const size_t len = static_cast<size_t>(d.Length);
  std::string out;
  if (field && CellTextReplaced()) {
    WriteHandlerText(d, text, slot);
    return;
  }
  // Null values and, with BlankIfZero, zeros stay blank.
  if (cellType == ctBlank || (v.IsNull() && field)) return;
  switch (d.Type) {
    case 'M':
      WriteMemo(field, text, slot);
      return;
    case 'N': {
      bool whole = true;
      switch (v.kind) {
        case TZelECellValue::cvInteger:
          whole = RightAlign(out, std::to_string(v.Integer), d.Length);
          break;
        case TZelECellValue::cvDouble:
        case TZelECellValue::cvCurrency:
          whole = FormatNumber(out, v.Double, d.Decimals, d.Length);
          break;
        case TZelECellValue::cvBCD:
          whole = FormatDecimal(out, v.Text, d.Decimals, d.Length);
          break;
        default:
          whole = text.empty();
          break;
      }
      if (!whole) Changed(numbersChanged_);
      break;
    }
    case 'L':
      if (v.kind == TZelECellValue::cvBoolean) out = v.Boolean ? "T" : "F";
      break;
    case 'D': {
      if (v.kind != TZelECellValue::cvDate) break;
      std::string iso;
      AppendDayNumber(iso, v.Integer);
      // Years 1 to 9999 only: YYYY-MM-DD with a year above 0.
      if (iso.size() == 10 && IsDigit(iso[0]) && iso.compare(0, 4, "0000") != 0)
        out = iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2);
      else
        Changed(datesBlanked_);
      break;
    }
    default: {
      // Text; times and time stamps as dump writes them unless display texts are asked for.
      std::string value;
      const std::string* src = &text;
      if (!Options.Has(soFieldMask)) {
        if (v.kind == TZelECellValue::cvTime) {
          AppendTimeOfDay(value, v.Integer);
          src = &value;
        } else if (v.kind == TZelECellValue::cvDateTime) {
          AppendTimestamp(value, static_cast<double>(v.Integer));
          src = &value;
        }
      }
      std::string streamed;
      if (StreamedBlob()) {
        // A long memo under a text field: as much as the field holds.
        ReadBlobText(*StreamedBlob(), [&](std::string_view p) {
          if (streamed.size() < len * 4 + 4) streamed.append(p);
        });
        src = &streamed;
      }
      AppendInCodePage(out, *src, len);
      break;
    }
  }
  std::memcpy(slot, out.data(), std::min(out.size(), len));
}

void TZelExportToDBF::WriteHandlerText(const TDescriptor& d, const std::string& text, char* slot) {
  // The handler's text is the value: text and memo fields take it as it is,
  // numbers and logicals where it reads as one (with the run's separators and
  // boolean texts); a field it does not fit stays blank, and is counted.
  if (text.empty()) return;
  const size_t len = static_cast<size_t>(d.Length);
  std::string out;
  switch (d.Type) {
    case 'M':
      WriteMemo(nullptr, text, slot);
      return;
    case 'N': {
      double value = 0;
      if (!ReadCellNumber(text, value)) {
        Changed(unreadTexts_);
        return;
      }
      if (!FormatNumber(out, value, d.Decimals, d.Length)) Changed(numbersChanged_);
      break;
    }
    case 'L':
      if (text == DataFormats.BooleanTrue) {
        out = "T";
      } else if (text == DataFormats.BooleanFalse) {
        out = "F";
      } else {
        Changed(unreadTexts_);
        return;
      }
      break;
    case 'D':
      // No date text of the run's patterns is read back: a date field cannot
      // hold the handler's text.
      Changed(unreadTexts_);
      return;
    default:
      AppendInCodePage(out, text, len);
      break;
  }
  std::memcpy(slot, out.data(), std::min(out.size(), len));
}

void TZelExportToDBF::WriteData(const TField* field, TCellType cellType, int, int col, const std::string& text,
                                TAlignment, const TFontSpec*, TColor) {
  if (!inRecord_ || col < 0 || col >= static_cast<int>(fields_.size())) return;
  const TDescriptor& d = fields_[static_cast<size_t>(col)];
  WriteValue(d, field, cellType, text, record_.data() + d.Offset);
}

void TZelExportToDBF::CloseFile() {
  if (Stream() && headerWritten_) {
    TZelEOutputStream& s = *Stream();
    s.Write("\x1A", 1);
    const int64_t end = s.Position();
    s.Seek(4);
    s.Write(Le32(records_));
    s.Seek(end);
    if (memo_) {
      memo_->Seek(0);
      memo_->Write(Le32(nextBlock_));
      memo_->Seek(memo_->Size());
      if (auto* mem = dynamic_cast<const TZelEStringStream*>(memo_)) lastMemo_ = mem->Data();
    }
    memo_ = nullptr;
    headerWritten_ = false;
  }
  TZelExportToCellFile::CloseFile();
}

const std::string* TZelExportToDBF::MemoData() const {
  return lastMemo_ ? &*lastMemo_ : nullptr;
}

}  // namespace korvane
