#include "export/formats/ZelE2PDF.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "export/ZelEBitmap.h"
#include "export/ZelEEscape.h"
#include "platform/fonts.h"

namespace korvane {

namespace {

const char kHex[] = "0123456789ABCDEF";

void AppendHex4(std::string& out, uint32_t v) {
  out += kHex[(v >> 12) & 15];
  out += kHex[(v >> 8) & 15];
  out += kHex[(v >> 4) & 15];
  out += kHex[v & 15];
}

// A code of a Type0 font (two bytes) in a literal string: raw bytes but for
// the string's delimiters, the escape and line ends (a bare CR reads as LF).
void AppendCode(std::string& out, uint16_t code) {
  for (const auto b : {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}) {
    switch (b) {
      case '(': out += "\\("; break;
      case ')': out += "\\)"; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += b;
    }
  }
}

// Bytes a literal string escapes.
constexpr std::array<bool, 256> kNeedsEscape = [] {
  std::array<bool, 256> t{};
  for (char c : {'(', ')', '\\', '\r', '\n'}) t[static_cast<unsigned char>(c)] = true;
  return t;
}();

// UTF-16BE hex of a text (surrogate pairs past U+FFFF).
void AppendUtf16Hex(std::string& out, std::u32string_view text) {
  for (char32_t c : text) {
    if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      AppendHex4(out, 0xD800 + (v >> 10));
      AppendHex4(out, 0xDC00 + (v & 0x3FF));
    } else {
      AppendHex4(out, c);
    }
  }
}

// A colour as red, green, blue from 0 to 1; system colours as the desktop
// shows them.
void Rgb(TColor c, double rgb[3]) {
  if (c & 0xFF000000u) {
    switch (c & 0xFFu) {
      case 5: c = clWhite; break;          // window
      case 8: c = clBlack; break;          // window text
      case 15: c = clBtnFace; break;       // button face
      case 18: c = clBlack; break;         // button text
      default: c = clWhite; break;
    }
  }
  rgb[0] = (c & 0xFF) / 255.0;
  rgb[1] = ((c >> 8) & 0xFF) / 255.0;
  rgb[2] = ((c >> 16) & 0xFF) / 255.0;
}

bool IsWhite(TColor c) {
  double v[3];
  Rgb(c, v);
  return v[0] == 1 && v[1] == 1 && v[2] == 1;
}

bool IsBlack(TColor c) {
  double v[3];
  Rgb(c, v);
  return v[0] == 0 && v[1] == 0 && v[2] == 0;
}

std::string ColorOp(TColor c, bool stroke) {
  double v[3];
  Rgb(c, v);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f %.3f %.3f %s\n", v[0], v[1], v[2], stroke ? "RG" : "rg");
  return buf;
}

std::string Deflate(std::string_view data, int level) {
  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) throw EZelExportError("zlib cannot start");
  std::string out;
  out.resize(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw EZelExportError("zlib could not compress a stream");
  return out;
}

// A zlib stream fed piece by piece.
class TDeflater {
 public:
  explicit TDeflater(int level) {
    if (deflateInit(&z_, level) != Z_OK) throw EZelExportError("zlib cannot start");
  }
  ~TDeflater() { deflateEnd(&z_); }
  void Add(const void* data, size_t n, bool finish = false) {
    z_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z_.avail_in = static_cast<uInt>(n);
    char buf[65536];
    int rc;
    do {
      z_.next_out = reinterpret_cast<Bytef*>(buf);
      z_.avail_out = sizeof buf;
      rc = deflate(&z_, finish ? Z_FINISH : Z_NO_FLUSH);
      out.append(buf, sizeof buf - z_.avail_out);
    } while (z_.avail_out == 0 || (finish && rc != Z_STREAM_END));
  }
  std::string out;

 private:
  z_stream z_{};
};

std::string Ascii85(std::string_view data) {
  std::string out;
  size_t i = 0, line = 0;
  auto put = [&](char c) {
    out += c;
    if (++line == 75) {
      out += '\n';
      line = 0;
    }
  };
  while (i < data.size()) {
    const size_t n = std::min<size_t>(4, data.size() - i);
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k)
      v = (v << 8) | (k < n ? static_cast<uint8_t>(data[i + k]) : 0u);
    if (n == 4 && v == 0) {
      put('z');
    } else {
      char d[5];
      for (int k = 4; k >= 0; --k) {
        d[k] = static_cast<char>('!' + v % 85);
        v /= 85;
      }
      for (size_t k = 0; k < n + 1; ++k) put(d[k]);
    }
    i += n;
  }
  out += "~>";
  return out;
}

}  // namespace

namespace pdf {

std::string LiteralString(std::string_view utf8) {
  bool ascii = true;
  for (char c : utf8)
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  std::string out = "(";
  if (ascii) {
    for (char c : utf8) {
      switch (c) {
        case '(': out += "\\("; break;
        case ')': out += "\\)"; break;
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned char>(c));
            out += buf;
          } else {
            out += c;
          }
      }
    }
    return out + ")";
  }
  std::u32string text;
  DecodeUtf8(utf8, text);
  std::string hex;
  AppendUtf16Hex(hex, text);
  return "<FEFF" + hex + ">";
}

std::string Name(std::string_view s) {
  std::string out;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || std::string_view("#()<>[]{}/%").find(static_cast<char>(c)) != std::string_view::npos) {
      out += '#';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int DeflateLevel(TPDFCompressionMethod m) {
  switch (m) {
    case cmFastest: return 0;
    case cmMaxCompress: return Z_DEFAULT_COMPRESSION;
    case cmNormal:
    default: return 1;
  }
}

std::string Encode(std::string_view data, TPDFFilterDecode filter, TPDFCompressionMethod level,
                   std::string& filterName) {
  switch (filter) {
    case fdASCIIHex: {
      filterName = "ASCIIHexDecode";
      std::string out;
      out.reserve(data.size() * 2 + data.size() / 32 + 2);
      for (size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        out += kHex[c >> 4];
        out += kHex[c & 15];
        if (i % 38 == 37) out += '\n';
      }
      return out + ">";
    }
    case fdASCII85: filterName = "ASCII85Decode"; return Ascii85(data);
    default: filterName = "FlateDecode"; return Deflate(data, DeflateLevel(level));
  }
}

template <class TAdvance>
void WrapLineInto(std::u32string_view text, double width, const TAdvance& advance,
                  std::vector<std::pair<size_t, size_t>>& lines) {
  lines.clear();
  size_t start = 0;
  while (true) {
    double w = 0;
    size_t i = start, lastSpace = std::string::npos;
    while (i < text.size()) {
      const double a = advance(text[i]);
      if (text[i] == U' ') lastSpace = i;
      if (w + a > width && i > start && text[i] != U' ') break;
      w += a;
      ++i;
    }
    if (i >= text.size()) {
      lines.emplace_back(start, text.size());
      break;
    }
    if (lastSpace != std::string::npos && lastSpace > start) {
      size_t end = lastSpace;
      while (end > start && text[end - 1] == U' ') --end;
      lines.emplace_back(start, end);
      start = lastSpace + 1;
    } else {
      lines.emplace_back(start, i);
      start = i;
    }
    while (start < text.size() && text[start] == U' ') ++start;
    if (start >= text.size()) break;
  }
}

std::vector<std::pair<size_t, size_t>> WrapLine(std::u32string_view text, double width,
                                                const std::function<double(char32_t)>& advance) {
  std::vector<std::pair<size_t, size_t>> lines;
  WrapLineInto(text, width, advance, lines);
  return lines;
}

double Points(double value, TZelEMeasure measure) {
  switch (measure) {
    case emInch: return value * 72;
    case emCentimeters: return value * 72 / 2.54;
    case emPicas: return value * 12;
    case emPoint:
    default: return value;
  }
}

}  // namespace pdf

// What a character (below 65536) of a font needs to be measured and drawn
// when it maps to one glyph: looked up once per run, not once per use.
struct TZelExportToPDF::TCharSlot {
  int32_t wrapAdvance = 0;  // thousandths of the em, for wrapping
  int32_t drawAdvance = 0;
  int32_t pdfFont = -1;  // -1: not drawn yet in this file
  uint16_t code = 0;
  bool wrapKnown = false;
  bool missing = false;  // no face has it: drawn as the missing-glyph box
};

// A font of the cells: name, weight and slant with its faces.
struct TZelExportToPDF::TFontRef {
  std::unique_ptr<TFontSet> set;
  std::vector<TCharSlot> slots;  // by character, once the font is used
  TCharSlot& SlotOf(char32_t c) {
    if (slots.empty()) slots.resize(0x10000);
    return slots[c];
  }
};

// A PDF font: one face, codes given in order of first use.
struct TZelExportToPDF::TPdfFont {
  int obj = 0, number = 0;
  const TFontFace* face = nullptr;
  std::unordered_map<uint64_t, uint16_t> single;
  std::map<std::pair<uint32_t, std::u32string>, uint16_t> other;
  std::vector<uint32_t> gids{0};
  std::vector<std::u32string> texts{std::u32string()};
  // Codes of single characters below 65536 (0: none yet), checked against their glyph.
  std::vector<uint16_t> byChar = std::vector<uint16_t>(0x10000, 0);
};

TZelExportToPDF::TZelExportToPDF() {
  FileName = "ZelExport.PDF";
  SetTableType(tePDF);
}

TZelExportToPDF::~TZelExportToPDF() = default;

const TZelEPDFSettings& TZelExportToPDF::Settings() const {
  static const TZelEPDFSettings defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelEPDFSettings>*>(FormatSettings.Find(tePDF));
  return s ? s->Value : defaults;
}

void TZelExportToPDF::BeginExecute() {
  unshownChars_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToPDF::EndExecute() {
  if (unshownChars_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d characters have no glyph in any installed font: they are drawn as a "
                                         "box and still read back as the characters they are.",
                                         {std::to_string(unshownChars_)}));
  ForgetPdfFonts();
  fontRefs_.clear();
  fontRefOf_.clear();
  lastFontRef_ = -1;
  TZelExportToCellFile::EndExecute();
}

std::string TZelExportToPDF::Num(double v) const {
  std::string out;
  AppendNum(out, v);
  return out;
}

// A number with at most two decimals, no trailing zeros.
void TZelExportToPDF::AppendNum(std::string& out, double v) {
  char buf[48];
  const double r = std::round(v);
  char* end;
  if (std::fabs(v - r) < 0.005 && std::fabs(r) < 1e15) {
    end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(r)).ptr;
  } else {
    end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2).ptr;
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
  }
  out.append(buf, end);
}

// Page contents through one zlib stream kept for the run (a stream's state is
// large; starting one per page costs more than compressing the page).
struct TZelExportToPDF::TPageDeflater {
  z_stream z{};
  bool ready = false;
  std::string out;
  ~TPageDeflater() {
    if (ready) deflateEnd(&z);
  }
  const std::string& Compress(const std::string& data, int level) {
    if (!ready) {
      // The largest hash table: fewer collisions, faster on page operators.
      if (deflateInit2(&z, level, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EZelExportError("zlib cannot start");
      ready = true;
    } else {
      deflateReset(&z);
    }
    const size_t bound = deflateBound(&z, static_cast<uLong>(data.size()));
    if (out.size() < bound) out.resize(bound);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw EZelExportError("zlib could not compress a page");
    length = z.total_out;
    return out;
  }
  size_t length = 0;
};

void TZelExportToPDF::Emit(std::string_view s) {
  WriteString(s);
  offset_ += static_cast<int64_t>(s.size());
}

int TZelExportToPDF::NewObject() {
  offsets_.push_back(-1);
  return static_cast<int>(offsets_.size()) - 1;
}

void TZelExportToPDF::BeginObject(int n) {
  offsets_[static_cast<size_t>(n)] = offset_;
  Emit(std::to_string(n) + " 0 obj\n");
}

void TZelExportToPDF::WriteStreamObject(int n, const std::string& dict, std::string_view data) {
  BeginObject(n);
  Emit("<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n");
  Emit(data);
  Emit("\nendstream\nendobj\n");
}

void TZelExportToPDF::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  offset_ = 0;
  offsets_.assign(4, -1);  // 0 free, 1 catalog, 2 information, 3 page tree
  groups_.clear();
  pages_.clear();
  pageCount_ = 0;
  pageOpen_ = false;
  content_.clear();
  ForgetPdfFonts();
  images_ = 0;
  RecycleCells();
  pendingSpan_ = 1;
  widths_.clear();
  columnX_.clear();
  Emit("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  const TZelEPDFSettings& s = Settings();
  std::string cat = "<< /Type /Catalog /Pages 3 0 R";
  static const char* kLayouts[] = {"", "SinglePage", "OneColumn", "TwoColumnLeft", "TwoColumnRight", "TwoPageLeft",
                                   "TwoPageRight"};
  if (s.PageLayout > eplDefault && s.PageLayout <= eplTwoPageRight)
    cat += std::string("\n/PageLayout /") + kLayouts[s.PageLayout];
  if (s.HideToolBar || s.HideMenuBar || s.HideWindowUI || s.FitWindow || s.CenterWindow) {
    cat += "\n/ViewerPreferences <<";
    if (s.HideToolBar) cat += " /HideToolbar true";
    if (s.HideMenuBar) cat += " /HideMenubar true";
    if (s.HideWindowUI) cat += " /HideWindowUI true";
    if (s.FitWindow) cat += " /FitWindow true";
    if (s.CenterWindow) cat += " /CenterWindow true";
    cat += " >>";
  }
  BeginObject(1);
  Emit(cat + " >>\nendobj\n");
}

void TZelExportToPDF::WriteDimension(int, int colCount) {
  const bool landscape = PageSetup.Orientation == emLandscape;
  baseWidth_ = landscape ? 792 : 612;
  pageHeight_ = landscape ? 612 : 792;
  pageWidth_ = baseWidth_;
  scale_ = 1;
  if (PageSetup.UseDefault) {
    marginL_ = marginT_ = marginR_ = marginB_ = 10;
  } else {
    auto pt = [&](float v) { return std::clamp(pdf::Points(v, PageSetup.Measure), 0.0, 1e6); };
    marginL_ = pt(PageSetup.LeftMargin);
    marginT_ = pt(PageSetup.TopMargin);
    marginR_ = pt(PageSetup.RightMargin);
    marginB_ = pt(PageSetup.BottomMargin);
    // Margins that leave no room for a row give way to the usual edges.
    if (marginT_ + marginB_ > pageHeight_ - 40) marginT_ = marginB_ = 10;
    if (marginL_ + marginR_ > baseWidth_ - 40) marginL_ = marginR_ = 10;
  }
  widths_.assign(static_cast<size_t>(std::max(colCount, 1)), 0);
  columnX_.clear();
}

void TZelExportToPDF::WriteColumnWidth(int col, int width) {
  if (col >= 0 && static_cast<size_t>(col) < widths_.size())
    widths_[static_cast<size_t>(col)] = std::clamp(width, 0, 100000) * 8.0;
}

void TZelExportToPDF::BeginRow() {
  if (columnX_.empty()) {
    // Positions once every width is in.
    if (widths_.empty()) widths_.assign(1, 0);
    double x = marginL_;
    for (double w : widths_) {
      columnX_.push_back(x);
      x += w;
    }
    const double need = x + marginR_;
    pageWidth_ = baseWidth_ * std::max(1.0, std::ceil(need / baseWidth_ - 1e-9));
    scale_ = 1;
    if (pageWidth_ > kMaxPageWidth) {
      pageWidth_ = kMaxPageWidth;
      scale_ = kMaxPageWidth / need;
    }
  }
  RecycleCells();
  pendingSpan_ = 1;
}

void TZelExportToPDF::WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                                      TAlignment alignment, const TFontSpec* font, TColor color) {
  pendingSpan_ = std::max(1, mergeCount);
  TZelExportToCellFile::WriteMergedData(cellType, row, col, mergeCount, text, alignment, font, color);
  pendingSpan_ = 1;
}

void TZelExportToPDF::RecycleCells() {
  for (TCell& c : cells_) spareCells_.push_back(std::move(c));
  cells_.clear();
}

void TZelExportToPDF::WriteData(const TField* field, TCellType cellType, int, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec* font, TColor color) {
  // The cells of earlier rows lend their buffers.
  TCell c;
  if (!spareCells_.empty()) {
    c.text = std::move(spareCells_.back().text);
    c.lines = std::move(spareCells_.back().lines);
    spareCells_.pop_back();
    c.text.clear();
    c.lines.clear();
  }
  c.col = col;
  c.span = pendingSpan_;
  c.fullWidth = Statistic.Section == 0 || Statistic.Section == 4;
  c.alignment = alignment;
  static const TFontSpec kDefault;
  const TFontSpec& f = font ? *font : kDefault;
  c.fontRef = FontRef(f);
  c.size = f.Size > 0 ? std::min(f.Size, 200) : 8;
  c.color = color;
  c.fontColor = f.Color;
  const bool picture = cellType == ctGraphic || (field && field->DataType() == ftGraphic &&
                                                 CellNativeValue().kind != TZelECellValue::cvNull);
  if (picture) {
    // An empty picture draws nothing.
    c.image = WriteImage(field, text, c.picW, c.picH, col);
  } else {
    DecodeUtf8(text, c.text);
  }
  cells_.push_back(std::move(c));
}

int TZelExportToPDF::FontRef(const TFontSpec& font) {
  if (lastFontRef_ >= 0 && font.Bold == lastFontSpec_.Bold && font.Italic == lastFontSpec_.Italic &&
      font.Name == lastFontSpec_.Name)
    return lastFontRef_;
  lastFontSpec_ = font;
  lastFontRef_ = FontRefOf(font);
  return lastFontRef_;
}

int TZelExportToPDF::FontRefOf(const TFontSpec& font) {
  const std::string key = font.Name + (font.Bold ? "|b" : "|") + (font.Italic ? "i" : "");
  auto it = fontRefOf_.find(key);
  if (it != fontRefOf_.end()) return it->second;
  auto ref = std::make_unique<TFontRef>();
  ref->set = TFontSet::Match(font.Name, font.Bold, font.Italic);
  if (!ref->set) ref->set = TFontSet::Match("sans-serif", font.Bold, font.Italic);
  if (!ref->set) throw EZelExportError("No TrueType font that may be embedded is installed; PDF export needs one.");
  fontRefs_.push_back(std::move(ref));
  const int n = static_cast<int>(fontRefs_.size()) - 1;
  fontRefOf_[key] = n;
  return n;
}

int TZelExportToPDF::PdfFont(const TFontFace& face) {
  if (&face == lastFace_ && lastPdfFont_ >= 0 && pdfFonts_[static_cast<size_t>(lastPdfFont_)]->gids.size() < 0xFFFF)
    return lastPdfFont_;
  lastFace_ = &face;
  lastPdfFont_ = PdfFontOf(face);
  return lastPdfFont_;
}

int TZelExportToPDF::PdfFontOf(const TFontFace& face) {
  const std::string key = face.Path() + "#" + std::to_string(face.Index());
  auto it = pdfFontOf_.find(key);
  if (it != pdfFontOf_.end() && pdfFonts_[static_cast<size_t>(it->second)]->gids.size() < 0xFFFF) return it->second;
  // A new font for the face (or another one once a font has used every code).
  auto f = std::make_unique<TPdfFont>();
  f->obj = NewObject();
  f->face = &face;
  f->number = static_cast<int>(pdfFonts_.size()) + 1;
  pdfFonts_.push_back(std::move(f));
  const int n = static_cast<int>(pdfFonts_.size()) - 1;
  pdfFontOf_[key] = n;
  return n;
}

// Codes with a byte that a literal string must escape (line ends, parentheses,
// backslash) stay unused, so that every code takes two bytes of the page.
void TZelExportToPDF::SkipEscapedCodes(TPdfFont& f) {
  auto escaped = [](size_t b) { return b == '\n' || b == '\r' || b == '(' || b == ')' || b == '\\'; };
  while (escaped(f.gids.size() & 0xFF) || escaped((f.gids.size() >> 8) & 0xFF)) {
    f.gids.push_back(0);
    f.texts.emplace_back();
  }
}

uint16_t TZelExportToPDF::Code(TPdfFont& f, const TFontFace&, uint32_t gid, std::u32string_view text) {
  if (text.size() == 1) {
    if (text[0] < 0x10000) {
      const uint16_t known = f.byChar[text[0]];
      if (known != 0 && f.gids[known] == gid) return known;
    }
    const uint64_t key = (static_cast<uint64_t>(gid) << 21) | text[0];
    auto it = f.single.find(key);
    if (it != f.single.end()) return it->second;
    SkipEscapedCodes(f);
    const auto code = static_cast<uint16_t>(f.gids.size());
    f.single.emplace(key, code);
    if (text[0] < 0x10000 && f.byChar[text[0]] == 0) f.byChar[text[0]] = code;
    f.gids.push_back(gid);
    f.texts.emplace_back(text);
    return code;
  }
  auto key = std::make_pair(gid, std::u32string(text));
  auto it = f.other.find(key);
  if (it != f.other.end()) return it->second;
  SkipEscapedCodes(f);
  const auto code = static_cast<uint16_t>(f.gids.size());
  f.other.emplace(std::move(key), code);
  f.gids.push_back(gid);
  f.texts.emplace_back(text);
  return code;
}

int TZelExportToPDF::WriteImage(const TField* field, const std::string& text, double& w, double& h, int col) {
  std::string bytes;
  if (field) ReadBlobBytes(*field, [&](std::string_view piece) { bytes.append(piece); });
  else bytes = text;
  if (bytes.empty()) return 0;
  TZelEBitmap bmp;
  std::string why;
  if (!bmp.Parse(bytes, why)) throw PictureError(field, col, why);
  const TZelEPDFSettings& s = Settings();
  std::string data, filter;
  const size_t rowBytes = static_cast<size_t>(bmp.Width()) * 3;
  if (s.ImageDecode == fdASCIIHex || s.ImageDecode == fdASCII85) {
    std::string raw;
    raw.reserve(rowBytes * static_cast<size_t>(bmp.Height()));
    bmp.DecodeRows([&](int, const uint8_t* rgb) { raw.append(reinterpret_cast<const char*>(rgb), rowBytes); });
    data = pdf::Encode(raw, s.ImageDecode, s.CompressionMethod, filter);
  } else {
    TDeflater z(pdf::DeflateLevel(s.CompressionMethod));
    bmp.DecodeRows([&](int, const uint8_t* rgb) { z.Add(rgb, rowBytes); });
    z.Add(nullptr, 0, true);
    data = std::move(z.out);
    filter = "FlateDecode";
  }
  const int n = NewObject();
  ++images_;
  WriteStreamObject(n,
                    "/Type /XObject /Subtype /Image /Width " + std::to_string(bmp.Width()) + " /Height " +
                        std::to_string(bmp.Height()) + " /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /" +
                        filter,
                    data);
  w = bmp.Width();
  h = bmp.Height();
  return n;
}

void TZelExportToPDF::Layout(TCell& c) {
  const double vw = pageWidth_ / scale_;
  if (c.fullWidth) {
    c.x0 = marginL_;
    c.x1 = vw - marginR_;
  } else {
    const size_t n = columnX_.size();
    const size_t col = static_cast<size_t>(std::max(c.col, 0));
    c.x0 = col < n ? columnX_[col] : vw - marginR_;
    const size_t last = col + static_cast<size_t>(c.span);
    c.x1 = last < n ? columnX_[last] : vw - marginR_;
    if (c.x1 < c.x0) c.x1 = c.x0;
  }
  const double inner = std::max(1.0, c.x1 - c.x0 - 4);
  if (c.image) {
    // Scaled down to the column and the page, never up.
    const double room = ContentBottom() - ContentTop() - 2;
    const double k = std::min({1.0, inner / c.picW, room / c.picH});
    c.picW *= k;
    c.picH *= k;
    c.height = c.picH + 2;
    return;
  }
  TFontRef& ref = *fontRefs_[static_cast<size_t>(c.fontRef)];
  TFontSet& set = *ref.set;
  const double size = c.size;
  auto advance = [&](char32_t ch) {
    if (ch >= 0x10000) return set.CharAdvance(ch) * size / 1000.0;
    TCharSlot& slot = ref.SlotOf(ch);
    if (!slot.wrapKnown) {
      slot.wrapAdvance = set.CharAdvance(ch < 0x20 ? U' ' : ch);
      slot.wrapKnown = true;
    }
    return slot.wrapAdvance * size / 1000.0;
  };
  const double lh = size + 2;
  double top = 4;
  size_t start = 0;
  const std::u32string& t = c.text;
  // Most values are one line that fits (the same sum as wrapping makes).
  double w = 0;
  bool one = true;
  for (char32_t ch : t) {
    if (ch == U'\r' || ch == U'\n') {
      one = false;
      break;
    }
    w += advance(ch);
    if (w > inner) {
      one = false;
      break;
    }
  }
  if (one) {
    c.lines.push_back({0, static_cast<uint32_t>(t.size()), top});
    c.height = top + lh + 4;
    return;
  }
  while (true) {
    size_t end = start;
    while (end < t.size() && t[end] != U'\r' && t[end] != U'\n') ++end;
    pdf::WrapLineInto(std::u32string_view(t).substr(start, end - start), inner, advance, wrapped_);
    for (auto [a, b] : wrapped_) {
      c.lines.push_back({static_cast<uint32_t>(start + a), static_cast<uint32_t>(start + b), top});
      top += lh;
    }
    if (end >= t.size()) break;
    start = end + (t[end] == U'\r' && end + 1 < t.size() && t[end + 1] == U'\n' ? 2 : 1);
  }
  c.height = top + 4;
}

void TZelExportToPDF::BeginPage() {
  pageOpen_ = true;
  textOpen_ = false;
  content_.clear();
  pageFonts_.clear();
  pageImages_.clear();
  std::fill(pageFontUsed_.begin(), pageFontUsed_.end(), 0);
  tfFont_ = -1;
  tfSize_ = -1;
  columnRules_.clear();
  rules_.clear();
  y_ = ContentTop();
  if (scale_ < 1) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "q %.6f 0 0 %.6f 0 0 cm\n", scale_, scale_);
    content_ += buf;
  }
}

void TZelExportToPDF::EndPage() {
  if (!pageOpen_) return;
  pageOpen_ = false;
  FlushRules(true);
  if (scale_ < 1) content_ += "Q\n";
  if (pageCount_ % 10 == 0) groups_.push_back(NewObject());
  ++pageCount_;
  const int contents = NewObject();
  const int level = std::max(1, pdf::DeflateLevel(Settings().CompressionMethod));
  if (!deflater_) deflater_ = std::make_unique<TPageDeflater>();
  const std::string& packed = deflater_->Compress(content_, level);
  WriteStreamObject(contents, "/Filter /FlateDecode", std::string_view(packed.data(), deflater_->length));
  content_.clear();
  const int page = NewObject();
  pages_.push_back(page);
  std::string res = "<< ";
  if (!pageFonts_.empty()) {
    res += "/Font <<";
    for (int f : pageFonts_) {
      const TPdfFont& pf = *pdfFonts_[static_cast<size_t>(f)];
      res += " /F" + std::to_string(pf.number) + " " + std::to_string(pf.obj) + " 0 R";
    }
    res += " >> ";
  }
  if (!pageImages_.empty()) {
    res += "/XObject <<";
    for (int im : pageImages_) res += " /Im" + std::to_string(im) + " " + std::to_string(im) + " 0 R";
    res += " >> ";
  }
  res += pageImages_.empty() ? "/ProcSet [/PDF /Text] >>" : "/ProcSet [/PDF /Text /ImageC] >>";
  BeginObject(page);
  Emit("<< /Type /Page /Parent " + std::to_string(groups_.back()) + " 0 R /MediaBox [0 0 " + Num(pageWidth_) + " " +
       Num(pageHeight_) + "] /Resources " + res + " /Contents " + std::to_string(contents) + " 0 R >>\nendobj\n");
}

void TZelExportToPDF::Rect(double x, double y, double w, double h, TColor fill, TColor stroke, bool doFill,
                           bool doStroke) {
  if (doFill) content_ += ColorOp(fill, false);
  if (doStroke) content_ += ColorOp(stroke, true);
  std::string& o = content_;
  AppendNum(o, x);
  o += ' ';
  AppendNum(o, y);
  o += ' ';
  AppendNum(o, w);
  o += ' ';
  AppendNum(o, h);
  o += doFill && doStroke ? " re B\n" : doFill ? " re f\n" : " re S\n";
  if (doFill) content_ += "0 g\n";
  if (doStroke) content_ += "0 G\n";
}

const TZelExportToPDF::TCharSlot& TZelExportToPDF::Slot(int fontRef, char32_t ch) {
  TFontRef& ref = *fontRefs_[static_cast<size_t>(fontRef)];
  TCharSlot& slot = ref.SlotOf(ch);
  if (slot.pdfFont >= 0) return slot;
  TFontSet& set = *ref.set;
  // Control characters (a tab) are drawn as spaces and read back as themselves.
  const char32_t shown = ch < 0x20 || ch == 0x7F ? U' ' : ch;
  int face = set.FaceFor(shown);
  uint32_t glyph = 0;
  int advance = 0;
  if (face < 0) {
    face = 0;
    advance = set.Face(0).Advance(0);
  } else {
    glyph = set.Face(face).GlyphAndAdvance(shown, advance);
  }
  const TFontFace& f = set.Face(face);
  const int pf = PdfFont(f);
  slot.code = Code(*pdfFonts_[static_cast<size_t>(pf)], f, glyph, std::u32string_view(&ch, 1));
  slot.drawAdvance = advance;
  slot.missing = glyph == 0;
  slot.pdfFont = pf;
  return slot;
}

void TZelExportToPDF::DrawLine(const TCell& c, const TCellLine& line, double baseline) {
  std::u32string_view text = std::u32string_view(c.text).substr(line.start, line.end - line.start);
  if (text.empty()) return;
  run_.clear();
  int64_t advance = 0;  // thousandths of the em
  bool plain = true;
  for (char32_t ch : text)
    if (ch >= 0x10000 || IsComplexChar(ch)) {
      plain = false;
      break;
    }
  if (plain) {
    // One glyph per character, left to right.
    TFontRef& ref = *fontRefs_[static_cast<size_t>(c.fontRef)];
    ref.SlotOf(0);
    for (char32_t ch : text) {
      const TCharSlot& known = ref.slots[ch];
      const TCharSlot& slot = known.pdfFont >= 0 ? known : Slot(c.fontRef, ch);
      if (slot.missing) ++unshownChars_;
      advance += slot.drawAdvance;
      run_.push_back({slot.pdfFont, slot.code, 0});
    }
  } else {
    TFontSet& set = *fontRefs_[static_cast<size_t>(c.fontRef)]->set;
    // Control characters (a tab) are drawn as spaces and read back as themselves.
    shown_.clear();
    for (char32_t ch : text) shown_.push_back(ch < 0x20 || ch == 0x7F ? U' ' : ch);
    set.ShapeLine(shown_, glyphs_);
    for (const TPlacedGlyph& g : glyphs_) {
      advance += g.Advance;
      const TFontFace& face = set.Face(g.Face);
      const int pf = PdfFont(face);
      if (g.Glyph == 0 && g.TextLength > 0) unshownChars_ += static_cast<int64_t>(g.TextLength);
      const uint16_t code = Code(*pdfFonts_[static_cast<size_t>(pf)], face, g.Glyph, text.substr(g.TextStart, g.TextLength));
      run_.push_back({pf, code, g.Shaped ? face.Advance(g.Glyph) - g.Advance : 0});
    }
  }
  const double width = static_cast<double>(advance) * c.size / 1000.0;
  double x = c.x0 + 2;
  if (c.alignment == taRightJustify) x = std::max(c.x0 + 2, c.x1 - 2 - width);
  else if (c.alignment == taCenter) x = std::max(c.x0 + 2, (c.x0 + c.x1 - width) / 2);
  const bool colored = Options.Has(soColorsFonts) && !IsBlack(c.fontColor);
  std::string& o = content_;
  if (!textOpen_) {
    o += "BT\n";
    textOpen_ = true;
    textX_ = textY_ = 0;
  }
  if (colored) o += ColorOp(c.fontColor, false);
  // Lines of a row share one text object; each moves from the one before.
  const int64_t tx = std::llround(x * 100), ty = std::llround((pageHeight_ / scale_ - baseline) * 100);
  AppendHundredths(o, tx - textX_);
  o += ' ';
  AppendHundredths(o, ty - textY_);
  o += " Td\n";
  textX_ = tx;
  textY_ = ty;
  EmitRun(c.size);
  if (colored) o += "0 g\n";
}

void TZelExportToPDF::EndText() {
  if (!textOpen_) return;
  content_ += "ET\n";
  textOpen_ = false;
}

void TZelExportToPDF::AppendHundredths(std::string& out, int64_t v) {
  char buf[32];
  char* p = buf;
  if (v < 0) {
    *p++ = '-';
    v = -v;
  }
  p = std::to_chars(p, buf + sizeof buf, v / 100).ptr;
  const int frac = static_cast<int>(v % 100);
  if (frac != 0) {
    *p++ = '.';
    *p++ = static_cast<char>('0' + frac / 10);
    if (frac % 10 != 0) *p++ = static_cast<char>('0' + frac % 10);
  }
  out.append(buf, p);
}

// The glyphs of run_ as strings of their fonts (the font set only where it
// changes on the page). Literal strings of the codes' bytes are half the size
// of hex ones, and so is the time to compress them.
void TZelExportToPDF::EmitRun(double size) {
  std::string& o = content_;
  size_t i = 0;
  while (i < run_.size()) {
    const int pf = run_[i].pdfFont;
    size_t j = i;
    bool adjusted = false;
    for (; j < run_.size() && run_[j].pdfFont == pf; ++j) adjusted = adjusted || run_[j].adjust != 0;
    if (pageFontUsed_.size() < pdfFonts_.size()) pageFontUsed_.resize(pdfFonts_.size(), 0);
    if (!pageFontUsed_[static_cast<size_t>(pf)]) {
      pageFontUsed_[static_cast<size_t>(pf)] = 1;
      pageFonts_.push_back(pf);
    }
    if (pf != tfFont_ || size != tfSize_) {
      o += "/F";
      o += std::to_string(pdfFonts_[static_cast<size_t>(pf)]->number);
      o += ' ';
      AppendNum(o, size);
      o += " Tf\n";
      tfFont_ = pf;
      tfSize_ = size;
    }
    o += adjusted ? "[(" : "(";
    for (size_t k = i; k < j; ++k) {
      const uint16_t code = run_[k].code;
      if (kNeedsEscape[code >> 8] || kNeedsEscape[code & 0xFF]) {
        AppendCode(o, code);
      } else {
        const char two[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        o.append(two, 2);
      }
      if (run_[k].adjust != 0) {
        o += ") ";
        o += std::to_string(run_[k].adjust);
        o += " (";
      }
    }
    o += adjusted ? ")] TJ\n" : ") Tj\n";
    i = j;
  }
}

void TZelExportToPDF::DrawSegment(double segStart, double segEnd, double rowHeight) {
  const double vh = pageHeight_ / scale_;
  const double top = y_, height = segEnd - segStart;
  auto pdfY = [&](double fromTop) { return vh - fromTop; };
  if (Options.Has(soColorsFonts))
    for (const TCell& c : cells_)
      if (!IsWhite(c.color)) Rect(c.x0, pdfY(top + height), c.x1 - c.x0, height, c.color, c.color, true, false);
  for (const TCell& c : cells_) {
    if (c.image) {
      if (1 >= segStart && 1 + c.picH <= segEnd + 0.001) {
        EndText();
        content_ += "q " + Num(c.picW) + " 0 0 " + Num(c.picH) + " " + Num(c.x0 + 2) + " " +
                    Num(pdfY(top + 1 - segStart + c.picH)) + " cm /Im" + std::to_string(c.image) + " Do Q\n";
        if (std::find(pageImages_.begin(), pageImages_.end(), c.image) == pageImages_.end())
          pageImages_.push_back(c.image);
      }
      continue;
    }
    // A line belongs to the piece it starts in (pieces end between lines unless
    // one line is taller than the page).
    for (const TCellLine& line : c.lines)
      if (line.top >= segStart - 0.001 && line.top < segEnd - 0.001)
        DrawLine(c, line, top + (line.top - segStart) + c.size * 0.8 + 1);
  }
  EndText();
  // Rules in grey: a column's rule runs on over the rows that follow.
  if (Options.Has(soColLines)) {
    double right = -1;
    for (const TCell& c : cells_) {
      if (c.fullWidth) continue;
      ColumnRule(c.x0, top, top + height);
      right = std::max(right, c.x1);
    }
    if (right >= 0) ColumnRule(right, top, top + height);
  }
  if (Options.Has(soRowLines) && segEnd >= rowHeight - 0.001)
    AppendRule(rules_, marginL_, pdfY(top + height), pageWidth_ / scale_ - marginR_, pdfY(top + height));
  // Backgrounds of the next rows would cover half of a row rule drawn later.
  if (Options.Has(soColorsFonts)) FlushRules(false);
}

void TZelExportToPDF::ColumnRule(double x, double top, double bottom) {
  for (TColumnRule& r : columnRules_) {
    if (r.x != x) continue;
    if (r.top <= top + 0.001 && r.bottom >= bottom - 0.001) return;  // drawn already
    if (std::fabs(r.bottom - top) < 0.001) {
      r.bottom = bottom;
      return;
    }
    const double vh = pageHeight_ / scale_;
    AppendRule(rules_, r.x, vh - r.bottom, r.x, vh - r.top);
    r.top = top;
    r.bottom = bottom;
    return;
  }
  columnRules_.push_back({x, top, bottom});
}

void TZelExportToPDF::FlushRules(bool endOfPage) {
  if (endOfPage) {
    const double vh = pageHeight_ / scale_;
    for (const TColumnRule& r : columnRules_) AppendRule(rules_, r.x, vh - r.bottom, r.x, vh - r.top);
    columnRules_.clear();
  }
  if (rules_.empty()) return;
  content_ += "0.753 0.753 0.753 RG\n";
  content_ += rules_;
  content_ += "S\n0 G\n";
  rules_.clear();
}

void TZelExportToPDF::AppendRule(std::string& out, double x0, double y0, double x1, double y1) {
  AppendNum(out, x0);
  out += ' ';
  AppendNum(out, y0);
  out += " m ";
  AppendNum(out, x1);
  out += ' ';
  AppendNum(out, y1);
  out += " l\n";
}

void TZelExportToPDF::EndRow() {
  if (cells_.empty()) return;
  double rowH = 20;
  for (TCell& c : cells_) {
    Layout(c);
    rowH = std::max(rowH, c.height);
  }
  if (!pageOpen_) BeginPage();
  double seg = 0;
  while (true) {
    const double avail = ContentBottom() - y_;
    if (rowH - seg <= avail + 0.001) {
      DrawSegment(seg, rowH, rowH);
      y_ += rowH - seg;
      break;
    }
    if (seg == 0 && y_ > ContentTop() + 0.001) {
      // The row goes to the next page whole.
      EndPage();
      BeginPage();
      continue;
    }
    // Taller than a page: as much as fits, never cutting a line or a picture.
    double end = seg + avail;
    for (const TCell& c : cells_) {
      if (c.image) {
        if (1 > seg && 1 < end && 1 + c.picH > end) end = std::min(end, 1.0);
        continue;
      }
      const double lh = c.size + 2;
      for (const TCellLine& line : c.lines)
        if (line.top < end && line.top + lh > end && line.top >= seg) end = std::min(end, line.top);
    }
    if (end <= seg + 0.001) end = seg + avail;
    DrawSegment(seg, end, rowH);
    seg = end;
    EndPage();
    BeginPage();
  }
  RecycleCells();
}

void TZelExportToPDF::WriteFonts() {
  const TZelEPDFSettings& s = Settings();
  for (const auto& fp : pdfFonts_) {
    const TPdfFont& f = *fp;
    const TFontFace& face = *f.face;
    // The subset's tag: six letters from the glyphs it holds.
    uint32_t hash = 2166136261u;
    for (uint32_t g : f.gids) hash = (hash ^ g) * 16777619u;
    hash ^= static_cast<uint32_t>(f.number) * 2654435761u;
    std::string tag;
    for (int k = 0; k < 6; ++k) {
      tag += static_cast<char>('A' + hash % 26);
      hash /= 26;
    }
    const std::string base = pdf::Name(tag + "+" + face.PostScriptName());
    const int cid = NewObject(), desc = NewObject(), file = NewObject(), map = NewObject(), uni = NewObject();
    BeginObject(f.obj);
    Emit("<< /Type /Font /Subtype /Type0 /BaseFont /" + base + " /Encoding /Identity-H /DescendantFonts [" +
         std::to_string(cid) + " 0 R] /ToUnicode " + std::to_string(uni) + " 0 R >>\nendobj\n");
    std::string w = "[0 [";
    for (size_t k = 0; k < f.gids.size(); ++k) {
      w += std::to_string(face.Advance(f.gids[k]));
      w += k % 16 == 15 ? '\n' : ' ';
    }
    w += "]]";
    BeginObject(cid);
    Emit("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + base +
         " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
         std::to_string(desc) + " 0 R /CIDToGIDMap " + std::to_string(map) + " 0 R /DW 1000 /W " + w +
         " >>\nendobj\n");
    int flags = 32;
    if (face.FixedPitch()) flags |= 1;
    if (face.Serif()) flags |= 2;
    if (face.Italic() || face.ItalicAngle() != 0) flags |= 64;
    const int* bb = face.BBox();
    BeginObject(desc);
    Emit("<< /Type /FontDescriptor /FontName /" + base + " /Flags " + std::to_string(flags) + " /FontBBox [" +
         std::to_string(bb[0]) + " " + std::to_string(bb[1]) + " " + std::to_string(bb[2]) + " " +
         std::to_string(bb[3]) + "] /ItalicAngle " + std::to_string(face.ItalicAngle()) + " /Ascent " +
         std::to_string(face.Ascent()) + " /Descent " + std::to_string(face.Descent()) + " /CapHeight " +
         std::to_string(face.CapHeight()) + " /StemV " + (face.Bold() ? "120" : "80") + " /FontFile2 " +
         std::to_string(file) + " 0 R >>\nendobj\n");
    const std::string program = face.Subset(f.gids);
    if (program.empty()) throw EZelExportError("The font " + face.FamilyName() + " (" + face.Path() + ") cannot be subset.");
    std::string filter;
    const std::string encoded = pdf::Encode(program, s.FontDecode, s.CompressionMethod, filter);
    BeginObject(file);
    Emit("<< /Filter /" + filter + " /Length " + std::to_string(encoded.size()) + " /Length1 " +
         std::to_string(program.size()) + " >>\nstream\n");
    Emit(encoded);
    Emit("\nendstream\nendobj\n");
    std::string gidMap;
    gidMap.reserve(f.gids.size() * 2);
    for (uint32_t g : f.gids) {
      gidMap += static_cast<char>((g >> 8) & 0xFF);
      gidMap += static_cast<char>(g & 0xFF);
    }
    WriteStreamObject(map, "/Filter /FlateDecode", Deflate(gidMap, 6));
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<size_t> mapped;
    for (size_t k = 1; k < f.texts.size(); ++k)
      if (!f.texts[k].empty()) mapped.push_back(k);
    for (size_t i = 0; i < mapped.size(); i += 100) {
      const size_t n = std::min<size_t>(100, mapped.size() - i);
      cmap += std::to_string(n) + " beginbfchar\n";
      for (size_t k = i; k < i + n; ++k) {
        cmap += '<';
        AppendHex4(cmap, static_cast<uint32_t>(mapped[k]));
        cmap += "> <";
        AppendUtf16Hex(cmap, f.texts[mapped[k]]);
        cmap += ">\n";
      }
      cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    WriteStreamObject(uni, "/Filter /FlateDecode", Deflate(cmap, 6));
  }
}

void TZelExportToPDF::WriteFileEnd() {
  if (columnX_.empty()) BeginRow();
  // A document without rows still has its one (empty) page.
  if (!pageOpen_ && pageCount_ == 0) BeginPage();
  EndPage();
  WriteFonts();
  // Document information.
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char date[32];
  std::strftime(date, sizeof date, "%Y%m%d%H%M%S", &tm);
  BeginObject(2);
  Emit("<< /Creator (Quorlin ZelExport suite)\n/CreationDate (D:" + std::string(date) + ")\n/Title " +
       pdf::LiteralString(KeyGenerator) +
       "\n/Author (ZelExport)\n/Producer (Quorlin ZelExport suite)\n/Keywords ()\n/Subject () >>\nendobj\n");
  // Page tree: the root, one node per ten pages.
  std::string kids;
  for (int g : groups_) kids += std::to_string(g) + " 0 R ";
  BeginObject(3);
  Emit("<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pageCount_) + " >>\nendobj\n");
  for (size_t g = 0; g < groups_.size(); ++g) {
    std::string list;
    const size_t first = g * 10, last = std::min(pages_.size(), first + 10);
    for (size_t p = first; p < last; ++p) list += std::to_string(pages_[p]) + " 0 R ";
    BeginObject(groups_[g]);
    Emit("<< /Type /Pages /Parent 3 0 R /Kids [ " + list + "] /Count " + std::to_string(last - first) +
         " >>\nendobj\n");
  }
  // Cross-reference table and trailer.
  const int64_t xref = offset_;
  std::string t = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f\r\n";
  Emit(t);
  std::string block;
  for (size_t n = 1; n < offsets_.size(); ++n) {
    char line[40];
    if (offsets_[n] < 0) std::snprintf(line, sizeof line, "0000000000 65535 f\r\n");
    else std::snprintf(line, sizeof line, "%010lld 00000 n\r\n", static_cast<long long>(offsets_[n]));
    block += line;
    if (block.size() > 60000) {
      Emit(block);
      block.clear();
    }
  }
  Emit(block);
  Emit("trailer\n<< /Root 1 0 R /Info 2 0 R /Size " + std::to_string(offsets_.size()) + " >>\nstartxref\n" +
       std::to_string(xref) + "\n%%EOF\n");
  offsets_.clear();
  offsets_.shrink_to_fit();
  pages_.clear();
  groups_.clear();
  ForgetPdfFonts();
}

void TZelExportToPDF::ForgetPdfFonts() {
  pdfFonts_.clear();
  pdfFontOf_.clear();
  pageFontUsed_.clear();
  lastFace_ = nullptr;
  lastPdfFont_ = -1;
  for (auto& ref : fontRefs_)
    for (TCharSlot& slot : ref->slots) slot.pdfFont = -1;
}

}  // namespace korvane
