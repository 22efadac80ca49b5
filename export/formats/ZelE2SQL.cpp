#include "export/formats/ZelE2SQL.h"

#include <algorithm>
#include <cmath>

#include "engine/pdx.h"
#include "engine/sysutils.h"
#include "export/ZelEEscape.h"
#include "export/ZelEOutput.h"

namespace korvane {

namespace {

// PostgreSQL keeps identifiers of at most 63 bytes; room is left for a "_2" suffix.
constexpr size_t kPgNameBytes = 58;

// The first n bytes of a UTF-8 text, not cutting a character.
std::string_view CutUtf8(std::string_view s, size_t n) {
  if (s.size() <= n) return s;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// Invalid UTF-8 sequences replaced by U+FFFD (PostgreSQL refuses them); answers
// whether anything was replaced.
bool MakeValidUtf8(std::string& s) {
  if (IsValidUtf8(s)) return false;
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len > 0 && i + len <= s.size() && IsValidUtf8(std::string_view(s).substr(i, len))) {
      out.append(s, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  s.swap(out);
  return true;
}

bool HexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Day number of 1 January of a year (proleptic Gregorian, day 1 = 0001-01-01).
int64_t DayOfYearStart(int64_t y) {
  const int64_t p = y - 1;
  auto fdiv = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  return 365 * p + fdiv(p, 4) - fdiv(p, 100) + fdiv(p, 400) + 1;
}

// The days PostgreSQL dates hold: from 4714-11-24 BC (year -4713, not a leap
// year, day 328) to the end of lastYear.
bool PgDateInRange(int64_t day, int64_t lastYear) {
  return day >= DayOfYearStart(-4713) + 327 && day < DayOfYearStart(lastYear + 1);
}

// A dump date text ("-0001-12-31", "12345-01-01") in PostgreSQL's form: years
// before 1 counted back from 1 BC.
void AppendPgDate(std::string& out, int64_t day) {
  std::string iso;
  AppendDayNumber(iso, day);
  if (day >= 1) {
    out += iso;
    return;
  }
  // Astronomical year y <= 0 is year 1 - y BC.
  const bool negative = iso[0] == '-';
  const size_t dash = iso.find('-', negative ? 1 : 0);
  const int64_t y = std::stoll(iso.substr(negative ? 1 : 0, dash - (negative ? 1 : 0))) * (negative ? -1 : 1);
  std::string year = std::to_string(1 - y);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  out += year;
  out.append(iso, dash, std::string::npos);
}

}  // namespace

// --- column types ----------------------------------------------------------

TZelESQLTypes TZelESQLTypes::Of(TZelESQLDialect dialect) {
  TZelESQLTypes t;
  switch (dialect) {
    case sdSQLite:
      // NUMERIC keeps 15 digits only: BCD values stay whole as text.
      t.String = "TEXT";
      t.Smallint = t.Integer = t.Word = t.Boolean = t.AutoInc = "INTEGER";
      t.Float = t.Currency = "REAL";
      t.BCD = "TEXT";
      t.Date = t.Time = t.DateTime = "TEXT";
      t.Bytes = t.Blob = t.Graphic = "BLOB";
      t.Memo = "TEXT";
      break;
    case sdPostgreSQL:
      t.String = "VARCHAR(%d)";
      t.Smallint = "SMALLINT";
      t.Integer = t.Word = t.AutoInc = "INTEGER";
      t.Boolean = "BOOLEAN";
      t.Float = t.Currency = "DOUBLE PRECISION";
      t.BCD = "NUMERIC";
      t.Date = "DATE";
      t.Time = "TIME";
      t.DateTime = "TIMESTAMP";
      t.Bytes = t.Blob = t.Graphic = "BYTEA";
      t.Memo = "TEXT";
      break;
    case sdGeneric:
    default:
      t.String = "CHAR(%d)";
      t.Smallint = t.Integer = t.Word = t.Boolean = "INTEGER";
      t.Float = "DECIMAL";
      t.Currency = "MONEY";
      t.BCD = "DECIMAL";
      t.Date = t.Time = t.DateTime = "DATETIME";
      t.AutoInc = "IDENTITY";
      t.Bytes = t.Blob = t.Memo = "BLOB";
      t.Graphic = "IMAGE";
      break;
  }
  return t;
}

const std::string& TZelESQLTypes::TypeOf(TFieldType t) const {
  switch (t) {
    case ftString: return String;
    case ftSmallint: return Smallint;
    case ftInteger: return Integer;
    case ftWord: return Word;
    case ftBoolean: return Boolean;
    case ftFloat: return Float;
    case ftCurrency: return Currency;
    case ftBCD: return BCD;
    case ftDate: return Date;
    case ftTime: return Time;
    case ftDateTime: return DateTime;
    case ftBytes:
    case ftVarBytes: return Bytes;
    case ftAutoInc: return AutoInc;
    case ftGraphic: return Graphic;
    case ftMemo:
    case ftFmtMemo: return Memo;
    default: return IsBlobType(t) ? Blob : Memo;
  }
}

// --- literals and names ----------------------------------------------------

void TZelExportToSQL::AppendStringLiteral(std::string& out, std::string_view text, TZelESQLDialect dialect) {
  // The sqlite3 shell drops a CR before a line end: such a text is given by its bytes.
  if (dialect != sdPostgreSQL && text.find('\r') != std::string_view::npos) {
    out += "CAST(X'";
    AppendHex(out, text.data(), text.size());
    out += "' AS TEXT)";
    return;
  }
  out += '\'';
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
}

void TZelExportToSQL::AppendBinaryLiteral(std::string& out, std::string_view hex, TZelESQLDialect dialect) {
  if (dialect == sdPostgreSQL) {
    out += "'\\x";
    out += hex;
    out += "'::bytea";
  } else {
    out += "X'";
    out += hex;
    out += '\'';
  }
}

void TZelExportToSQL::AppendIdentifier(std::string& out, std::string_view name, char quote) {
  out += quote;
  for (char c : name) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
}

void TZelExportToSQL::AppendComment(std::string& out, std::string_view text) {
  // One comment per line of the text; "*/" and "/*" broken up so that the text
  // can neither end the comment nor open a nested one.
  size_t i = 0;
  bool first = true;
  do {
    size_t end = text.find_first_of("\r\n", i);
    std::string_view line = text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i);
    if (!first) out += "\r\n";
    first = false;
    out += "/* ";
    for (size_t k = 0; k < line.size(); ++k) {
      const char c = line[k];
      if (c == '\0') continue;
      out += c;
      const char next = k + 1 < line.size() ? line[k + 1] : '\0';
      if ((c == '*' && next == '/') || (c == '/' && next == '*')) out += ' ';
    }
    out += " */";
    if (end == std::string_view::npos) break;
    i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  } while (i < text.size());
}

bool TZelExportToSQL::AppendDateLiteral(std::string& out, int64_t day, TZelESQLDialect dialect) {
  if (dialect != sdPostgreSQL) {
    out += '\'';
    AppendDayNumber(out, day);
    out += '\'';
    return true;
  }
  if (!PgDateInRange(day, 5874897)) return false;
  out += '\'';
  AppendPgDate(out, day);
  if (day < 1) out += " BC";
  out += '\'';
  return true;
}

bool TZelExportToSQL::AppendTimeLiteral(std::string& out, int64_t ms, TZelESQLDialect dialect) {
  if (dialect == sdPostgreSQL && (ms < 0 || ms > 86400000)) return false;
  out += '\'';
  AppendTimeOfDay(out, ms);
  out += '\'';
  return true;
}

bool TZelExportToSQL::AppendTimestampLiteral(std::string& out, int64_t value, TZelESQLDialect dialect) {
  const int64_t day = value >= 0 ? value / 86400000 : -((-value + 86399999) / 86400000);
  const int64_t ms = value - day * 86400000;
  if (dialect != sdPostgreSQL) {
    out += '\'';
    AppendTimestamp(out, static_cast<double>(value));
    out += '\'';
    return true;
  }
  if (!PgDateInRange(day, 294275)) return false;
  out += '\'';
  AppendPgDate(out, day);
  out += ' ';
  AppendTimeOfDay(out, ms);
  if (day < 1) out += " BC";
  out += '\'';
  return true;
}

// --- the writer --------------------------------------------------------------

TZelExportToSQL::TZelExportToSQL() {
  Options.Exclude(soBlankRowAfterCaptions);
  FileName = "ZelExport.SQL";
  SetTableType(teSQL);
}

const TZelESQLOptions& TZelExportToSQL::SQLOptions() const {
  static const TZelESQLOptions defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelESQLOptions>*>(FormatSettings.Find(teSQL));
  return s ? s->Value : defaults;
}

void TZelExportToSQL::BeginExecute() {
  run_ = SQLOptions();
  // Identifiers are quoted "..." (the standard) or `...` where the quote says so;
  // PostgreSQL knows only the first.
  idQuote_ = run_.SQLQuote == '`' && run_.Dialect != sdPostgreSQL ? '`' : '"';
  nulValues_ = changedValues_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToSQL::EndExecute() {
  if (nulValues_ > 0)
    Statistic.Notes.push_back(
        ZelEFormat("%d values held NUL bytes, which were left out.", {std::to_string(nulValues_)}));
  if (changedValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d values cannot be held by the script's database as they are: they were written as %s or with "
        "characters replaced.",
        {std::to_string(changedValues_), run_.SQLNULL}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToSQL::Changed() {
  ++changedValues_;
  ++Statistic.TotalErrors;
}

void TZelExportToSQL::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  batchCount_ = rowsInStatement_ = 0;
  statementOpen_ = batchOpen_ = false;
  cellsInRow_ = 0;
  const TZelESQLTypes types = run_.SQLTypes();
  const bool pg = run_.Dialect == sdPostgreSQL;

  auto clean = [pg](std::string_view name) {
    std::string s;
    for (char c : name)
      if (c != '\0') s += c;
    if (pg) {
      MakeValidUtf8(s);
      s = std::string(CutUtf8(s, kPgNameBytes));
    }
    return s;
  };
  // Names differing in case only are the same name to most databases.
  TZelENameSet used(clean, true);
  names_.clear();
  std::string defs, keys;
  columnCount_ = 0;
  const TZelEColumns& columns = CurrentColumns();
  for (int i = 0; i < columns.Count(); ++i) {
    const TZelEColumn& c = columns[i];
    if (!IsExported(c)) continue;
    TField* field = c.ColumnKind == ckField && Engine() ? Engine()->FindField(c) : nullptr;
    std::string name = Options.Has(soUseFieldNameAsCaption) ? c.Title.Caption : c.FieldName;
    // Field names are stored in the table's code page; the script is UTF-8.
    if (!Options.Has(soUseFieldNameAsCaption) && field)
      if (auto* table = dynamic_cast<TPdx*>(&field->DataSet())) name = table->EncodeText(name, *field);
    switch (run_.FieldNameCharCase) {
      case ecUpperCase: name = AsciiUpper(name); break;
      case ecLowerCase: name = AsciiLower(name); break;
      case ecProper:
        name = AsciiLower(name);
        if (!name.empty()) name[0] = AsciiUpper(name.substr(0, 1))[0];
        break;
      default: break;
    }
    if (clean(name).empty()) name = "column" + std::to_string(columnCount_ + 1);
    std::string quoted;
    AppendIdentifier(quoted, used.Add(name), idQuote_);
    if (columnCount_ > 0) names_ += ", ";
    names_ += quoted;
    ++columnCount_;
    if (!run_.AddCreateTable) continue;
    std::string type = types.TypeOf(field ? field->DataType() : ftMemo);
    if (size_t at = type.find("%d"); at != std::string::npos) {
      int size = field ? field->Size() : 0;
      if (size <= 0 && field) size = field->DataSize();
      type.replace(at, 2, std::to_string(std::max(1, size)));
    }
    if (!defs.empty()) defs += ", ";
    defs += "\r\n   " + quoted + " " + type;
    const bool required = field && field->Required();
    if (types.CheckRequired) defs += required ? " NOT NULL" : " NULL";
    if (required) keys += (keys.empty() ? "" : ", ") + quoted;
  }
  if (run_.AddCreateTable && types.AddPrimaryKey && !keys.empty()) defs += ", \r\n   PRIMARY KEY (" + keys + ")";

  std::string table = TableName;
  if (table.empty() && GetDataset()) table = GetDataset()->Name();
  if (clean(table).empty()) table = "ZelExport";
  table_.clear();
  AppendIdentifier(table_, clean(table), idQuote_);

  // The table is created once: by the first part of a split script, and not by
  // rows appended to a script that has its start already.
  bool create = run_.AddCreateTable && FileNumber() == 0;
  if (create && Merged())
    if (auto* file = dynamic_cast<TZelEFileStream*>(Stream()); file && file->Appending() && file->Size() > 0)
      create = false;

  line_.clear();
  if (pg) line_ += "SET client_encoding = 'UTF8';\r\nSET standard_conforming_strings = on;\r\n\r\n";
  if (create) {
    std::string prefix, suffix;
    if (OnGetCreateTable) OnGetCreateTable(*this, defs, prefix, suffix);
    line_ += prefix + "CREATE TABLE " + table_ + " (" + defs + ")" + run_.SQLTerm + suffix + "\r\n\r\n";
  }
  WriteString(line_);
}

void TZelExportToSQL::BeginRow() {
  cellsInRow_ = 0;
  if (!InTable()) return;
  line_.clear();
  if (!run_.CommitTerm.empty() && !batchOpen_) {
    line_ += "BEGIN TRANSACTION;\r\n\r\n";
    batchOpen_ = true;
  }
  if (run_.MultiRowInsert && statementOpen_) {
    line_ += ",\r\n  (";
  } else {
    line_ += "INSERT INTO " + table_ + "\r\n  (" + names_ + ")\r\nVALUES\r\n  (";
  }
  WriteString(line_);
}

void TZelExportToSQL::CloseStatement() {
  if (!statementOpen_) return;
  WriteString(run_.SQLTerm + "\r\n\r\n");
  statementOpen_ = false;
  rowsInStatement_ = 0;
}

void TZelExportToSQL::EndBatch() {
  CloseStatement();
  if (batchOpen_) WriteString(run_.CommitTerm + "\r\n\r\n");
  batchOpen_ = false;
  batchCount_ = 0;
}

void TZelExportToSQL::EndRow() {
  if (!InTable()) {
    WriteString("\r\n");
    return;
  }
  WriteString(")");
  statementOpen_ = true;
  ++batchCount_;
  if (!run_.MultiRowInsert || ++rowsInStatement_ >= kMaxRowsPerInsert) CloseStatement();
  if (run_.BatchRecCount > 0 && batchCount_ >= run_.BatchRecCount) EndBatch();
}

void TZelExportToSQL::EndTable() {
  // The last statement and transaction end with the table, before any footer line.
  if (InTable() && Statistic.LevelNumber == 0) EndBatch();
  TZelExportToCellFile::EndTable();
}

void TZelExportToSQL::WriteFileEnd() { EndBatch(); }

void TZelExportToSQL::AppendValue(std::string& out, const TField* field, TCellType cellType,
                                  const std::string& text) {
  const TZelECellValue& v = CellNativeValue();
  const TZelESQLDialect d = run_.Dialect;
  const bool pg = d == sdPostgreSQL;
  auto null = [&] { out += run_.SQLNULL; };
  switch (v.kind) {
    case TZelECellValue::cvNull: null(); return;
    case TZelECellValue::cvInteger: out += std::to_string(v.Integer); return;
    case TZelECellValue::cvDouble:
    case TZelECellValue::cvCurrency:
      if (std::isfinite(v.Double)) {
        out += ReprDouble(v.Double);
      } else if (pg) {
        out += std::isnan(v.Double) ? "'NaN'" : v.Double > 0 ? "'Infinity'" : "'-Infinity'";
      } else if (std::isinf(v.Double)) {
        // Beyond any double: read as infinity.
        out += v.Double > 0 ? "9e999" : "-9e999";
      } else {
        null();
        Changed();
      }
      return;
    case TZelECellValue::cvBCD:
      if (d == sdSQLite) AppendStringLiteral(out, v.Text, d);
      else out += v.Text;
      return;
    case TZelECellValue::cvBoolean:
      out += pg ? (v.Boolean ? "TRUE" : "FALSE") : (v.Boolean ? "1" : "0");
      return;
    case TZelECellValue::cvDate:
      if (!AppendDateLiteral(out, v.Integer, d)) null(), Changed();
      return;
    case TZelECellValue::cvTime:
      if (!AppendTimeLiteral(out, v.Integer, d)) null(), Changed();
      return;
    case TZelECellValue::cvDateTime:
      if (!AppendTimestampLiteral(out, v.Integer, d)) null(), Changed();
      return;
    case TZelECellValue::cvText:
    case TZelECellValue::cvBlob:
      break;
  }
  const TFieldType t = field ? field->DataType() : ftString;
  // A BLOB without data is null; texts of other fields arrive as cvNull when null.
  if (v.kind == TZelECellValue::cvBlob && text.empty()) {
    null();
    return;
  }
  (void)cellType;
  const bool binary = t == ftBytes || t == ftVarBytes || (IsBlobType(t) && t != ftMemo && t != ftFmtMemo);
  if (binary && std::all_of(text.begin(), text.end(), HexDigit) && text.size() % 2 == 0) {
    AppendBinaryLiteral(out, text, d);
    return;
  }
  const std::string* value = &text;
  std::string clean;
  if (text.find('\0') != std::string::npos) {
    for (char c : text)
      if (c != '\0') clean += c;
    value = &clean;
    ++nulValues_;
    ++Statistic.TotalErrors;
  }
  if (pg && !IsValidUtf8(*value)) {
    if (value != &clean) clean = text;
    MakeValidUtf8(clean);
    value = &clean;
    Changed();
  }
  AppendStringLiteral(out, *value, d);
}

void TZelExportToSQL::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  line_.clear();
  if (!InTable()) {
    // Header and footer lines.
    AppendComment(line_, text);
  } else {
    if (cellsInRow_ > 0) line_ += ", ";
    if (field && field == StreamedBlob()) {
      WriteString(line_);
      line_.clear();
      StreamValue(*field);
    } else {
      AppendValue(line_, field, cellType, text);
    }
  }
  ++cellsInRow_;
  WriteString(line_);
}

void TZelExportToSQL::StreamValue(const TField& field) {
  // A long BLOB, read in pieces: once to see what it holds, once to write it.
  const TZelESQLDialect d = run_.Dialect;
  const bool pg = d == sdPostgreSQL;
  const TFieldType t = field.DataType();
  bool any = false;
  if (t != ftMemo && t != ftFmtMemo) {
    // Binary data: its hex text in the binary literal.
    ReadBlobText(field, [&](std::string_view piece) {
      if (!any) WriteString(pg ? "'\\x" : "X'");
      any = true;
      WriteString(piece);
    });
    WriteString(!any ? std::string_view(run_.SQLNULL) : pg ? std::string_view("'::bytea") : std::string_view("'"));
    return;
  }
  bool cr = false;
  ReadBlobText(field, [&](std::string_view piece) {
    any = true;
    if (piece.find('\r') != std::string_view::npos) cr = true;
  });
  if (!any) {
    WriteString(run_.SQLNULL);
    return;
  }
  // As AppendStringLiteral writes the text without its NULs (PostgreSQL's made
  // valid UTF-8, a character cut by a left-out NUL waiting for its rest).
  const bool cast = !pg && cr;
  WriteString(cast ? "CAST(X'" : "'");
  bool nul = false, changed = false;
  std::string carry, fixed;
  auto write = [&](size_t upTo) {
    std::string_view part(carry.data(), upTo);
    if (pg) {
      fixed.assign(part);
      if (MakeValidUtf8(fixed)) changed = true;
      part = fixed;
    }
    line_.clear();
    if (cast) {
      AppendHex(line_, part.data(), part.size());
    } else {
      for (char c : part) {
        line_ += c;
        if (c == '\'') line_ += '\'';
      }
    }
    carry.erase(0, upTo);
    WriteString(line_);
  };
  ReadBlobText(field, [&](std::string_view piece) {
    for (char c : piece) {
      if (c == '\0') nul = true;
      else carry += c;
    }
    write(pg ? WholeUtf8Prefix(carry) : carry.size());
  });
  write(carry.size());
  WriteString(cast ? "' AS TEXT)" : "'");
  line_.clear();
  if (nul) {
    ++nulValues_;
    ++Statistic.TotalErrors;
  }
  if (changed) Changed();
}

}  // namespace korvane
