#include "export/formats/ZelE2HTML.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "export/ZelEEscape.h"

namespace korvane {

namespace {

// Pictures kept open (uncommitted) before a batch of them is put in place.
constexpr size_t kPicturesPerBatch = 64;

uint32_t Le16(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}
uint32_t Le32(std::string_view b, size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
uint32_t Be16(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1]));
}
uint32_t Be32(std::string_view b, size_t at) { return Be16(b, at) << 16 | Be16(b, at + 2); }

bool StartsWith(std::string_view b, std::string_view sig) { return b.substr(0, sig.size()) == sig; }

// A size a page can use: 1 to 65535 pixels, else "unknown".
int Pixels(int64_t v) { return v >= 1 && v <= 65535 ? static_cast<int>(v) : 0; }

// Walks the markers of a JPEG image fed in pieces, up to the frame header that
// gives its size. Only the bytes of the marker being looked at are kept.
class TJpegWalk {
 public:
  // last: no bytes follow these.
  void Feed(std::string_view piece, bool last) {
    if (done_) return;
    if (skip_ > 0) {
      const size_t k = static_cast<size_t>(std::min<uint64_t>(skip_, piece.size()));
      piece.remove_prefix(k);
      skip_ -= k;
    }
    win_.append(piece);
    size_t at = 0;
    while (!done_) {
      if (skip_ > 0) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(skip_, win_.size() - at));
        at += k;
        skip_ -= k;
        if (skip_ > 0) break;
      }
      const std::string_view b(win_.data() + at, win_.size() - at);
      // Every step looks at no more than 9 bytes: with fewer, wait for more.
      if (!last && b.size() < 9) break;
      if (b.size() < 4 || static_cast<unsigned char>(b[0]) != 0xFF) {
        done_ = true;
        break;
      }
      const unsigned char marker = static_cast<unsigned char>(b[1]);
      if (marker == 0xFF) {  // fill byte
        ++at;
        continue;
      }
      if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
        at += 2;
        continue;
      }
      const uint32_t len = Be16(b, 2);
      if (len < 2) {
        done_ = true;
        break;
      }
      const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
      if (sof) {
        if (b.size() >= 9) {
          height_ = Pixels(Be16(b, 5));
          width_ = Pixels(Be16(b, 7));
        }
        done_ = true;
        break;
      }
      skip_ = 2 + uint64_t{len};
    }
    if (done_) win_.clear();
    else win_.erase(0, at);
  }
  void SizeInto(TZelEPictureInfo& info) const {
    info.Width = width_;
    info.Height = height_;
  }

 private:
  uint64_t skip_ = 2;  // bytes to pass before the next marker
  std::string win_;
  bool done_ = false;
  int width_ = 0;
  int height_ = 0;
};

void JpegSize(std::string_view b, TZelEPictureInfo& info) {
  TJpegWalk walk;
  walk.Feed(b, true);
  walk.SizeInto(info);
}

// Whether a code point has no place in an HTML page (NUL aside).
bool NotInHtml(uint32_t cp) {
  if (cp < 0x20) return cp != '\t' && cp != '\n' && cp != '\f' && cp != '\r';
  if (cp >= 0x7F && cp <= 0x9F) return true;
  if (cp >= 0xFDD0 && cp <= 0xFDEF) return true;
  return (cp & 0xFFFE) == 0xFFFE;
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

const char* AlignmentAttribute(TAlignment a) {
  switch (a) {
    case taRightJustify: return "align=\"right\"";
    case taCenter: return "align=\"center\"";
    default: return "";
  }
}

void AddAttribute(std::string& attrs, const std::string& a) {
  if (a.empty()) return;
  if (!attrs.empty()) attrs += ' ';
  attrs += a;
}

// An attribute text handed in by an event, as it goes after an element's name.
std::string Spaced(const std::string& attrs) {
  if (attrs.empty() || attrs[0] == ' ') return attrs;
  return " " + attrs;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The page's name without folder and extension.
std::string StemOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace

TZelEPictureInfo InspectPicture(std::string_view b) {
  TZelEPictureInfo info;
  if (b.size() >= 26 && StartsWith(b, "BM")) {
    info.Extension = ".bmp";
    uint32_t header = Le32(b, 14);
    if (header == 12) {
      info.Width = Pixels(Le16(b, 18));
      info.Height = Pixels(Le16(b, 20));
    } else {
      int32_t w = static_cast<int32_t>(Le32(b, 18));
      int32_t h = static_cast<int32_t>(Le32(b, 22));
      info.Width = Pixels(w);
      info.Height = Pixels(h < 0 ? -static_cast<int64_t>(h) : h);  // negative: stored top-down
    }
  } else if (b.size() >= 24 && StartsWith(b, "\x89PNG\r\n\x1A\n")) {
    info.Extension = ".png";
    if (b.substr(12, 4) == "IHDR") {
      info.Width = Pixels(Be32(b, 16));
      info.Height = Pixels(Be32(b, 20));
    }
  } else if (b.size() >= 10 && (StartsWith(b, "GIF87a") || StartsWith(b, "GIF89a"))) {
    info.Extension = ".gif";
    info.Width = Pixels(Le16(b, 6));
    info.Height = Pixels(Le16(b, 8));
  } else if (b.size() >= 4 && StartsWith(b, "\xFF\xD8\xFF")) {
    info.Extension = ".jpg";
    JpegSize(b, info);
  } else if (b.size() >= 8 && (StartsWith(b, std::string_view("II*\0", 4)) || StartsWith(b, std::string_view("MM\0*", 4)))) {
    info.Extension = ".tif";
  } else if (b.size() >= 22 && StartsWith(b, std::string_view("\0\0\1\0", 4)) && Le16(b, 4) > 0) {
    info.Extension = ".ico";
    unsigned char w = static_cast<unsigned char>(b[6]), h = static_cast<unsigned char>(b[7]);
    info.Width = w == 0 ? 256 : w;
    info.Height = h == 0 ? 256 : h;
  } else if (b.size() >= 44 && Le32(b, 0) == 1 && b.substr(40, 4) == " EMF") {
    info.Extension = ".emf";
    int64_t l = static_cast<int32_t>(Le32(b, 8)), t = static_cast<int32_t>(Le32(b, 12));
    int64_t r = static_cast<int32_t>(Le32(b, 16)), bt = static_cast<int32_t>(Le32(b, 20));
    info.Width = Pixels(r - l + 1);
    info.Height = Pixels(bt - t + 1);
  } else if (b.size() >= 22 && Le32(b, 0) == 0x9AC6CDD7u) {
    // A placeable metafile: its box in units of 1/inch of an inch, shown at 96 dpi.
    info.Extension = ".wmf";
    int64_t l = static_cast<int16_t>(Le16(b, 6)), t = static_cast<int16_t>(Le16(b, 8));
    int64_t r = static_cast<int16_t>(Le16(b, 10)), bt = static_cast<int16_t>(Le16(b, 12));
    int64_t inch = Le16(b, 14);
    if (inch > 0) {
      info.Width = Pixels((r - l) * 96 / inch);
      info.Height = Pixels((bt - t) * 96 / inch);
    }
  }
  return info;
}

bool GraphicImage(std::string_view blob, std::string_view& image, TZelEPictureInfo& info) {
  if (blob.size() > 8) {
    info = InspectPicture(blob.substr(8));
    if (!info.Extension.empty()) {
      image = blob.substr(8);
      return true;
    }
  }
  info = InspectPicture(blob);
  if (info.Extension.empty()) return false;
  image = blob;
  return true;
}

// ---------------------------------------------------------------------------

TZelExportToHTML::TZelExportToHTML() {
  AddTitle = true;
  FileName = "ZelExport.HTM";
  SetTableType(teHTML);
}

TZelExportToHTML::~TZelExportToHTML() {
  // Pictures of a run that never ended are thrown away with their streams.
}

const TZelEHTMLSettings& TZelExportToHTML::Settings() const {
  static const TZelEHTMLSettings defaults;
  auto* s = dynamic_cast<const TZelESettingsOf<TZelEHTMLSettings>*>(FormatSettings.Find(teHTML));
  return s ? s->Value : defaults;
}

std::string TZelExportToHTML::ColorAttribute(TColor color, bool background) {
  // TColor holds blue in its high byte: 00BBGGRR.
  uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  if (r == 0 && g == 0 && b == 0) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string s = background ? "bgcolor=\"#" : "color=\"#";
  for (uint32_t v : {r, g, b}) {
    s += kHex[v >> 4];
    s += kHex[v & 15];
  }
  s += '"';
  return s;
}

std::string TZelExportToHTML::HtmlFontSize(int points) {
  if (points >= 6 && points <= 7) return "1";
  if (points >= 8 && points <= 9) return "2";
  if (points >= 14 && points <= 17) return "4";
  if (points >= 18 && points <= 23) return "5";
  if (points >= 24 && points <= 35) return "6";
  return {};
}

std::string TZelExportToHTML::FontMarkup(const std::string& text, const TFontSpec& font) {
  std::string before, after;
  FontMarkupAround(font, before, after);
  return before + text + after;
}

void TZelExportToHTML::FontMarkupAround(const TFontSpec& font, std::string& before, std::string& after) {
  before = "<font";
  if (font.Name != "MS Sans Serif" && !font.Name.empty()) {
    before += " face=\"";
    AppendHtmlEscaped(before, font.Name);
    before += '"';
  }
  std::string size = HtmlFontSize(font.Size);
  if (!size.empty()) before += " size=" + size;
  std::string color = ColorAttribute(font.Color, false);
  if (!color.empty()) before += " " + color;
  before += '>';
  after.clear();
  if (font.Bold) before += "<b>";
  if (font.Italic) before += "<i>";
  if (font.Underline) before += "<u>";
  if (font.Underline) after += "</u>";
  if (font.Italic) after += "</i>";
  if (font.Bold) after += "</b>";
  after += "</font>";
}

size_t TZelExportToHTML::AppendHtmlText(std::string& out, std::string_view text) {
  size_t changed = 0;
  size_t plain = 0;  // start of the run of characters not yet written
  auto flush = [&](size_t end) {
    if (end > plain) AppendHtmlEscaped(out, text.substr(plain, end - plain));
  };
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t n = DecodeUtf8(text, i, cp);
    if (n != 0 && !NotInHtml(cp) && cp != 0) {
      i += n;
      continue;
    }
    flush(i);
    ++changed;
    if (n == 0 || cp != 0) out += "\xEF\xBF\xBD";  // U+FFFD; NUL is left out
    i += n == 0 ? 1 : n;
    plain = i;
  }
  flush(text.size());
  return changed;
}

std::string TZelExportToHTML::UrlOfName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

void TZelExportToHTML::TemplateLines(std::vector<std::string>& lines) const {
  lines.clear();
  if (run_.HTMLPattern.empty()) {
    std::string title;
    AppendHtmlEscaped(title, const_cast<TZelExportToHTML*>(this)->GetLanguageString(6));
    lines = {"<!DOCTYPE html>",
             "<html>",
             "<head>",
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">",
             "<meta name=\"GENERATOR\" content=\"ZelExport 4.99\">",
             "<title>" + title + "</title>",
             "</head>",
             "",
             "<body bgcolor=\"#FFFFFF\">",
             "</body>",
             "</html>"};
    return;
  }
  size_t start = 0;
  const std::string& p = run_.HTMLPattern;
  while (start <= p.size()) {
    size_t lf = p.find('\n', start);
    size_t end = lf == std::string::npos ? p.size() : lf;
    std::string line = p.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lf == std::string::npos) {
      if (!line.empty()) lines.push_back(line);
      break;
    }
    lines.push_back(line);
    start = lf + 1;
  }
}

void TZelExportToHTML::BeginExecute() {
  run_ = Settings();
  changedValues_ = 0;
  pictureCounter_ = 1;
  pictureFolder_.clear();
  picturesPending_.clear();
  pictures_.clear();
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToHTML::EndExecute() {
  if (changedValues_ > 0)
    Statistic.Notes.push_back(ZelEFormat(
        "%d values held characters an HTML page cannot hold: NUL bytes were left out, other control "
        "characters and bytes that are no UTF-8 written as U+FFFD.",
        {std::to_string(changedValues_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelExportToHTML::WriteFileBegin() {
  TZelExportToCellFile::WriteFileBegin();
  lastColumn_ = -1;
  pendingSpan_.clear();
  rowOpen_ = false;
  tablesOpen_ = 0;
  TemplateLines(template_);
  templateLine_ = 0;
  std::string out;
  for (; templateLine_ < template_.size(); ++templateLine_) {
    const std::string& line = template_[templateLine_];
    size_t body = UpperAscii(line).find("</BODY>");
    if (body != std::string::npos) {
      out.append(line, 0, body);
      out += "\r\n";
      break;
    }
    out += line;
    out += "\r\n";
  }
  WriteString(out);
}

void TZelExportToHTML::WriteFileEnd() {
  TZelExportToCellFile::WriteFileEnd();
  std::string out;
  for (size_t i = templateLine_; i < template_.size(); ++i) {
    const std::string& line = template_[i];
    size_t body = i == templateLine_ ? UpperAscii(line).find("</BODY>") : std::string::npos;
    out.append(line, body == std::string::npos ? 0 : body);
    out += "\r\n";
  }
  templateLine_ = template_.size();
  WriteString(out);
}

void TZelExportToHTML::WriteDimension(int rowCount, int colCount) {
  TZelExportToCellFile::WriteDimension(rowCount, colCount);
  widths_.assign(colCount > 0 ? static_cast<size_t>(colCount) : 0, 0);
}

void TZelExportToHTML::WriteColumnWidth(int col, int width) {
  TZelExportToCellFile::WriteColumnWidth(col, width);
  if (col >= 0 && col < static_cast<int>(widths_.size())) widths_[static_cast<size_t>(col)] = width;
}

void TZelExportToHTML::BeginTable() {
  TZelExportToCellFile::BeginTable();
  std::string attrs =
      Options.Has(soColLines) || Options.Has(soRowLines) ? "border=\"1\"" : "border=\"0\"";
  if (OnGetExtHTMLTableParamsEvent) OnGetExtHTMLTableParamsEvent(*this, attrs);
  std::string out;
  if (const TZelEDataLevel* level = CurrentDetailLevel()) {
    // A detail table sits in a row of its own below its master record.
    if (rowOpen_) {
      out += "</tr>\r\n";
      rowOpen_ = false;
    }
    const int shift = std::max(0, level->ShiftCount);
    out += "<tr>";
    for (int i = 0; i < shift; ++i) out += "<td>&nbsp;</td>";
    out += "<td colspan=\"" + std::to_string(std::max(1, ExportedColumnCount() - shift)) + "\">\r\n";
  }
  out += "<table" + Spaced(attrs) + ">\r\n";
  ++tablesOpen_;
  WriteString(out);
}

void TZelExportToHTML::EndTable() {
  const bool detail = CurrentDetailLevel() != nullptr;
  TZelExportToCellFile::EndTable();
  if (tablesOpen_ == 0) return;
  --tablesOpen_;
  std::string out;
  if (rowOpen_) {
    out += "</tr>\r\n";
    rowOpen_ = false;
  }
  out += "</table>\r\n\r\n";
  if (detail) out += "</td></tr>\r\n";
  WriteString(out);
}

void TZelExportToHTML::BeginRow() {
  TZelExportToCellFile::BeginRow();
  if (!InTable()) return;
  std::string attrs;
  if (OnGetExtHTMLRowParamsEvent) OnGetExtHTMLRowParamsEvent(*this, attrs);
  WriteString("<tr" + Spaced(attrs) + ">\r\n");
  rowOpen_ = true;
}

void TZelExportToHTML::EndRow() {
  if (InTable() && rowOpen_) {
    WriteString("</tr>\r\n");
    rowOpen_ = false;
  }
  TZelExportToCellFile::EndRow();
}

void TZelExportToHTML::WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                                       TAlignment alignment, const TFontSpec* font, TColor color) {
  pendingSpan_ = mergeCount >= 2 ? "colspan=\"" + std::to_string(mergeCount) + "\"" : std::string();
  TZelExportToCellFile::WriteMergedData(cellType, row, col, mergeCount, text, alignment, font, color);
  lastColumn_ += mergeCount;
}

void TZelExportToHTML::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                 TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteData(field, cellType, row, col, text, alignment, font, color);
  const bool inTable = InTable();
  if (inTable) lastColumn_ = col;

  // The picture of a graphic field, when its BLOB holds one. A long BLOB comes
  // in pieces: its picture is copied piece by piece, its text written piece by
  // piece into the cell below.
  const bool streamed = field && field == StreamedBlob();
  std::string img;
  const bool picture = inTable && field && field->DataType() == ftGraphic &&
                       CellNativeValue().kind == TZelECellValue::cvBlob &&
                       (streamed ? StreamPicture(*field, img) : WritePicture(*field, img));

  const bool userHtml = run_.HeaderFooterWithHTML && !inTable;
  const bool fontMarkup = Options.Has(soColorsFonts) && font;
  content_.clear();
  if (userHtml) {
    content_ = text;
  } else if (!picture && !streamed) {
    if (text.empty()) {
      content_ = "&nbsp;";
    } else if (AppendHtmlText(content_, text) > 0 && field) {
      ++changedValues_;
      ++Statistic.TotalErrors;
    }
    if (fontMarkup) content_ = FontMarkup(content_, *font);
  }
  std::string attrs;
  if (color != static_cast<TColor>(-1) && Options.Has(soColorsFonts)) AddAttribute(attrs, ColorAttribute(color, true));
  if (inTable && !CurrentDetailLevel() && col >= 0 && col < static_cast<int>(widths_.size()) &&
      widths_[static_cast<size_t>(col)] > 0)
    AddAttribute(attrs, "width=\"" + std::to_string(16 * widths_[static_cast<size_t>(col)]) + "\"");
  AddAttribute(attrs, pendingSpan_);
  pendingSpan_.clear();
  if (OnGetExtHTMLCellParamsEvent) {
    // The cell's exported column; cells outside the columns get none.
    const TZelEColumn* column = nullptr;
    if (inTable) {
      const TZelEColumns& columns = CurrentColumns();
      int k = 0;
      const int wanted = Layout == elReversedColumnar ? row : Layout == elTabularForm ? -1 : col;
      for (int i = 0; i < columns.Count() && wanted >= 0; ++i) {
        if (!IsExported(columns[i])) continue;
        if (k++ == wanted) {
          column = &columns[i];
          break;
        }
      }
    }
    OnGetExtHTMLCellParamsEvent(*this, column, attrs);
  }

  cell_.clear();
  std::string close;
  if (inTable) {
    std::string cellAttrs = attrs;
    AddAttribute(cellAttrs, AlignmentAttribute(alignment));
    cell_ += "  <td" + Spaced(cellAttrs) + ">";
    cell_ += picture ? img : content_;
    close = "</td>\r\n";
  } else if (userHtml) {
    cell_ = content_;
    close = "\r\n";
  } else {
    AddAttribute(attrs, AlignmentAttribute(alignment));
    cell_ = "<p" + Spaced(attrs) + ">" + content_;
    close = "</p>\r\n";
  }
  if (streamed && !picture && !userHtml) {
    std::string before, after;
    if (fontMarkup) FontMarkupAround(*font, before, after);
    cell_ += before;
    WriteString(cell_);
    if (!StreamHtmlText(*field)) WriteString("&nbsp;");
    cell_ = after;
  }
  cell_ += close;
  WriteString(cell_);
}

bool TZelExportToHTML::StreamHtmlText(const TField& field) {
  // A CR at the end of a piece waits for the next one: CR LF is one line end.
  std::string pending;
  size_t changed = 0;
  bool any = false;
  auto write = [&](size_t upTo) {
    cell_.clear();
    changed += AppendHtmlText(cell_, std::string_view(pending).substr(0, upTo));
    pending.erase(0, upTo);
    WriteString(cell_);
  };
  ReadBlobText(field, [&](std::string_view piece) {
    any = true;
    pending.append(piece);
    write(pending.back() == '\r' ? pending.size() - 1 : pending.size());
  });
  if (!pending.empty()) write(pending.size());
  if (changed > 0) {
    ++changedValues_;
    ++Statistic.TotalErrors;
  }
  return any;
}

bool TZelExportToHTML::WritePicture(const TField& field, std::string& img) {
  std::unique_ptr<TMemoryStream> s = field.DataSet().CreateBlobStream(field, bmRead);
  if (!s) return false;
  const std::string& blob = s->Data();
  std::string_view image;
  TZelEPictureInfo info;
  if (!GraphicImage(blob, image, info)) return false;
  std::string url;
  auto file = CreatePictureFile(info, url);
  file->Write(image.data(), image.size());
  KeepPicture(std::move(file));
  img = ImgElement(url, info);
  return true;
}

bool TZelExportToHTML::StreamPicture(const TField& field, std::string& img) {
  // The signatures and the sizes GraphicImage reads lie in the first bytes
  // (a JPEG's size is walked to as the bytes pass); the file is created once
  // they have been seen.
  constexpr size_t kHead = 64;
  std::string head;
  bool decided = false, isPicture = false, jpeg = false;
  TZelEPictureInfo info;
  TJpegWalk walk;
  std::string url;
  std::unique_ptr<TZelEFileStream> file;
  auto image = [&](std::string_view bytes, bool last) {
    file->Write(bytes.data(), bytes.size());
    if (jpeg) walk.Feed(bytes, last);
  };
  auto decide = [&](bool whole) {
    decided = true;
    std::string_view view;
    isPicture = GraphicImage(head, view, info);
    if (!isPicture) return;
    jpeg = info.Extension == ".jpg";
    file = CreatePictureFile(info, url);
    image(view, whole);
  };
  ReadBlobBytes(field, [&](std::string_view piece) {
    if (!decided) {
      const size_t k = std::min(piece.size(), kHead - head.size());
      head.append(piece.substr(0, k));
      piece.remove_prefix(k);
      if (head.size() < kHead) return;
      decide(false);
    }
    if (isPicture && !piece.empty()) image(piece, false);
  });
  if (!decided) decide(true);
  else if (isPicture && jpeg) walk.Feed({}, true);
  if (!isPicture) return false;
  if (jpeg) walk.SizeInto(info);
  KeepPicture(std::move(file));
  img = ImgElement(url, info);
  return true;
}

std::unique_ptr<TZelEFileStream> TZelExportToHTML::CreatePictureFile(const TZelEPictureInfo& info, std::string& url) {
  // <page>_img<N>.<ext> beside the page; one counter for the run, so that the
  // parts of a split export keep their pictures apart.
  std::string folder, stem;
  const std::string& page = CurrentFileName();
  if (!page.empty() && !TZelEFileStream::IsStandardOutputName(page)) {
    folder = FolderOf(page);
    stem = StemOf(page);
  } else {
    // A page without a place of its own (a caller's stream, standard output):
    // the pictures go into a new temporary folder and the page names them by
    // their full path.
    if (pictureFolder_.empty()) {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-html-XXXXXX";
      std::vector<char> buf(pattern.begin(), pattern.end());
      buf.push_back('\0');
      if (!::mkdtemp(buf.data()))
        throw EZelExportError("Could not create a folder for the pictures: " + std::string(std::strerror(errno)));
      pictureFolder_ = std::string(buf.data()) + "/";
    }
    folder = pictureFolder_;
    stem = "page";
  }
  const std::string name = stem + "_img" + std::to_string(pictureCounter_++) + info.Extension;
  url = UrlOfName(pictureFolder_.empty() || folder != pictureFolder_ ? name : folder + name);
  return TZelEFileStream::Create(folder + name);
}

void TZelExportToHTML::KeepPicture(std::unique_ptr<TZelEFileStream> file) {
  picturesPending_.push_back(std::move(file));
  if (picturesPending_.size() >= kPicturesPerBatch) CommitPictures();
}

std::string TZelExportToHTML::ImgElement(const std::string& url, const TZelEPictureInfo& info) {
  std::string img = "<img src=\"";
  AppendHtmlEscaped(img, url);
  img += "\"";
  if (info.Width > 0 && info.Height > 0)
    img += " width=\"" + std::to_string(info.Width) + "\" height=\"" + std::to_string(info.Height) + "\"";
  img += " alt=\"\">";
  return img;
}

void TZelExportToHTML::CommitPictures() {
  if (picturesPending_.empty()) return;
  std::vector<TZelEFileStream*> list;
  for (auto& f : picturesPending_) list.push_back(f.get());
  TZelEFileStream::CommitAll(list);
  for (auto& f : picturesPending_) pictures_.push_back(f->Path());
  picturesPending_.clear();
}

void TZelExportToHTML::RemovePictures() noexcept {
  for (auto& f : picturesPending_) f->Discard();
  picturesPending_.clear();
  for (const std::string& p : pictures_) ::unlink(p.c_str());
  pictures_.clear();
  if (!pictureFolder_.empty()) ::rmdir(pictureFolder_.c_str());
}

void TZelExportToHTML::FinishOutput(bool keep) {
  if (!keep) {
    RemovePictures();
    TZelExportToCellFile::FinishOutput(false);
    return;
  }
  try {
    CommitPictures();
    TZelExportToCellFile::FinishOutput(true);
  } catch (...) {
    // A page that is not kept takes its pictures with it.
    RemovePictures();
    throw;
  }
  for (const std::string& p : pictures_) Statistic.FilesWritten.push_back(p);
}

}  // namespace korvane
