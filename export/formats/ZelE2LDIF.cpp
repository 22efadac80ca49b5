#include "export/formats/ZelE2LDIF.h"

#include <cstdint>

#include "engine/dataset.h"
#include "engine/pdx.h"
#include "export/ZelEEscape.h"

namespace korvane {

namespace {

// One UTF-8 character at i: its code point and length, or 0 for a byte that
// starts no valid character.
size_t NextUtf8(std::string_view s, size_t i, uint32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  cp = c & (0xFF >> (n + 1));
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// The base letters of U+00C0..U+00FF and U+0100..U+017F; "*" marks letters
// written with two.
constexpr std::string_view kLatin1 = "AAAAAA*CEEEEIIIIDNOOOOO-OUUUUY**aaaaaa*ceeeeiiiidnooooo-ouuuuy*y";
constexpr std::string_view kLatinA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo**RrRrRrSsSsSsSsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZzs";
static_assert(kLatin1.size() == 0x40 && kLatinA.size() == 0x80);

// The ASCII form of a letter: "" when it is none.
std::string_view FoldLetter(uint32_t cp) {
  if ((cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z')) {
    static const std::string ascii = [] {
      std::string s;
      for (int c = 0; c < 128; ++c) s += static_cast<char>(c);
      return s;
    }();
    return std::string_view(ascii).substr(cp, 1);
  }
  switch (cp) {
    case 0xC6: return "AE";
    case 0xE6: return "ae";
    case 0xDE: return "TH";
    case 0xFE: return "th";
    case 0xDF: return "ss";
    case 0x132: return "IJ";
    case 0x133: return "ij";
    case 0x152: return "OE";
    case 0x153: return "oe";
    default: break;
  }
  std::string_view one;
  if (cp >= 0xC0 && cp <= 0xFF) one = kLatin1.substr(cp - 0xC0, 1);
  else if (cp >= 0x100 && cp <= 0x17F) one = kLatinA.substr(cp - 0x100, 1);
  if (one.empty() || one == "-" || one == "*") return {};
  return one;
}

bool IsCombiningMark(uint32_t cp) { return cp >= 0x300 && cp <= 0x36F; }

const char kEol[] = "\r\n";

}  // namespace

std::string LdifDescriptor(std::string_view name, int column) {
  std::string out;
  bool dash = false;  // a "-" is owed before the next letter or digit
  for (size_t i = 0; i < name.size();) {
    uint32_t cp = 0;
    size_t n = NextUtf8(name, i, cp);
    if (n == 0) {
      cp = 0xFFFD;
      n = 1;
    }
    i += n;
    if (IsCombiningMark(cp)) continue;  // an accent written after its letter
    std::string_view folded = (cp >= '0' && cp <= '9') ? std::string_view() : FoldLetter(cp);
    const bool digit = cp >= '0' && cp <= '9';
    if (!digit && folded.empty()) {
      dash = !out.empty();
      continue;
    }
    if (out.empty() && digit) continue;  // a descriptor starts with a letter
    if (dash) out += '-';
    dash = false;
    if (digit) out += static_cast<char>(cp);
    else out += folded;
  }
  if (out.empty()) out = "field" + std::to_string(column);
  return out;
}

bool LdifSafeValue(std::string_view v) {
  if (v.empty()) return true;
  const unsigned char first = static_cast<unsigned char>(v.front());
  if (first == ' ' || first == ':' || first == '<' || v.back() == ' ') return false;
  for (char ch : v) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == 0 || c == '\r' || c == '\n' || c >= 0x80) return false;
  }
  return true;
}

namespace {

// AppendRdnValue over v[0, limit): at v[0] the value starts when atStart, and
// v's end is the value's end when complete. Answers where it stopped (a
// character is never cut: one that starts before limit is taken whole when v
// holds it).
size_t AppendRdnPart(std::string& out, std::string_view v, size_t limit, bool atStart, bool complete) {
  static const char kHex[] = "0123456789ABCDEF";
  auto hex = [&](unsigned char c) {
    out += '\\';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  size_t i = 0;
  while (i < limit) {
    const unsigned char c = static_cast<unsigned char>(v[i]);
    if (c >= 0x80) {
      uint32_t cp = 0;
      size_t n = NextUtf8(v, i, cp);
      if (n == 0) {
        hex(c);
        ++i;
      } else {
        out.append(v.substr(i, n));
        i += n;
      }
      continue;
    }
    if (c < 0x20 || c == 0x7F) {
      hex(c);
    } else if (c == '"' || c == '+' || c == ',' || c == ';' || c == '<' || c == '>' || c == '\\' ||
               (i == 0 && atStart && (c == ' ' || c == '#')) || (complete && i + 1 == v.size() && c == ' ')) {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return i;
}

// Whether a value that comes in pieces can stand as it is (LdifSafeValue of
// the pieces joined).
class TLdifSafeScan {
 public:
  void Add(std::string_view v) {
    if (v.empty()) return;
    if (!any_) {
      const unsigned char first = static_cast<unsigned char>(v.front());
      if (first == ' ' || first == ':' || first == '<') safe_ = false;
      any_ = true;
    }
    for (char ch : v) {
      const unsigned char c = static_cast<unsigned char>(ch);
      if (c == 0 || c == '\r' || c == '\n' || c >= 0x80) safe_ = false;
    }
    last_ = v.back();
  }
  bool Empty() const { return !any_; }
  bool Safe() const { return !any_ || (safe_ && last_ != ' '); }

 private:
  bool any_ = false;
  bool safe_ = true;
  char last_ = 0;
};

}  // namespace

void AppendRdnValue(std::string& out, std::string_view v) { AppendRdnPart(out, v, v.size(), true, true); }

TZelExportToLDIF::TZelExportToLDIF() {
  FileName = "ZelExport.LDIF";
  SetTableType(teLDIF);
}

const TZelELDIFSettings& TZelExportToLDIF::Settings() const {
  static const TZelELDIFSettings defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelELDIFSettings>*>(FormatSettings.Find(teLDIF));
  return s ? s->Value : defaults;
}

void TZelExportToLDIF::BeginExecute() {
  run_ = Settings();
  // Entries are records: the file is always written one entry per record,
  // whatever layout the settings name.
  savedLayout_ = Layout;
  layoutForced_ = Layout != elColumnar;
  Layout = elColumnar;
  inEntry_ = false;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToLDIF::EndExecute() {
  TZelExportToCellFile::EndExecute();
  if (layoutForced_) Layout = savedLayout_;
  layoutForced_ = false;
}

void TZelExportToLDIF::MakeDescriptors() {
  names_.clear();
  TZelENameSet set({}, true, "-");
  // Names with a meaning of their own in an LDIF file.
  for (const char* reserved : {"dn", "objectClass", "changetype", "control", "version"}) set.Add(reserved);
  int k = 0;
  for (const TZelEColumn& c : Columns.Items()) {
    if (!IsExported(c)) continue;
    ++k;
    names_.push_back(set.Add(LdifDescriptor(FieldNameText(c), k)));
  }
}

void TZelExportToLDIF::WriteComment(std::string_view text) {
  // One comment line per line of the text.
  size_t start = 0;
  while (true) {
    size_t end = text.find_first_of("\r\n", start);
    line_ = "# ";
    line_.append(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    line_ += kEol;
    WriteString(line_);
    if (end == std::string_view::npos) break;
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

void TZelExportToLDIF::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  MakeDescriptors();
  inEntry_ = false;
  versionWritten_ = false;
  WriteComment("This LDIF file was generated by " + KeyGenerator + " and the LDIF destination handler.");
}

void TZelExportToLDIF::BeginRow() {
  inEntry_ = InTable() && Statistic.Section == 3 && Statistic.LevelNumber == 0;
  if (!inEntry_) return;
  entry_.clear();
  rdnValue_.clear();
  haveRdn_ = false;
  rdnField_ = nullptr;
  rdnEmpty_ = true;
  streamedValues_.clear();
}

void TZelExportToLDIF::EndRow() {
  if (!inEntry_) return;
  inEntry_ = false;
  // The entry's name: the first column's value, the record number when it is empty.
  std::string dn = names_.empty() ? std::string("field1") : names_.front();
  dn += '=';
  std::string dnTail;
  if (!run_.LDIFBaseDN.empty()) {
    dnTail += ',';
    dnTail += run_.LDIFBaseDN;
  }
  const bool streamedRdn = haveRdn_ && rdnField_ && !rdnEmpty_;
  if (!streamedRdn) {
    if (haveRdn_ && !rdnValue_.empty()) AppendRdnValue(dn, rdnValue_);
    else dn += std::to_string(Statistic.RecordsExported);
    dn += dnTail;
    dnTail.clear();
  }
  line_.clear();
  // The version line goes right before the first entry: directory tools read a
  // version line with no entry after it, or an empty line after it, as an entry
  // without a name.
  if (!versionWritten_) {
    line_ += "version: 1\r\n";
    versionWritten_ = true;
  }
  // A long first value is read again for the name, in pieces.
  bool safe = true;
  if (streamedRdn) {
    TLdifSafeScan scan;
    scan.Add(dn);
    ReadRdnValue(*rdnField_, [&](std::string_view piece) { scan.Add(piece); });
    scan.Add(dnTail);
    safe = scan.Safe();
  } else {
    safe = LdifSafeValue(dn);
  }
  TZelEBase64Stream base64;
  if (safe) {
    line_ += "dn: ";
    line_ += dn;
  } else {
    line_ += "dn:: ";
    base64.Append(line_, dn);
  }
  if (streamedRdn) {
    WriteString(line_);
    ReadRdnValue(*rdnField_, [&](std::string_view piece) {
      line_.clear();
      if (safe) line_ = piece;
      else base64.Append(line_, piece);
      WriteString(line_);
    });
    line_.clear();
    if (safe) line_ += dnTail;
    else base64.Append(line_, dnTail);
  }
  if (!safe) base64.Finish(line_);
  line_ += kEol;
  line_ += "objectClass: top\r\n";
  line_ += "objectClass: ";
  line_ += ObjectClass;
  line_ += kEol;
  WriteString(line_);
  // The attribute lines, long values read again where they stand.
  size_t at = 0;
  for (const TStreamedValue& v : streamedValues_) {
    WriteString(std::string_view(entry_).substr(at, v.At - at));
    at = v.At;
    TZelEBase64Stream b64;
    ReadValue(*v.Field, [&](std::string_view piece) {
      if (!v.Base64) {
        WriteString(piece);
        return;
      }
      line_.clear();
      b64.Append(line_, piece);
      WriteString(line_);
    });
    if (v.Base64) {
      line_.clear();
      b64.Finish(line_);
      WriteString(line_);
    }
  }
  WriteString(std::string_view(entry_).substr(at));
  WriteString(kEol);
}

void TZelExportToLDIF::ReadValue(const TField& field, const std::function<void(std::string_view)>& sink) const {
  const TFieldType t = field.DataType();
  // Binary data goes as its bytes, memo text as its text.
  if (t != ftMemo && t != ftFmtMemo) ReadBlobBytes(field, sink);
  else ReadBlobText(field, sink);
}

void TZelExportToLDIF::ReadRdnValue(const TField& field, const std::function<void(std::string_view)>& sink) const {
  // A few bytes wait for the next piece, so that a character is never cut and
  // the last byte is known as the value's last.
  std::string carry, out;
  bool atStart = true;
  ReadValue(field, [&](std::string_view piece) {
    carry.append(piece);
    if (carry.size() <= 4) return;
    out.clear();
    const size_t done = AppendRdnPart(out, carry, carry.size() - 4, atStart, false);
    carry.erase(0, done);
    atStart = false;
    if (!out.empty()) sink(out);
  });
  out.clear();
  AppendRdnPart(out, carry, carry.size(), atStart, true);
  if (!out.empty()) sink(out);
}

const std::string& TZelExportToLDIF::CellBytes(const TField* field, const std::string& text) {
  if (!field || Statistic.Section != 3) return text;
  const TFieldType t = field->DataType();
  if (IsBlobType(t) && t != ftMemo && t != ftFmtMemo && CellNativeValue().kind == TZelECellValue::cvBlob) {
    // Pictures, OLE objects and other binary data: their bytes, not their hex.
    raw_ = field->BlobData();
    return raw_;
  }
  if ((t == ftBytes || t == ftVarBytes) && !field->IsNull()) {
    const size_t n = static_cast<size_t>(std::max(0, field->DataSize()));
    raw_.assign(std::max<size_t>(n, 1), '\0');
    if (!field->GetData(raw_.data())) {
      raw_.clear();
      return raw_;
    }
    raw_.resize(n);
    return raw_;
  }
  return text;
}

void TZelExportToLDIF::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                 TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  if (!inEntry_) {
    // Header and footer lines stand outside every entry.
    if (Statistic.Section == 0 || Statistic.Section == 4) WriteComment(text);
    return;
  }
  if (field && field == StreamedBlob()) {
    // A long BLOB: read once here to see what it holds, again when the entry
    // is written.
    TLdifSafeScan scan;
    ReadValue(*field, [&](std::string_view piece) { scan.Add(piece); });
    if (col == 0) {
      rdnField_ = field;
      rdnEmpty_ = scan.Empty();
      rdnValue_.clear();
      haveRdn_ = true;
    }
    if (scan.Empty() || col < 0 || col >= static_cast<int>(names_.size())) return;
    entry_ += names_[static_cast<size_t>(col)];
    entry_ += scan.Safe() ? ": " : ":: ";
    streamedValues_.push_back({entry_.size(), field, !scan.Safe()});
    entry_ += kEol;
    return;
  }
  const std::string& value = CellBytes(field, text);
  if (col == 0) {
    rdnValue_ = value;
    rdnField_ = nullptr;
    haveRdn_ = true;
  }
  if (value.empty()) return;  // no line for an empty value
  if (col < 0 || col >= static_cast<int>(names_.size())) return;
  entry_ += names_[static_cast<size_t>(col)];
  if (LdifSafeValue(value)) {
    entry_ += ": ";
    entry_ += value;
  } else {
    entry_ += ":: ";
    AppendBase64(entry_, value);
  }
  entry_ += kEol;
}

}  // namespace korvane
