#include "export/formats/ZelE2XML.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>

#include "export/ZelEEscape.h"
#include "export/ZelEOutput.h"

namespace korvane {

namespace {

const char kEntityBlock[] =
    "<!DOCTYPE tutorial [\r\n    <!ENTITY auml \"&amp;auml;\">\r\n    <!ENTITY ouml \"&amp;ouml;\">\r\n"
    "    <!ENTITY uuml \"&amp;uuml;\">\r\n    <!ENTITY Auml \"&amp;Auml;\">\r\n    <!ENTITY Ouml \"&amp;Ouml;\">\r\n"
    "    <!ENTITY Uuml \"&amp;Uuml;\">\r\n    <!ENTITY szlig \"&amp;szlig;\">\r\n"
    "    <!ENTITY ret \"&amp;lt;br/&amp;gt;\">\r\n    <!ENTITY car \"\">\r\n]>";

const char kClientDatasetEnd[] = "</ROWDATA></DATAPACKET>";
const char kMSSQLEnd[] = "</VFPData>";

bool IsBinaryType(TFieldType t) { return t == ftBytes || t == ftVarBytes || (IsBlobType(t) && t != ftMemo && t != ftFmtMemo); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of lower-case hex text; false when the text is no hex.
bool FromHex(const std::string& hex, std::string& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int h = HexDigit(hex[i]), l = HexDigit(hex[i + 1]);
    if (h < 0 || l < 0) return false;
    out += static_cast<char>(h * 16 + l);
  }
  return true;
}

// The type of a column: its field's, else what the engine says.
TFieldType ColumnType(TZelECustomDataEngine* engine, const TZelEColumn& c) {
  if (!engine) return ftString;
  if (c.ColumnKind == ckField)
    if (const TField* f = engine->FindField(c)) return f->DataType();
  return engine->GetFieldType(c);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The date part of a date-time pattern: before its first "T", or when it has
// none, before its first "H" (trailing blanks dropped).
std::string DatePart(const std::string& pattern) {
  std::string up = AsciiUpper(pattern);
  size_t cut = up.find('T');
  if (cut == std::string::npos) cut = up.find('H');
  std::string p = pattern.substr(0, cut == std::string::npos ? pattern.size() : cut);
  while (!p.empty() && IsBlank(p.back())) p.pop_back();
  return p;
}

// The time part: from the first "H" on.
std::string TimePart(const std::string& pattern) {
  size_t h = AsciiUpper(pattern).find('H');
  return h == std::string::npos ? std::string() : pattern.substr(h);
}

// The first and last day numbers of the years 1 to 9999, the years the schema's
// date types hold here.
constexpr int64_t kFirstSchemaDay = 1;
constexpr int64_t kLastSchemaDay = 3652059;

// A number as dump writes it ("1.5e-05", "1e+16") in plain decimal notation
// ("0.000015", "10000000000000000"): the same digits, no exponent.
std::string PlainDecimal(const std::string& repr) {
  const size_t e = repr.find_first_of("eE");
  if (e == std::string::npos) return repr;
  std::string out;
  size_t p = 0;
  if (repr[0] == '-' || repr[0] == '+') {
    if (repr[0] == '-') out += '-';
    p = 1;
  }
  std::string digits;
  int point = -1;  // digits before the point
  for (size_t i = p; i < e; ++i) {
    if (repr[i] == '.') point = static_cast<int>(digits.size());
    else digits += repr[i];
  }
  if (point < 0) point = static_cast<int>(digits.size());
  point += std::atoi(repr.c_str() + e + 1);
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-point), '0');
    out += digits;
  } else if (point >= static_cast<int>(digits.size())) {
    out += digits;
    out.append(static_cast<size_t>(point) - digits.size(), '0');
  } else {
    out.append(digits, 0, static_cast<size_t>(point));
    out += '.';
    out.append(digits, static_cast<size_t>(point), std::string::npos);
  }
  return out;
}

}  // namespace

TZelExportToXML::TZelExportToXML() {
  FileName = "ZelExport.XML";
  SetTableType(teXML);
  DataFormats.DateOrder = doYMD;
  DataFormats.FourDigitYear = true;
  DataFormats.LeadingZerosInDate = true;
  DataFormats.CustomDateTimeFormat = "yyyymmddThh:nn:ss:zzz";
}

const TZelEXMLSettings& TZelExportToXML::Settings() const {
  static const TZelEXMLSettings defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelEXMLSettings>*>(FormatSettings.Find(teXML));
  return s ? s->Value : defaults;
}

std::string TZelExportToXML::StylesheetName(const std::string& fileName) {
  size_t slash = fileName.find_last_of('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return fileName + ".xsl";
  return fileName.substr(0, dot) + ".xsl";
}

std::string TZelExportToXML::StylesheetText(TZelEXMLFormat layout, const std::string& recordsTag,
                                            const std::string& recordTag, const std::string& rowTag) {
  std::string root = recordsTag, rows = recordTag + "/" + rowTag, row = rowTag, cells = "@*";
  if (layout == xmlClientDataset) {
    root = "DATAPACKET";
    rows = "ROWDATA/" + rowTag;
    row = "ROWDATA/" + rowTag;
  } else if (layout == xmlElement) {
    rows = recordTag;
    row = recordTag;
    cells = "*";
  }
  return "<?xml version=\"1.0\"?>\r\n"
         "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\r\n"
         "  <xsl:output method=\"html\"/>\r\n"
         "  <xsl:template match=\"/\">\r\n    <xsl:apply-templates/>\r\n  </xsl:template>\r\n\r\n"
         "  <xsl:template match=\"" + root + "\">\r\n    <table border=\"1\">\r\n"
         "    <xsl:apply-templates select=\"METADATA/FIELDS\"/>\r\n"
         "    <xsl:apply-templates select=\"" + rows + "\"/>\r\n    </table>\r\n  </xsl:template>\r\n\r\n"
         "  <xsl:template match=\"FIELDS\">\r\n    <tr>\r\n    <xsl:apply-templates select=\"FIELD\"/>\r\n"
         "    </tr>\r\n  </xsl:template>\r\n\r\n"
         "  <xsl:template match=\"FIELD\">\r\n    <th>\r\n    <xsl:value-of select=\"@attrname\"/>\r\n"
         "    </th>\r\n  </xsl:template>\r\n\r\n"
         "  <xsl:template match=\"" + row + "\">\r\n    <tr>\r\n    <xsl:for-each select=\"" + cells + "\">\r\n"
         "      <td>\r\n      <xsl:value-of select=\".\"/>\r\n      </td>\r\n    </xsl:for-each>\r\n"
         "    </tr>\r\n  </xsl:template>\r\n\r\n</xsl:stylesheet>\r\n";
}

void TZelExportToXML::BeginExecute() {
  run_ = Settings();
  layout_ = run_.Format;
  if (layout_ < xmlIE || layout_ > xmlMSSQL) layout_ = xmlIE;
  quote_ = run_.QuoteTerm == '\'' ? '\'' : '"';
  recordTag_ = XmlName(run_.RecordTag);
  rowTag_ = XmlName(run_.RowTag);
  paramsTag_ = XmlName(run_.ParamsTag);
  recordsTag_ = XmlName(run_.TableNameAsRecordsTag && !TableName.empty() ? TableName : run_.RecordsTag);
  changedValues_ = outsideSchema_ = 0;
  names_.clear();
  detailInRow_.clear();
  customDates_ = false;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToXML::EndExecute() {
  if (changedValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d values held NUL bytes or control characters, which XML cannot carry: NUL bytes were left out, "
        "the other characters replaced by U+FFFD.",
        {std::to_string(changedValues_)}));
  if (outsideSchema_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d values lie outside what the types of the document's schema hold (years before 1 or after 9999, "
        "times beyond a day, infinite or undefined amounts): they were written as korvane-cli dump writes them.",
        {std::to_string(outsideSchema_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToXML::GetFieldStr(const TField* field, std::string& text) {
  TZelExportToCellFile::GetFieldStr(field, text);
  if (!field) return;
  const TFieldType t = field->DataType();
  if (t == ftBoolean) {
    if (!field->IsNull()) text = field->AsBoolean() ? DataFormats.BooleanTrue : DataFormats.BooleanFalse;
    return;
  }
  if (!IsDateTimeType(t)) return;
  // Dates and times by the patterns of DataFormats, whatever soFieldMask says;
  // a time stamp's time after a blank; milliseconds kept.
  text.clear();
  if (field->IsNull()) return;
  const TZelERunFormat& rf = RunFormat();
  if (DataFormats.CustomDateTimeFormat.empty()) {
    rf.DisplayText(*field, text);
  } else {
    if (!customDates_) {
      datePattern_ = DatePart(DataFormats.CustomDateTimeFormat);
      timePattern_ = TimePart(DataFormats.CustomDateTimeFormat);
      if (datePattern_.empty()) datePattern_ = "YYYY-MM-DD";
      if (timePattern_.empty()) timePattern_ = "HH:NN:SS";
      date_ = TZelEDateFormatter(datePattern_, rf.Settings());
      time_ = TZelEDateFormatter(timePattern_, rf.Settings());
      customDates_ = true;
    }
    const TDateTime dt = field->AsDateTime();
    // Outside the years 1 to 9999, and times outside a day, as dump writes them.
    rf.DisplayText(*field, text);
    if (!(dt >= -693593.0 && dt < 2958466.0) || (t == ftTime && (dt < 0 || dt >= 1.0))) return;
    text.clear();
    int h, m, s, ms;
    DecodeTime(dt, h, m, s, ms);
    if (t != ftTime) date_.Append(text, dt);
    if (t == ftTime || (t == ftDateTime && (h || m || s || ms))) {
      if (!text.empty()) text += ' ';
      time_.Append(text, dt);
      if (ms && AsciiUpper(timePattern_).find('Z') == std::string::npos) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%03d", ms);
        text += buf;
      }
    }
  }
  if (BlankIfZero && field->AsDateTime() == 0) text.clear();
}

std::string TZelExportToXML::SourceName(const TZelEColumn& c) const {
  // Names as the reader sees them: the stored name when it is text, else the
  // column's title (the decoded name).
  if (IsValidUtf8(c.FieldName) || !IsValidUtf8(c.Title.Caption) || c.Title.Caption.empty()) return c.FieldName;
  return c.Title.Caption;
}

const std::vector<std::string>& TZelExportToXML::NamesOf(const TZelEColumns& columns) {
  auto it = names_.find(&columns);
  if (it != names_.end()) return it->second;
  std::vector<std::string>& names = names_[&columns];
  TZelENameSet set(XmlName);
  names.resize(static_cast<size_t>(columns.Count()));
  for (int i = 0; i < columns.Count(); ++i)
    if (IsExported(columns[i])) names[static_cast<size_t>(i)] = set.Add(SourceName(columns[i]));
  return names;
}

void TZelExportToXML::Metadata(std::string& out) {
  const TZelEColumns& columns = CurrentColumns();
  const std::vector<std::string>& names = NamesOf(columns);
  TZelECustomDataEngine* engine = Engine();
  out += "<METADATA><FIELDS>";
  for (int i = 0; i < columns.Count(); ++i) {
    const TZelEColumn& c = columns[i];
    if (!IsExported(c)) continue;
    const std::string& name = names[static_cast<size_t>(i)];
    const std::string source = SourceName(c);
    out += "<FIELD ";
    if (source != name) {
      out += "fieldname=\"";
      AppendXmlEscaped(out, source);
      out += "\" ";
    }
    out += "attrname=\"" + name + "\" fieldtype=";
    const TFieldType t = ColumnType(engine, c);
    switch (t) {
      case ftSmallint: out += "\"i2\""; break;
      case ftInteger: out += "\"i4\""; break;
      case ftWord: out += "\"ui2\""; break;
      case ftBoolean: out += "\"boolean\""; break;
      case ftFloat:
      case ftBCD: out += "\"r8\""; break;
      case ftCurrency: out += "\"r8\" SUBTYPE=\"Money\""; break;
      case ftDate: out += "\"date\""; break;
      case ftTime: out += "\"time\""; break;
      case ftDateTime: out += "\"datetime\""; break;
      case ftAutoInc: out += "\"i4\" SUBTYPE=\"Autoinc\""; break;
      case ftMemo: out += "\"blob\" SUBTYPE=\"Text\""; break;
      case ftGraphic: out += "\"blob\" SUBTYPE=\"Image\""; break;
      case ftBytes:
      case ftVarBytes:
      case ftBlob:
      case ftFmtMemo:
      case ftParadoxOle: out += "\"blob\""; break;
      default: out += "\"string\" WIDTH=\"" + std::to_string(c.Width) + "\""; break;
    }
    if (engine && engine->IsRequired(c)) out += " required=\"true\"";
    if (engine && engine->IsReadOnly(c)) out += " readonly=\"true\"";
    out += "/>";
  }
  out += "</FIELDS>";
  if (!run_.XMLParams.empty()) out += "<" + paramsTag_ + " " + run_.XMLParams + "/>";
  out += "</METADATA>";
}

void TZelExportToXML::Schema(std::string& out) {
  const TZelEColumns& columns = CurrentColumns();
  const std::vector<std::string>& names = NamesOf(columns);
  TZelECustomDataEngine* engine = Engine();
  out += "\t<xsd:schema id=\"VFPData\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:msdata=\"urn:schemas-microsoft-com:xml-msdata\">\r\n"
         "\t\t<xsd:element name=\"VFPData\" msdata:IsDataSet=\"true\">\r\n\t\t\t<xsd:complexType>\r\n"
         "\t\t\t\t<xsd:choice maxOccurs=\"unbounded\">\r\n\t\t\t\t\t<xsd:element name=\"" +
         recordTag_ + "\">\r\n\t\t\t\t\t\t<xsd:complexType>\r\n\t\t\t\t\t\t\t<xsd:sequence>\r\n";
  for (int i = 0; i < columns.Count(); ++i) {
    const TZelEColumn& c = columns[i];
    if (!IsExported(c)) continue;
    out += "\t\t\t\t\t\t\t\t<xsd:element name=\"" + names[static_cast<size_t>(i)] + "\" ";
    const TFieldType t = ColumnType(engine, c);
    auto simple = [&](const char* type) { out += std::string("type=\"xsd:") + type + "\" minOccurs=\"0\"/>"; };
    auto text = [&](const std::string& length) {
      out += "minOccurs=\"0\">\r\n\t\t\t\t\t\t\t\t\t<xsd:simpleType>\r\n"
             "\t\t\t\t\t\t\t\t\t\t<xsd:restriction base=\"xsd:string\">\r\n"
             "\t\t\t\t\t\t\t\t\t\t\t<xsd:maxLength value=\"" +
             length +
             "\"/>\r\n\t\t\t\t\t\t\t\t\t\t</xsd:restriction>\r\n\t\t\t\t\t\t\t\t\t</xsd:simpleType>\r\n"
             "\t\t\t\t\t\t\t\t</xsd:element>";
    };
    switch (t) {
      case ftSmallint:
      case ftInteger:
      case ftWord:
      case ftAutoInc: simple("int"); break;
      case ftBoolean: simple("boolean"); break;
      case ftFloat: simple("double"); break;
      case ftBCD:
      case ftCurrency: simple("decimal"); break;
      case ftDate: simple("date"); break;
      case ftTime: simple("time"); break;
      case ftDateTime: simple("dateTime"); break;
      case ftMemo: text("2147483647"); break;
      case ftBytes:
      case ftVarBytes:
      case ftBlob:
      case ftFmtMemo:
      case ftGraphic:
      case ftParadoxOle: simple("string"); break;
      default: text(std::to_string(c.Width)); break;
    }
    out += "\r\n";
  }
  out += "\t\t\t\t\t\t\t</xsd:sequence>\r\n\t\t\t\t\t\t</xsd:complexType>\r\n\t\t\t\t\t</xsd:element>\r\n"
         "\t\t\t\t</xsd:choice>\r\n\t\t\t</xsd:complexType>\r\n\t\t</xsd:element>\r\n\t</xsd:schema>\r\n";
}

void TZelExportToXML::PrepareAppend() {
  appending_ = false;
  closing_.clear();
  auto* file = dynamic_cast<TZelEFileStream*>(Stream());
  if (!Merged() || !file || !file->Appending()) return;
  const int64_t size = file->Size();
  if (size == 0) return;  // an empty file gets a whole document
  const int64_t window = std::min<int64_t>(size, 65536);
  std::string tail(static_cast<size_t>(window), '\0');
  {
    std::ifstream in(file->Target(), std::ios::binary);
    in.seekg(size - window);
    in.read(tail.data(), window);
    if (in.gcount() != window) throw EZelExportError("Could not read the " + file->Path() + " file");
  }
  size_t end = tail.size();
  while (end > 0 && IsBlank(tail[end - 1])) --end;
  std::string expected;
  if (layout_ == xmlClientDataset) expected = kClientDatasetEnd;
  else if (layout_ == xmlMSSQL) expected = kMSSQLEnd;
  else expected = "</" + recordsTag_ + ">";
  if (end < expected.size() || tail.compare(end - expected.size(), expected.size(), expected) != 0)
    throw EZelExportError("The " + file->Path() + " file does not end with " + expected +
                          " as an XML export of this layout does; nothing was appended to it.");
  const size_t at = end - expected.size();
  closing_ = tail.substr(at);
  file->CutTail(size - window + static_cast<int64_t>(at));
  appending_ = true;
}

void TZelExportToXML::WriteStylesheet() {
  const std::string& doc = CurrentFileName();
  if (doc.empty() || TZelEFileStream::IsStandardOutputName(doc)) return;
  auto* file = dynamic_cast<TZelEFileStream*>(Stream());
  if (file && file->Direct()) return;
  const std::string path = StylesheetName(doc);
  if (path == doc) throw EZelExportError("The stylesheet of " + doc + " would replace the document itself; choose a file name without the .xsl extension.");
  CreateSideFile(path).Write(StylesheetText(layout_, recordsTag_, recordTag_, rowTag_));
}

void TZelExportToXML::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  detailInRow_.clear();
  PrepareAppend();
  if (!appending_) {
    std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
    if (run_.GenerateXSL && layout_ != xmlMSSQL) {
      WriteStylesheet();
      const std::string& doc = CurrentFileName();
      if (!doc.empty()) {
        std::string name = StylesheetName(doc);
        size_t slash = name.find_last_of('/');
        if (slash != std::string::npos) name = name.substr(slash + 1);
        head += "\r\n<?xml-stylesheet type=\"text/xsl\" href=\"";
        AppendXmlEscaped(head, name);
        head += "\"?>";
      }
    }
    if (layout_ != xmlClientDataset) {
      head += "\r\n<!-- Generated by ";
      AppendXmlComment(head, KeyGenerator);
      head += "-->\r\n";
    }
    head += kEntityBlock;
    WriteString(head);
  }
  RecordsStart();
}

void TZelExportToXML::RecordsStart() {
  std::string out;
  const bool detail = Statistic.LevelNumber > 0;
  std::string tag = recordsTag_;
  if (detail && Statistic.CurrentLevel && !Statistic.CurrentLevel->Caption.empty())
    tag = XmlName(Statistic.CurrentLevel->Caption);
  if (appending_ && !detail) return;  // the document has its start and its field list
  const bool meta = AddTitle;
  switch (layout_) {
    case xmlIE:
      out += Indent() + "<" + tag + ">\r\n";
      if (meta) {
        Metadata(out);
        out += "\r\n";
      }
      break;
    case xmlIECompact:
      out += "  <" + tag + ">";
      if (meta) Metadata(out);
      break;
    case xmlClientDataset:
      if (!detail) {
        out += "  <DATAPACKET Version=\"2.0\">";
        if (meta) Metadata(out);
        out += "<ROWDATA>";
      } else {
        out += "<" + tag + ">";
      }
      break;
    case xmlElement:
      out += "  \r\n<" + tag + ">\r\n";
      if (meta) {
        Metadata(out);
        out += "\r\n";
      }
      break;
    case xmlMSSQL:
      out += detail ? "<" + tag + ">\r\n" : std::string("<VFPData>\r\n");
      if (meta && !detail) Schema(out);
      break;
  }
  WriteString(out);
}

std::string TZelExportToXML::RecordsEnd() const {
  if (Statistic.LevelNumber > 0) {
    std::string tag = recordsTag_;
    if (Statistic.CurrentLevel && !Statistic.CurrentLevel->Caption.empty())
      tag = XmlName(Statistic.CurrentLevel->Caption);
    return Indent() + "</" + tag + ">" + (layout_ == xmlIE || layout_ == xmlElement || layout_ == xmlMSSQL ? "\r\n" : "");
  }
  if (appending_) return closing_;
  switch (layout_) {
    case xmlClientDataset: return kClientDatasetEnd;
    case xmlMSSQL: return kMSSQLEnd;
    default: return "</" + recordsTag_ + ">";
  }
}

void TZelExportToXML::WriteFileEnd() { WriteString(RecordsEnd()); }

void TZelExportToXML::BeginTable() {
  TZelExportToCellFile::BeginTable();
  if (Statistic.LevelNumber == 0) return;
  // A detail level inside the record being written: its row start is closed
  // first, and the row is closed by an end tag after the detail.
  if (!detailInRow_.empty() && !detailInRow_.back()) {
    detailInRow_.back() = true;
    if (layout_ == xmlIE) WriteString(Indent() + ">\r\n");
    else if (AttributeLayout()) WriteString(">");
  }
  RecordsStart();
}

void TZelExportToXML::EndTable() {
  TZelExportToCellFile::EndTable();
  if (Statistic.LevelNumber > 0) WriteString(RecordsEnd());
}

const char* TZelExportToXML::RowElement() const {
  if (Statistic.Section == 0) return "HEADER";
  if (Statistic.Section == 4) return "FOOTER";
  return nullptr;
}

bool TZelExportToXML::CommentRow() const { return layout_ == xmlClientDataset && RowElement() != nullptr; }

void TZelExportToXML::BeginRow() {
  detailInRow_.push_back(false);
  const char* special = RowElement();
  const std::string tag = special ? std::string(special) : recordTag_;
  const std::string m = Indent() + "  ";
  switch (layout_) {
    case xmlIE: WriteString(m + "<" + tag + ">\r\n" + m + "  <" + rowTag_ + "\r\n"); break;
    case xmlIECompact: WriteString("<" + tag + "><" + rowTag_); break;
    case xmlClientDataset: WriteString(special ? std::string("<!--") : "<" + rowTag_); break;
    case xmlElement: WriteString("<" + tag + ">\r\n"); break;
    case xmlMSSQL: WriteString("\t<" + tag + ">\r\n"); break;
  }
}

void TZelExportToXML::EndRow() {
  const bool detail = !detailInRow_.empty() && detailInRow_.back();
  if (!detailInRow_.empty()) detailInRow_.pop_back();
  const char* special = RowElement();
  const std::string tag = special ? std::string(special) : recordTag_;
  const std::string m = Indent() + "  ";
  switch (layout_) {
    case xmlIE:
      WriteString((detail ? m + "  </" + rowTag_ + ">\r\n" : "  " + m + "/>\r\n") + m + "</" + tag + ">\r\n");
      break;
    case xmlIECompact: WriteString((detail ? "</" + rowTag_ + ">" : std::string("/>")) + "</" + tag + ">"); break;
    case xmlClientDataset:
      if (special) WriteString(" -->");
      else WriteString(detail ? "</" + rowTag_ + ">" : std::string("/>"));
      break;
    case xmlElement: WriteString("</" + tag + ">\r\n"); break;
    case xmlMSSQL: WriteString("\t</" + tag + ">\r\n"); break;
  }
}

void TZelExportToXML::AppendValue(std::string& out, const TField* field, TCellType cellType, const std::string& text) {
  const TFieldType t = field ? field->DataType() : ftUnknown;
  const bool blob = (field && (IsBlobType(t) || t == ftBytes || t == ftVarBytes)) || cellType == ctMEMO ||
                    cellType == ctGraphic;
  size_t changed = 0;
  if (blob && !text.empty()) {
    const bool wrap = layout_ != xmlClientDataset;
    if (wrap) out += "[CDATA[";
    if (run_.BLOBEncoding == beEncode64) {
      // Binary data as its bytes (the cell text is their hex), texts as they are.
      std::string bytes;
      if (field && IsBinaryType(t) && FromHex(text, bytes)) AppendBase64(out, bytes);
      else AppendBase64(out, text);
    } else {
      changed = AppendXmlEscaped(out, text);
    }
    if (wrap) out += "]]";
  } else {
    changed = AppendXmlEscaped(out, text);
  }
  if (changed > 0 && InTable() && RowElement() == nullptr) {
    ++changedValues_;
    ++Statistic.TotalErrors;
  }
}

bool TZelExportToXML::SchemaValue(const TField* field, const std::string& text, std::string& out) {
  const TZelECellValue& v = CellNativeValue();
  out.clear();
  // Kept as dump writes it: the value has no form of the schema's type. A time
  // stamp's text is dump's already (its number when it is none).
  auto outside = [&](const std::string& dumpText) {
    out = v.kind == TZelECellValue::cvDateTime && !text.empty() ? text : dumpText;
    ++outsideSchema_;
    ++Statistic.TotalErrors;
  };
  switch (v.kind) {
    case TZelECellValue::cvInteger: out = std::to_string(v.Integer); break;
    case TZelECellValue::cvBoolean: out = v.Boolean ? "true" : "false"; break;
    case TZelECellValue::cvBCD: out = v.Text; break;
    case TZelECellValue::cvDouble:
    case TZelECellValue::cvCurrency: {
      const TFieldType t = field ? field->DataType() : ftUnknown;
      const bool decimal = v.kind == TZelECellValue::cvCurrency || t == ftCurrency || t == ftBCD;
      if (std::isfinite(v.Double)) out = decimal ? PlainDecimal(ReprDouble(v.Double)) : ReprDouble(v.Double);
      else if (decimal) outside(ReprDouble(v.Double));
      else out = std::isnan(v.Double) ? "NaN" : v.Double > 0 ? "INF" : "-INF";
      break;
    }
    case TZelECellValue::cvDate:
      if (v.Integer >= kFirstSchemaDay && v.Integer <= kLastSchemaDay) {
        AppendDayNumber(out, v.Integer);
      } else {
        std::string d;
        AppendDayNumber(d, v.Integer);
        outside(d);
      }
      break;
    case TZelECellValue::cvTime:
      if (v.Integer >= 0 && v.Integer < 86400000) {
        AppendTimeOfDay(out, v.Integer);
      } else {
        std::string d;
        AppendTimeOfDay(d, v.Integer);
        outside(d);
      }
      break;
    case TZelECellValue::cvDateTime: {
      const int64_t day = v.Integer >= 0 ? v.Integer / 86400000 : -((-v.Integer + 86399999) / 86400000);
      if (day >= kFirstSchemaDay && day <= kLastSchemaDay) {
        AppendDayNumber(out, day);
        out += 'T';
        AppendTimeOfDay(out, v.Integer - day * 86400000);
      } else {
        std::string d;
        AppendTimestamp(d, static_cast<double>(v.Integer));
        outside(d);
      }
      break;
    }
    default: return false;
  }
  return true;
}

void TZelExportToXML::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  if (CommentRow()) {
    line_ = " ";
    AppendXmlComment(line_, text);
    WriteString(line_);
    return;
  }
  // The schema layout writes a typed value in its type's lexical form, made from
  // the stored value rather than its display text. A value BlankIfZero blanks
  // stays blank.
  std::string typed;
  const bool schemaForm = layout_ == xmlMSSQL && InTable() && RowElement() == nullptr &&
                          !(BlankIfZero && text.empty()) && SchemaValue(field, text, typed);
  const bool streamed = field && field == StreamedBlob();
  if (!schemaForm && !streamed && text.empty() && !Options.Has(soExportBlankValues)) return;
  std::string name;
  if (const char* special = RowElement()) {
    (void)special;
    name = "LINE" + std::to_string(row);
  } else {
    const TZelEColumns& columns = CurrentColumns();
    const std::vector<std::string>& names = NamesOf(columns);
    const int k = Statistic.CurrentCol;
    if (k >= 0 && k < static_cast<int>(names.size()) && !names[static_cast<size_t>(k)].empty())
      name = names[static_cast<size_t>(k)];
    else
      name = "FIELD" + std::to_string(col + 1);
  }
  line_.clear();
  std::string after;
  switch (layout_) {
    case xmlIE:
    case xmlIECompact:
    case xmlClientDataset:
      line_ += layout_ == xmlIE ? Indent() + "      " : std::string(" ");
      line_ += name;
      line_ += '=';
      line_ += quote_;
      after += quote_;
      if (layout_ == xmlIE) after += "\r\n";
      break;
    case xmlElement:
    case xmlMSSQL:
      line_ += layout_ == xmlElement ? "      <" : "\t\t<";
      line_ += name;
      line_ += '>';
      after = "</" + name + ">\r\n";
      break;
  }
  if (streamed) {
    StreamValue(*field, after);
    return;
  }
  if (schemaForm) AppendXmlEscaped(line_, typed);
  else AppendValue(line_, field, cellType, text);
  line_ += after;
  WriteString(line_);
}

void TZelExportToXML::StreamValue(const TField& field, const std::string& after) {
  // A long BLOB, read in pieces, written as AppendValue writes it whole; line_
  // holds what goes before the value.
  const bool wrap = layout_ != xmlClientDataset;
  const bool base64 = run_.BLOBEncoding == beEncode64;
  bool any = false;
  size_t changed = 0;
  TZelEBase64Stream b64;
  std::string out;
  auto take = [&](std::string_view piece) {
    out.clear();
    if (!any) {
      out = line_;
      if (wrap) out += "[CDATA[";
      any = true;
    }
    if (base64) b64.Append(out, piece);
    else changed += AppendXmlEscaped(out, piece);
    WriteString(out);
  };
  // Binary data in Base64 as its bytes, anything else as its text.
  if (base64 && IsBinaryType(field.DataType())) ReadBlobBytes(field, take);
  else ReadBlobText(field, take);
  out.clear();
  if (!any) {
    // An empty value.
    if (Options.Has(soExportBlankValues)) WriteString(line_ + after);
    return;
  }
  if (base64) b64.Finish(out);
  if (wrap) out += "]]";
  out += after;
  WriteString(out);
  if (changed > 0 && InTable() && RowElement() == nullptr) {
    ++changedValues_;
    ++Statistic.TotalErrors;
  }
}

}  // namespace korvane
