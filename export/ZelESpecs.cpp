// The export settings file format: writing and reading the settings of an export
// component as name=value lines.
#include "export/ZelESpecs.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "export/ExportDS.h"

namespace korvane {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

bool ParseInt(const std::string& text, long long& out) {
  std::string s = Trim(text);
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || !end || *end != '\0') return false;
  out = v;
  return true;
}

const char* B(bool b) { return b ? "1" : "0"; }

// Colours as the signed 32-bit numbers the files hold ($FF000005 is -16777211).
std::string ColorText(TColor c) { return std::to_string(static_cast<int32_t>(c)); }
bool ParseColor(const std::string& s, TColor& out) {
  long long v;
  if (!ParseInt(s, v) || v < INT32_MIN || v > UINT32_MAX) return false;
  out = static_cast<TColor>(static_cast<uint32_t>(v));
  return true;
}

// The shortest text that reads back as the same single float.
std::string SingleText(float v) {
  TFormatSettings fs;
  fs.DecimalSeparator = '.';
  for (int p = 6; p <= 9; ++p) {
    std::string s = FloatToStr(v, fs, p);
    if (std::strtof(s.c_str(), nullptr) == v) return s;
  }
  return FloatToStr(v, fs, 9);
}

std::string StyleText(TAlignment a, TColor color, const TFontSpec& f) {
  return std::to_string(static_cast<int>(a)) + "," + ColorText(color) + "," + f.Name + "," +
         std::to_string(f.Charset) + "," + ColorText(f.Color) + "," + std::to_string(f.Size) + "," +
         std::to_string(FontStyleBits(f));
}

// Applies "alignment,colour,font name,charset,font colour,size,style"; each piece
// is applied only when it is not empty and valid; the first bad piece stops.
void ApplyStyleText(const std::string& text, TAlignment& a, TColor& color, TFontSpec& f) {
  if (text.empty()) return;
  const std::vector<std::string> pieces = SplitText(text, ',');
  for (size_t i = 0; i < pieces.size() && i < 7; ++i) {
    std::string p = Trim(pieces[i]);
    if (p.empty()) continue;
    long long n = 0;
    TColor col = 0;
    switch (i) {
      case 0:
        if (!ParseInt(p, n) || n < 0 || n > 2) return;
        a = static_cast<TAlignment>(n);
        break;
      case 1:
        if (!ParseColor(p, col)) return;
        color = col;
        break;
      case 2:
        f.Name = p;
        break;
      case 3:
        if (!ParseInt(p, n) || n < 0 || n > 255) return;
        f.Charset = static_cast<int>(n);
        break;
      case 4:
        if (!ParseColor(p, col)) return;
        f.Color = col;
        break;
      case 5:
        if (!ParseInt(p, n) || n < -1000 || n > 1000) return;
        f.Size = static_cast<int>(n);
        break;
      case 6:
        if (!ParseInt(p, n) || n < 0 || n > 15) return;
        SetFontStyleBits(f, static_cast<int>(n));
        break;
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string SpecHexEncode(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string SpecHexDecode(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) continue;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::vector<std::string> SpecSplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

TZelESpecReader::TZelESpecReader(const std::vector<std::string>& lines) {
  for (const std::string& l : lines) {
    size_t eq = l.find('=');
    if (eq == std::string::npos || eq == 0 || l[0] == '[') continue;
    values_.emplace(l.substr(0, eq), l.substr(eq + 1));  // the first line with a key wins
  }
}

bool TZelESpecReader::Has(const std::string& key) const { return values_.count(key) > 0; }

std::string TZelESpecReader::Get(const std::string& key) const {
  auto it = values_.find(key);
  return it == values_.end() ? std::string() : it->second;
}

bool TZelESpecReader::GetInt(const std::string& key, long long& out) const { return ParseInt(Get(key), out); }

bool TZelESpecReader::GetOrdinal(const std::string& key, int count, int& out) const {
  long long v;
  if (!GetInt(key, v) || v < 0 || v >= count) return false;
  out = static_cast<int>(v);
  return true;
}

bool TZelESpecReader::GetFloat(const std::string& key, float& out) const {
  std::string s = Trim(Get(key));
  if (s.empty()) return false;
  std::replace(s.begin(), s.end(), ',', '.');
  char* end = nullptr;
  errno = 0;
  float v = std::strtof(s.c_str(), &end);
  if (errno != 0 || !end || *end != '\0' || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::vector<TZelESpecificationFile> ListSpecifications(const std::string& folder) {
  std::vector<TZelESpecificationFile> out;
  std::string dir = folder.empty() ? "." : folder;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() < 5 || !SameTextAscii(name.substr(name.size() - 5), ".zele")) continue;
    std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;
    std::stringstream ss;
    ss << in.rdbuf();
    TZelESpecReader r(SpecSplitLines(ss.str()));
    std::string spec = r.Get("Specification");
    out.push_back({path, spec.empty() ? name : spec});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return a.SpecName != b.SpecName ? a.SpecName < b.SpecName : a.FileName < b.FileName;
  });
  return out;
}

// ---------------------------------------------------------------------------
// The component's side

void TZelExportBaseComponent::SaveSpecificationToStream(std::string& out, const std::string& specName) {
  std::vector<std::string> L;
  auto section = [&](const char* name) {
    if (!L.empty()) L.emplace_back();
    L.emplace_back(std::string("[") + name + "]");
  };
  auto kv = [&](const std::string& k, const std::string& v) { L.push_back(k + "=" + v); };
  auto hexChar = [](char c) { return SpecHexEncode(std::string(1, c)); };

  section("Common");
  kv("App", Services().ApplicationTitle());
  L.emplace_back("Description=ZelExport: specification");
  kv("Specification", specName);
  kv("TableType", TableTypeName(TableType()));
  kv("AddTitle", B(AddTitle));
  kv("BlankIfZero", B(BlankIfZero));
  kv("SourceFileName", FileName);
  kv("SelectedRecord", B(SelectedRecord));
  kv("TableName", TableName);
  kv("CharacterSet", std::to_string(CharacterSet));
  if (CodePage != 0) kv("CodePage", std::to_string(CodePage));
  kv("SourceFileName", FileName);
  kv("Options", std::to_string(Options.Mask));
  kv("ExportIfEmpty", B(ExportIfEmpty));
  kv("RowsPerFile", std::to_string(RowsPerFile));
  kv("ActionAfterExport", std::to_string(ActionAfterExport));

  section("ExportStyle");
  kv("Style", std::to_string(ExportStyle.Style()));
  kv("OddColor", ColorText(ExportStyle.OddColor));
  kv("EvenColor", ColorText(ExportStyle.EvenColor));
  kv("Layout", std::to_string(Layout));

  section("PageSetup");
  kv("Measure", std::to_string(PageSetup.Measure));
  kv("UseDefault", B(PageSetup.UseDefault));
  kv("TopMargin", SingleText(PageSetup.TopMargin));
  kv("BottomMargin", SingleText(PageSetup.BottomMargin));
  kv("LeftMargin", SingleText(PageSetup.LeftMargin));
  kv("RightMargin", SingleText(PageSetup.RightMargin));
  kv("TableWidth", SingleText(PageSetup.TableWidth));
  kv("Orientation", std::to_string(PageSetup.Orientation));

  section("SendTo");
  kv("Recipient", SendTo.EMailRecipient);
  kv("Subject", SendTo.EMailSubject);
  kv("OpenDialog", B(SendTo.EMailOpenBeforeSend));

  section("Mappings");
  kv("Count", std::to_string(Columns.Count()));
  int n = 0;
  for (int i = 0; i < Columns.Count(); ++i) {
    const TZelEColumn& c = Columns[i];
    std::string mapping;
    if (IsExported(c)) {
      switch (GetTextKind()) {
        case 1: mapping = "Text" + std::to_string(n) + "-" + std::to_string(c.Width); break;
        case 2: mapping = "Field" + std::to_string(n); break;
        default: mapping = c.Title.Caption; break;
      }
      ++n;
    }
    kv("Map" + std::to_string(i), c.FieldName + " = " + mapping);
  }
  if (Columns.Count() > 0) {
    section("COLUMNS");
    for (int i = 0; i < Columns.Count(); ++i) {
      const TZelEColumn& c = Columns[i];
      kv("Col" + std::to_string(i), StyleText(c.Alignment, c.Color, c.Font));
      kv("ColTitle" + std::to_string(i), StyleText(c.Title.Alignment, c.Title.Color, c.Title.Font));
      kv("Width" + std::to_string(i), std::to_string(c.Width));
    }
  }

  section("Header");
  kv("Count", std::to_string(Header.size()));
  for (size_t i = 0; i < Header.size(); ++i) kv("Header" + std::to_string(i), Header[i]);
  section("Footer");
  kv("Count", std::to_string(Footer.size()));
  for (size_t i = 0; i < Footer.size(); ++i) kv("Footer" + std::to_string(i), Footer[i]);

  section("Text");
  kv("FieldDelimiter", hexChar(Separator));
  kv("TextQualifier", hexChar(TextQualifier));
  kv("RecordSeparator", SpecHexEncode(RecordSeparator));
  kv("Fixed", B(Fixed));
  kv("AutoFitColumns", B(AutoFitColumns));
  int rowFirst = static_cast<int>(Header.size());
  if (AddTitle) rowFirst += Options.Has(soBlankRowAfterCaptions) ? 2 : 1;
  kv("RowFirst", std::to_string(rowFirst));
  kv("RowLast", "2147483647");

  section("DataFormat");
  kv("DateOrder", std::to_string(DataFormats.DateOrder));
  kv("DateSeparator", hexChar(DataFormats.DateSeparator));
  kv("TimeSeparator", hexChar(DataFormats.TimeSeparator));
  kv("ThousandSeparator", hexChar(DataFormats.ThousandSeparator));
  kv("DecimalSeparator", hexChar(DataFormats.DecimalSeparator));
  kv("CurrencyString", DataFormats.CurrencyString);
  kv("FourDigitYear", B(DataFormats.FourDigitYear));
  kv("LeadingZerosInDate", B(DataFormats.LeadingZerosInDate));
  kv("CustomDateTimeFormat", DataFormats.CustomDateTimeFormat);
  kv("BooleanTrue", DataFormats.BooleanTrue);
  kv("BooleanFalse", DataFormats.BooleanFalse);
  kv("UseRegionalSettings", B(DataFormats.UseRegionalSettings));

  // The formats' own settings: the [SQL] section as it always followed the data
  // formats, then sections of our own that older files simply lack.
  for (bool blankLine : {false, true}) {
    for (const auto& [type, settings] : FormatSettings.Items()) {
      if (settings->BlankLineBefore() != blankLine) continue;
      if (blankLine) L.emplace_back();
      L.emplace_back(std::string("[") + settings->Section() + "]");
      for (const std::string& key : settings->KeyNames()) kv(key, settings->Get(key));
    }
  }

  out.clear();
  for (const std::string& l : L) {
    out += l;
    out += "\r\n";
  }
}

void TZelExportBaseComponent::LoadSpecificationFromStream(const std::string& bytes) {
  LoadSpecificationFromStrings(SpecSplitLines(bytes));
}

void TZelExportBaseComponent::LoadSpecificationFromStrings(const std::vector<std::string>& lines) {
  TZelESpecReader r(lines);
  long long n = 0;
  int ord = 0;

  // The format first: its extension must not rewrite the loaded file name.
  TTableTypeExport t;
  if (TableTypeFromName(r.Get("TableType"), t)) SetTableType(t);
  if (r.Has("SourceFileName")) FileName = r.Get("SourceFileName");
  if (r.Has("TableName")) TableName = r.Get("TableName");
  if (r.GetInt("Options", n) && n >= 0 && n <= 0xFFFF) Options = TZelOptions::FromMask(static_cast<uint16_t>(n));
  ExportIfEmpty = r.GetBool("ExportIfEmpty");
  AddTitle = r.GetBool("AddTitle");
  BlankIfZero = r.GetBool("BlankIfZero");
  SelectedRecord = r.GetBool("SelectedRecord");
  RowsPerFile = (r.GetInt("RowsPerFile", n) && n >= 0 && n <= INT32_MAX) ? static_cast<int>(n) : 0;
  if (r.GetOrdinal("CharacterSet", 3, ord)) CharacterSet = static_cast<TCharacterSet>(ord);
  CodePage = (r.GetInt("CodePage", n) && n > 0 && n <= 65535) ? static_cast<int>(n) : 0;
  if (r.GetOrdinal("ActionAfterExport", 3, ord)) ActionAfterExport = static_cast<TActionAfterExport>(ord);

  if (r.GetOrdinal("Style", kZelEStyleCount, ord)) ExportStyle.SetStyle(static_cast<TZelEStyle>(ord));
  TColor color;
  if (ParseColor(r.Get("OddColor"), color)) ExportStyle.OddColor = color;
  if (ParseColor(r.Get("EvenColor"), color)) ExportStyle.EvenColor = color;
  if (r.GetOrdinal("Layout", 3, ord)) Layout = static_cast<TZelELayout>(ord);
  if (r.GetOrdinal("Measure", 4, ord)) PageSetup.Measure = static_cast<TZelEMeasure>(ord);
  PageSetup.UseDefault = r.GetBool("UseDefault");
  r.GetFloat("TopMargin", PageSetup.TopMargin);
  r.GetFloat("BottomMargin", PageSetup.BottomMargin);
  r.GetFloat("LeftMargin", PageSetup.LeftMargin);
  r.GetFloat("RightMargin", PageSetup.RightMargin);
  r.GetFloat("TableWidth", PageSetup.TableWidth);
  if (r.GetOrdinal("Orientation", 3, ord)) PageSetup.Orientation = static_cast<TZelEOrientation>(ord);

  if (r.Has("Recipient")) SendTo.EMailRecipient = r.Get("Recipient");
  if (r.Has("Subject")) SendTo.EMailSubject = r.Get("Subject");
  SendTo.EMailOpenBeforeSend = r.GetBool("OpenDialog");

  Columns.Clear();
  Bands.Clear();
  for (int i = 0;; ++i) {
    std::string key = "Map" + std::to_string(i);
    std::string v = r.Get(key);
    if (v.empty() || v == " = ") {
      if (i > 150) break;
      continue;
    }
    TZelEColumn& c = Columns.Add();
    size_t sep = v.find(" = ");
    if (sep == std::string::npos) {
      c.FieldName = Trim(v);
    } else {
      c.FieldName = Trim(v.substr(0, sep));
      c.Title.Caption = Trim(v.substr(sep + 3));
    }
    if (c.Title.Caption.empty()) {
      c.Title.Caption = c.FieldName;
      c.Visible = false;
    }
    ApplyStyleText(r.Get("Col" + std::to_string(i)), c.Alignment, c.Color, c.Font);
    ApplyStyleText(r.Get("ColTitle" + std::to_string(i)), c.Title.Alignment, c.Title.Color, c.Title.Font);
    if (r.GetInt("Width" + std::to_string(i), n) && n >= 0 && n <= 100000) c.Width = static_cast<int>(n);
  }

  // Header and footer lines up to the first that is not in the file (an empty
  // line in the middle is kept).
  auto readLines = [&](const char* prefix, std::vector<std::string>& dest) {
    dest.clear();
    for (int i = 0;; ++i) {
      std::string key = prefix + std::to_string(i);
      if (!r.Has(key)) break;
      dest.push_back(r.Get(key));
    }
  };
  readLines("Header", Header);
  readLines("Footer", Footer);

  auto firstChar = [&](const char* key, char& dest) {
    std::string d = SpecHexDecode(r.Get(key));
    if (!d.empty()) dest = d[0];
  };
  firstChar("FieldDelimiter", Separator);
  firstChar("TextQualifier", TextQualifier);
  if (r.Has("RecordSeparator")) RecordSeparator = SpecHexDecode(r.Get("RecordSeparator"));
  Fixed = r.GetBool("Fixed");
  AutoFitColumns = r.GetBool("AutoFitColumns");

  if (r.GetOrdinal("DateOrder", 6, ord)) DataFormats.DateOrder = static_cast<TZelEDateOrder>(ord);
  firstChar("DateSeparator", DataFormats.DateSeparator);
  firstChar("TimeSeparator", DataFormats.TimeSeparator);
  firstChar("ThousandSeparator", DataFormats.ThousandSeparator);
  firstChar("DecimalSeparator", DataFormats.DecimalSeparator);
  if (r.Has("CurrencyString")) DataFormats.CurrencyString = r.Get("CurrencyString");
  DataFormats.FourDigitYear = r.GetBool("FourDigitYear");
  DataFormats.LeadingZerosInDate = r.GetBool("LeadingZerosInDate");
  DataFormats.UseRegionalSettings = r.GetBool("UseRegionalSettings");
  if (r.Has("CustomDateTimeFormat")) DataFormats.CustomDateTimeFormat = r.Get("CustomDateTimeFormat");
  if (r.Has("BooleanTrue")) DataFormats.BooleanTrue = r.Get("BooleanTrue");
  if (r.Has("BooleanFalse")) DataFormats.BooleanFalse = r.Get("BooleanFalse");

  // The formats' own settings: those this component carries (the monitor and the
  // wizard carry every format's), and its own format's when the file has them. A
  // value a key does not take keeps the setting as it was.
  TZelEFormatSettingsSet own;
  if (const TZelEFormatSettings* mine = own.Of(TableType()); mine && !FormatSettings.Find(TableType())) {
    for (const std::string& key : mine->KeyNames())
      if (r.Has(key)) {
        FormatSettings.Of(TableType());
        break;
      }
  }
  for (const auto& [type, settings] : FormatSettings.Items()) {
    for (const std::string& key : settings->KeyNames()) {
      if (!r.Has(key)) continue;
      try {
        settings->Set(key, r.Get(key), false);
      } catch (const EZelESettingError&) {
      }
    }
  }
}

}  // namespace korvane
