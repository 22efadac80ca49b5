#include "export/formats/ZelE2RTF.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>

#include "export/ZelEBitmap.h"
#include "export/formats/ZelE2HTML.h"

namespace korvane {

namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// Bytes as hex digits, a line end after every 64 bytes (RTF readers skip line
// ends inside picture data). column counts the bytes of the current line.
void AppendHex(std::string& out, std::string_view bytes, const char* digits, size_t& column) {
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    if (++column == 64) {
      out += "\r\n";
      column = 0;
    }
  }
}

// A colour the writer can name: TColor values with a high byte are system or
// "no" colours.
bool RealColor(TColor c) { return (c >> 24) == 0; }

}  // namespace

// ---------------------------------------------------------------------------
// The body of the document while it is written: an unlinked temporary file.

class TZelExportToRTF::TSpool {
 public:
  TSpool() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
#ifdef O_TMPFILE
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0) {
      std::string pattern = dir + "/korvane-rtf-XXXXXX";
      fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
      if (fd_ >= 0) ::unlink(pattern.c_str());
    }
    if (fd_ < 0)
      throw EZelExportError("Could not create a temporary file in " + dir + ": " + std::strerror(errno));
    buffer_.reserve(kBuffer + 4096);
  }
  ~TSpool() {
    if (fd_ >= 0) ::close(fd_);
  }
  TSpool(const TSpool&) = delete;
  TSpool& operator=(const TSpool&) = delete;

  void Write(std::string_view s) {
    buffer_.append(s);
    if (buffer_.size() >= kBuffer) Flush();
  }
  // Copies everything written into out.
  void CopyTo(TZelEOutputStream& out) {
    Flush();
    if (::lseek(fd_, 0, SEEK_SET) != 0) Fail("read");
    std::string piece(kBuffer, '\0');
    for (;;) {
      const ssize_t n = ::read(fd_, piece.data(), piece.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("read");
      if (n == 0) break;
      out.Write(piece.data(), static_cast<size_t>(n));
    }
  }

 private:
  static constexpr size_t kBuffer = 1 << 20;
  [[noreturn]] static void Fail(const char* what) {
    throw EZelExportError(std::string("Could not ") + what + " the temporary file of the document: " +
                          std::strerror(errno));
  }
  void Flush() {
    const char* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("write");
      p += n;
      left -= static_cast<size_t>(n);
    }
    buffer_.clear();
  }
  int fd_ = -1;
  std::string buffer_;
};

// ---------------------------------------------------------------------------
// Building blocks

uint8_t TZelExportToRTF::Cp1252Byte(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<uint8_t>(cp);
  static const std::pair<uint16_t, uint8_t> kHigh[] = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
      {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
      {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
      {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
      {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};
  for (const auto& [u, b] : kHigh)
    if (u == cp) return b;
  return 0;
}

void TZelExportToRTF::AppendUnicode(std::string& out, uint32_t cp) {
  auto one = [&out](uint32_t unit, uint8_t fallback) {
    // \uN takes a signed 16-bit number; \uc1 says one fallback character follows.
    out += "\\u";
    out += std::to_string(unit > 0x7FFF ? static_cast<int>(unit) - 0x10000 : static_cast<int>(unit));
    out += "\\'";
    out += kHexLower[fallback >> 4];
    out += kHexLower[fallback & 15];
  };
  if (cp > 0xFFFF) {
    const uint32_t v = cp - 0x10000;
    one(0xD800 + (v >> 10), '?');
    one(0xDC00 + (v & 0x3FF), '?');
    return;
  }
  const uint8_t b = Cp1252Byte(cp);
  one(cp, b != 0 ? b : '?');
}

size_t TZelExportToRTF::AppendRtfText(std::string& out, std::string_view s) {
  size_t replaced = 0;
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '\\': out += "\\\\"; break;
        case '{': out += "\\{"; break;
        case '}': out += "\\}"; break;
        case '\r':
          if (i + 1 < n && s[i + 1] == '\n') ++i;
          out += "\\line ";
          break;
        case '\n': out += "\\line "; break;
        case '\t': out += "\\tab "; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            out += ' ';
            ++replaced;
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    // A UTF-8 sequence: its length by the lead byte, its continuation bytes, no
    // overlong forms, no surrogates, nothing past U+10FFFF.
    size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    bool ok = len != 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = cp << 6 | (cc & 0x3F);
    }
    if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
      ok = false;
    if (!ok) {
      AppendUnicode(out, 0xFFFD);
      ++replaced;
      ++i;
      continue;
    }
    AppendUnicode(out, cp);
    i += len;
  }
  return replaced;
}

int TZelExportToRTF::TwipsOf(double value, TZelEMeasure measure) {
  double perUnit = 20;  // points
  switch (measure) {
    case emInch: perUnit = 1440; break;
    case emCentimeters: perUnit = 567; break;
    case emPicas: perUnit = 240; break;
    case emPoint:
    default: break;
  }
  const double t = std::round(value * perUnit);
  if (!std::isfinite(t)) return 0;
  return static_cast<int>(std::clamp(t, -1e9, 1e9));
}

std::vector<int> TZelExportToRTF::CellEdges(const std::vector<int>& widths) {
  std::vector<int> edges;
  int64_t x = 36;
  for (int w : widths) {
    x += static_cast<int64_t>(std::max(w, 0)) * 13 * 20 + 10;
    edges.push_back(static_cast<int>(std::min<int64_t>(x, 1 << 30)));
  }
  return edges;
}

std::string TZelExportToRTF::MetafileOfDib(std::string_view dib, int width, int height) {
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return {};
  const uint64_t dibBytes = dib.size() + (dib.size() % 2);
  const uint64_t stretchWords = (28 + dibBytes) / 2;
  if (stretchWords > 0x7FFFFFFF) return {};
  std::string records;
  // SetMapMode(MM_ANISOTROPIC), the window at 0,0 the bitmap's size.
  Put32(records, 4);
  Put16(records, 0x0103);
  Put16(records, 8);
  Put32(records, 5);
  Put16(records, 0x020B);
  Put16(records, 0);
  Put16(records, 0);
  Put32(records, 5);
  Put16(records, 0x020C);
  Put16(records, static_cast<uint32_t>(height));
  Put16(records, static_cast<uint32_t>(width));
  // StretchDIB: the whole bitmap onto the whole window, SRCCOPY, RGB colours.
  Put32(records, static_cast<uint32_t>(stretchWords));
  Put16(records, 0x0F43);
  Put32(records, 0x00CC0020);
  Put16(records, 0);
  const auto h = static_cast<uint32_t>(height), w = static_cast<uint32_t>(width);
  for (uint32_t v : {h, w, 0u, 0u, h, w, 0u, 0u}) Put16(records, v);
  records.append(dib);
  if (dib.size() % 2) records += '\0';
  // End of file.
  Put32(records, 3);
  Put16(records, 0);
  std::string wmf;
  Put16(wmf, 1);       // in memory
  Put16(wmf, 9);       // header words
  Put16(wmf, 0x0300);  // version
  Put32(wmf, static_cast<uint32_t>((18 + records.size()) / 2));
  Put16(wmf, 0);  // objects
  Put32(wmf, static_cast<uint32_t>(stretchWords));
  Put16(wmf, 0);
  return wmf + records;
}

// ---------------------------------------------------------------------------

TZelExportToRTF::TZelExportToRTF() {
  FileName = "ZelExport.RTF";
  SetTableType(teRTF);
}

TZelExportToRTF::~TZelExportToRTF() = default;

const TZelERTFOptions& TZelExportToRTF::RTFOptionsValue() const {
  static const TZelERTFOptions defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelERTFOptions>*>(FormatSettings.Find(teRTF));
  return s ? s->Value : defaults;
}

void TZelExportToRTF::BeginExecute() {
  run_ = RTFOptionsValue();
  changedValues_ = 0;
  unreadPictures_ = 0;
  pictureErrors_.clear();
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToRTF::EndExecute() {
  if (changedValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d values held control characters or bytes that are no UTF-8, which a Rich Text document cannot hold: "
        "they were written as spaces or U+FFFD.",
        {std::to_string(changedValues_)}));
  for (const std::string& e : pictureErrors_) Statistic.Notes.push_back(e + " Its value was written as text.");
  if (unreadPictures_ > static_cast<int64_t>(pictureErrors_.size()))
    Statistic.Notes.push_back(ZelEFormat("%d further pictures could not be read either; their values were written as text.",
                                         {std::to_string(unreadPictures_ - static_cast<int64_t>(pictureErrors_.size()))}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToRTF::Changed(size_t replaced) {
  if (replaced > 0) cellChanged_ = true;
}

void TZelExportToRTF::Body(std::string_view s) {
  if (capture_) capture_->append(s);
  else if (spool_) spool_->Write(s);
}

void TZelExportToRTF::WriteString(std::string_view text) {
  if (spooling_) Body(text);
  else TZelExportToCellFile::WriteString(text);
}

int TZelExportToRTF::FontNumber(const std::string& name) {
  for (size_t i = 0; i < fonts_.size(); ++i)
    if (fonts_[i] == name) return static_cast<int>(i);
  fonts_.push_back(name);
  return static_cast<int>(fonts_.size() - 1);
}

int TZelExportToRTF::ColorNumber(TColor color) {
  const std::string entry = "\\red" + std::to_string(color & 0xFF) + "\\green" + std::to_string((color >> 8) & 0xFF) +
                            "\\blue" + std::to_string((color >> 16) & 0xFF) + ";";
  for (size_t i = 0; i < colors_.size(); ++i)
    if (colors_[i] == entry) return static_cast<int>(i + 1);
  colors_.push_back(entry);
  return static_cast<int>(colors_.size());
}

void TZelExportToRTF::WriteFileBegin() {
  fonts_.clear();
  colors_.clear();
  widths_.clear();
  reversed_.clear();
  capture_ = nullptr;
  rowOpen_ = tableStarted_ = false;
  rowIndex_ = cellsDefined_ = cellsWritten_ = 0;
  spooling_ = false;
  spool_ = std::make_unique<TSpool>();
  WriteString("{\\rtf1\\ansi\\ansicpg1252\\uc1\r\n");
  spooling_ = true;

  std::string s, generator;
  AppendRtfText(generator, KeyGenerator);
  s += "{\\*\\generator " + generator + ";}";
  s += "{\\info{\\operator " + generator + "}";
  s += "{\\*\\company Quorlin Software}";
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  s += "{\\creatim\\yr" + std::to_string(tm.tm_year + 1900) + "\\mo" + std::to_string(tm.tm_mon + 1) + "\\dy" +
       std::to_string(tm.tm_mday);
  if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0)
    s += "\\hr" + std::to_string(tm.tm_hour) + "\\min" + std::to_string(tm.tm_min);
  s += "}";
  s += "{\\title " + generator + "}";
  s += "}\r\n";
  s += "{\\header \\pard\\plain {" + generator + " \\par }}\r\n";
  if (!PageSetup.UseDefault) {
    const TZelEMeasure m = PageSetup.Measure;
    s += "\\margl" + std::to_string(TwipsOf(PageSetup.LeftMargin, m)) + "\\margr" +
         std::to_string(TwipsOf(PageSetup.RightMargin, m)) + "\\margt" + std::to_string(TwipsOf(PageSetup.TopMargin, m)) +
         "\\margb" + std::to_string(TwipsOf(PageSetup.BottomMargin, m)) + "\r\n";
  }
  // The width of the page's text: the paper (A4 with an orientation, else the
  // readers' US Letter) less the margins (the readers' 1.25 inches by default).
  const int paper = PageSetup.Orientation == emPortrait ? 11907 : PageSetup.Orientation == emLandscape ? 16840 : 12240;
  const int margins = PageSetup.UseDefault ? 2 * 1800
                                           : TwipsOf(PageSetup.LeftMargin, PageSetup.Measure) +
                                                 TwipsOf(PageSetup.RightMargin, PageSetup.Measure);
  textWidth_ = std::max(paper - margins - 36, 1440);
  if (PageSetup.Orientation == emPortrait) s += "\\paperw11907\\paperh16840\r\n";
  else if (PageSetup.Orientation == emLandscape) s += "\\paperw16840\\paperh11907\\landscape\r\n";
  Body(s);
  TZelExportToCellFile::WriteFileBegin();
}

void TZelExportToRTF::WriteDimension(int rowCount, int colCount) {
  TZelExportToCellFile::WriteDimension(rowCount, colCount);
  widths_.assign(static_cast<size_t>(std::max(colCount, 0)), 0);
}

void TZelExportToRTF::WriteColumnWidth(int col, int width) {
  TZelExportToCellFile::WriteColumnWidth(col, width);
  if (col >= 0 && col < static_cast<int>(widths_.size())) widths_[static_cast<size_t>(col)] = width;
}

void TZelExportToRTF::BeginTable() {
  TZelExportToCellFile::BeginTable();
  // A detail level's rows go into the table of the main level.
  if (Statistic.LevelNumber != 0 || tableStarted_) return;
  tableStarted_ = true;
  Body("\\par\r\n");
}

void TZelExportToRTF::EndTable() {
  if (Statistic.LevelNumber == 0 && tableStarted_) {
    if (!reversed_.empty()) FlushReversed();
    tableStarted_ = false;
    Body("\\pard\r\n");
  }
  TZelExportToCellFile::EndTable();
}

std::vector<int> TZelExportToRTF::RowWidths() const {
  constexpr int kDefaultWidth = 10;
  auto width = [&](size_t i) {
    return i < widths_.size() && widths_[i] > 0 ? widths_[i] : kDefaultWidth;
  };
  std::vector<int> out;
  if (Layout == elTabularForm) {
    // A title cell (and the blank one after it) before each value.
    size_t n = 1;
    if (TitleRows() > 0) ++n;
    if (TitleRows() > 1 && Options.Has(soBlankRowAfterCaptions)) ++n;
    for (size_t i = 0; i < n; ++i) out.push_back(width(i));
    return out;
  }
  const TZelEColumns& columns = CurrentColumns();
  const bool detail = CurrentDetailLevel() != nullptr;
  size_t k = 0;
  for (int i = 0; i < columns.Count(); ++i) {
    if (!IsExported(columns[i])) continue;
    out.push_back(detail ? (columns[i].Width > 0 ? columns[i].Width : kDefaultWidth) : width(k));
    ++k;
  }
  return out;
}

void TZelExportToRTF::RowDefinition(const std::vector<int>& widths) {
  std::string s = "\\trowd\\irow" + std::to_string(rowIndex_) + "\\trautofit1\\trql\\trgaph0\\trleft36\r\n";
  std::vector<int> edges = CellEdges(widths);
  // A table wider than the page's text is narrowed to it: what lies past the
  // paper's edge is not printed.
  if (!edges.empty() && edges.back() - 36 > textWidth_) {
    const double scale = static_cast<double>(textWidth_) / (edges.back() - 36);
    for (int& x : edges) x = 36 + static_cast<int>(std::lround((x - 36) * scale));
  }
  for (int x : edges)
    s += "\\clbrdrl\\brdrs\\brdrw10 \\clbrdrr\\brdrs\\brdrw10 \\clbrdrt\\brdrs\\brdrw10 \\clbrdrb\\brdrs\\brdrw10 \\cellx" +
         std::to_string(x) + "\r\n";
  Body(s);
  rowEdges_ = edges;
  cellsDefined_ = static_cast<int>(widths.size());
  cellsWritten_ = 0;
}

int TZelExportToRTF::CellRoom() const {
  if (Layout == elReversedColumnar || cellsWritten_ < 0 || cellsWritten_ >= static_cast<int>(rowEdges_.size()))
    return textWidth_ - 60;
  const int left = cellsWritten_ == 0 ? 36 : rowEdges_[static_cast<size_t>(cellsWritten_) - 1];
  return std::max(rowEdges_[static_cast<size_t>(cellsWritten_)] - left - 60, 150);
}

void TZelExportToRTF::BeginRow() {
  if (!InTable()) {
    // A header or footer line: a paragraph of its own.
    Body("\\pard\\plain ");
    return;
  }
  if (Layout == elReversedColumnar) return;
  RowDefinition(RowWidths());
  rowOpen_ = true;
}

void TZelExportToRTF::EndRow() {
  if (!InTable()) {
    Body(" \\par\r\n");
    return;
  }
  if (!rowOpen_) return;
  rowOpen_ = false;
  std::string s;
  for (; cellsWritten_ < cellsDefined_; ++cellsWritten_) s += "\\pard\\intbl {}\\cell\r\n";
  if (cellsDefined_ > 0) {
    s += "\\row\r\n";
    ++rowIndex_;
  }
  Body(s);
}

void TZelExportToRTF::FlushReversed() {
  // Each exported column is a row: its title and a cell per record, in the
  // order of the output columns the cells were given (header lines count among
  // those, so the numbers need not start at 0).
  std::set<int> columns;
  for (const auto& [row, cells] : reversed_)
    for (const auto& [col, text] : cells) columns.insert(col);
  std::vector<int> widths;
  for (size_t i = 0; i < columns.size(); ++i) widths.push_back(i < widths_.size() && widths_[i] > 0 ? widths_[i] : 10);
  for (const auto& [row, cells] : reversed_) {
    RowDefinition(widths);
    for (int c : columns) {
      auto it = cells.find(c);
      Body(it != cells.end() ? std::string_view(it->second) : std::string_view("\\pard\\intbl {}\\cell\r\n"));
    }
    Body("\\row\r\n");
    ++rowIndex_;
  }
  reversed_.clear();
}

void TZelExportToRTF::OpenCell(TAlignment alignment) {
  cell_ = "\\pard\\intbl\\li30\\ri30";
  if (alignment == taRightJustify) cell_ += "\\qr";
  else if (alignment == taCenter) cell_ += "\\qc";
}

void TZelExportToRTF::WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                                      TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteMergedData(cellType, row, col, mergeCount, text, alignment, font, color);
  // The cells the caption spans stay empty.
  if (InTable() && Layout != elReversedColumnar)
    for (int i = 1; i < mergeCount; ++i) {
      Body("\\pard\\intbl {}\\cell\r\n");
      ++cellsWritten_;
    }
}

void TZelExportToRTF::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  cellChanged_ = false;
  const bool streamed = field && field == StreamedBlob();
  if (!InTable()) {
    // Header and footer lines.
    cell_ = "{";
    Changed(AppendRtfText(cell_, text));
    cell_ += "}";
    Body(cell_);
  } else {
    if (Layout == elReversedColumnar) {
      capture_ = &reversed_[row][col];
      capture_->clear();
    } else if (rowOpen_ && cellsWritten_ >= cellsDefined_) {
      // More cells than the row was defined with: they go on in a row of their own.
      Body("\\row\r\n");
      ++rowIndex_;
      RowDefinition(RowWidths());
    }
    OpenCell(alignment);
    const bool picture = field && field->DataType() == ftGraphic && CellNativeValue().kind == TZelECellValue::cvBlob;
    if (picture) {
      Body(cell_);
      cell_.clear();
      if (!WritePicture(*field, streamed)) {
        Body("{");
        CellText(text, streamed, field);
        Body("}");
      }
    } else {
      cell_ += "{";
      bool props = false;
      if (Options.Has(soColorsFonts)) {
        if (font) {
          cell_ += "\\f" + std::to_string(FontNumber(font->Name)) + "\\fs" + std::to_string(std::max(font->Size, 1) * 2);
          if (font->Italic) cell_ += "\\i";
          if (font->Bold) cell_ += "\\b";
          if (font->Underline) cell_ += "\\ul";
          if (font->StrikeOut) cell_ += "\\strike";
          props = true;
        }
        if (RealColor(color) && color != clWhite) {
          cell_ += "\\highlight" + std::to_string(ColorNumber(color));
          props = true;
        }
        // Black is the text's own colour; any other (white too) is named.
        if (font && RealColor(font->Color) && font->Color != clBlack) {
          cell_ += "\\cf" + std::to_string(ColorNumber(font->Color));
          props = true;
        }
      }
      if (props) cell_ += ' ';
      Body(cell_);
      cell_.clear();
      CellText(text, streamed, field);
      Body("}");
    }
    Body("\\cell\r\n");
    ++cellsWritten_;
    capture_ = nullptr;
  }
  if (cellChanged_) {
    ++changedValues_;
    ++Statistic.TotalErrors;
  }
}

void TZelExportToRTF::CellText(std::string_view text, bool streamed, const TField* field) {
  if (!streamed || !field) {
    cell_.clear();
    Changed(AppendRtfText(cell_, text));
    Body(cell_);
    return;
  }
  // A long BLOB in pieces; a CR that ends a piece waits for its LF.
  std::string pending;
  auto write = [&](size_t upTo) {
    cell_.clear();
    Changed(AppendRtfText(cell_, std::string_view(pending).substr(0, upTo)));
    pending.erase(0, upTo);
    Body(cell_);
  };
  ReadBlobText(*field, [&](std::string_view piece) {
    pending.append(piece);
    if (!pending.empty()) write(pending.back() == '\r' ? pending.size() - 1 : pending.size());
  });
  if (!pending.empty()) write(pending.size());
}

bool TZelExportToRTF::WritePicture(const TField& field, bool streamed) {
  // The BLOB's bytes, whole or in pieces.
  std::string whole;
  std::function<void(const std::function<void(std::string_view)>&)> feed;
  if (streamed) {
    feed = [&](const std::function<void(std::string_view)>& sink) { ReadBlobBytes(field, sink); };
  } else {
    std::unique_ptr<TMemoryStream> s = field.DataSet().CreateBlobStream(field, bmRead);
    if (!s) return false;
    whole = s->Data();
    feed = [&](const std::function<void(std::string_view)>& sink) { sink(whole); };
  }
  // Its first bytes (headers and colour table) and its length.
  constexpr size_t kHead = TZelEBitmap::kHeadBytes;
  std::string head;
  uint64_t length = 0;
  if (streamed) {
    feed([&](std::string_view piece) {
      if (head.size() < kHead) head.append(piece.substr(0, std::min(piece.size(), kHead - head.size())));
      length += piece.size();
    });
  } else {
    length = whole.size();
  }
  const std::string_view start = streamed ? std::string_view(head) : std::string_view(whole);
  std::string_view image;
  TZelEPictureInfo info;
  if (!GraphicImage(start, image, info)) return false;
  const uint64_t lead = start.size() - image.size();  // the graphic leader, when there is one
  const uint64_t imageLength = length - lead;

  // The byte ranges of the BLOB that make the picture data.
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  std::string kind;
  int width = info.Width, height = info.Height;
  uint64_t padding = 0;  // zero bytes that complete the bitmap's last row
  if (info.Extension == ".bmp") {
    // The device-independent bitmap: the file without its 14-byte header.
    TZelEBitmap bmp;
    std::string why;
    if (!bmp.ParseHead(image, imageLength, why)) {
      // Its value is written as text instead: counted, and named in the notes.
      ++unreadPictures_;
      ++Statistic.TotalErrors;
      if (pictureErrors_.size() < kNamedPictureErrors) pictureErrors_.push_back(PictureError(&field, -1, why).Message());
      return false;
    }
    const TZelEBitmap::TDibLayout& dib = bmp.DibLayout();
    kind = "\\dibitmap0";
    width = bmp.Width();
    height = bmp.Height();
    ranges.push_back({lead + dib.HeaderStart, lead + dib.HeaderStart + dib.HeaderLength});
    ranges.push_back({lead + dib.BitsStart, lead + dib.BitsStart + dib.BitsLength});
    padding = dib.Padding;
  } else if (info.Extension == ".png" || info.Extension == ".jpg" || info.Extension == ".emf") {
    kind = info.Extension == ".png" ? "\\pngblip" : info.Extension == ".jpg" ? "\\jpegblip" : "\\emfblip";
    ranges.push_back({lead, length});
  } else if (info.Extension == ".wmf" && imageLength > 22) {
    kind = "\\wmetafile8";
    ranges.push_back({lead + 22, length});  // without the placeable header
  } else {
    return false;
  }
  // Shown at 96 pixels per inch, made smaller where the cell is narrower.
  int64_t goalW = int64_t{width} * 15, goalH = int64_t{height} * 15;
  const int room = CellRoom();
  if (room > 0 && goalW > room) {
    goalH = std::max<int64_t>(1, goalH * room / goalW);
    goalW = room;
  }
  auto sizeWords = [&](int w, int h) {
    std::string s;
    if (w > 0 && h > 0)
      s = "\\picw" + std::to_string(w) + "\\pich" + std::to_string(h) + "\\picwgoal" + std::to_string(goalW) +
          "\\pichgoal" + std::to_string(goalH);
    return s;
  };
  // The metafile alternative holds the bitmap once more; it is made for
  // bitmaps read whole.
  std::string wmf;
  if (run_.CreateUnlikedPictureType && kind == "\\dibitmap0" && !streamed) {
    std::string packed = whole.substr(ranges[0].first, ranges[0].second - ranges[0].first);
    packed += whole.substr(ranges[1].first, ranges[1].second - ranges[1].first);
    packed.append(padding, '\0');
    wmf = MetafileOfDib(packed, width, height);
  }
  std::string s = wmf.empty() ? "{" : "{{\\*\\shppict";
  s += "{\\pict" + sizeWords(width, height) + kind + "\r\n";
  Body(s);
  // The data as upper-case hex, piece by piece.
  uint64_t pos = 0;
  size_t column = 0;
  std::string hex;
  feed([&](std::string_view piece) {
    const uint64_t start = pos, end = pos + piece.size();
    pos = end;
    hex.clear();
    for (const auto& [from, to] : ranges) {
      const uint64_t a = std::max(from, start), b = std::min(to, end);
      if (a < b) AppendHex(hex, piece.substr(a - start, b - a), kHexUpper, column);
    }
    Body(hex);
  });
  if (padding > 0) {
    hex.clear();
    AppendHex(hex, std::string(padding, '\0'), kHexUpper, column);
    Body(hex);
  }
  s = "}";
  if (!wmf.empty()) {
    s += "}{\\nonshppict{\\pict" + sizeWords(width, height) + "\\wmetafile8\\blipupi96\r\n";
    column = 0;
    AppendHex(s, wmf, kHexLower, column);
    s += "}}}";
  } else {
    s += "}";
  }
  Body(s);
  return true;
}

void TZelExportToRTF::WriteFileEnd() {
  Body("\\par}");
  spooling_ = false;
  // The font and colour tables, in lines of at most 254 characters.
  auto table = [this](const std::string& start, const std::vector<std::string>& entries) {
    std::string out, line = start;
    for (const std::string& e : entries) {
      if (line.size() + e.size() > 254 && !line.empty()) {
        out += line + "\r\n";
        line.clear();
      }
      line += e;
    }
    out += line + "}\r\n";
    WriteString(out);
  };
  std::vector<std::string> fonts;
  for (size_t i = 0; i < fonts_.size(); ++i) {
    std::string name;
    AppendRtfText(name, fonts_[i]);
    fonts.push_back("{\\f" + std::to_string(i) + "\\fnil " + name + ";}");
  }
  table("{\\fonttbl", fonts);
  table("{\\colortbl;", colors_);
  if (spool_ && Stream()) spool_->CopyTo(*Stream());
  spool_.reset();
  TZelExportToCellFile::WriteFileEnd();
}

void TZelExportToRTF::CloseFile() {
  TZelExportToCellFile::CloseFile();
  // A run that failed leaves the body unwritten.
  spool_.reset();
  spooling_ = false;
  capture_ = nullptr;
  reversed_.clear();
}

}  // namespace korvane
