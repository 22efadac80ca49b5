#include "export/formats/ZelE2Word.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "export/ZelEEscape.h"
#include "export/formats/ZelE2HTML.h"

namespace korvane {

int WordColorIndex(TColor color) {
  switch (color) {
    case 0x000000: return 1;
    case 0x000080: return 13;
    case 0x0000FF: return 6;
    case 0x008000: return 11;
    case 0x008080: return 14;
    case 0x00FF00: return 4;
    case 0x00FFFF: return 7;
    case 0x800000: return 9;
    case 0x800080: return 12;
    case 0x808000: return 10;
    case 0x808080: return 15;
    case 0xC0C0C0: return 16;
    case 0xFF0000: return 2;
    case 0xFF00FF: return 5;
    case 0xFFFF00: return 3;
    case 0xFFFFFF: return 8;
    default: return 0;
  }
}

std::vector<double> FitColumnWidths(std::vector<double> widths, double tableWidth) {
  if (widths.size() < 2) return widths;
  double total = 0;
  for (size_t i = 0; i + 1 < widths.size(); ++i) {
    if (!(widths[i] > 0)) widths[i] = 0;
    total += widths[i];
  }
  if (total > 0 && tableWidth < total)
    for (size_t i = 0; i + 2 < widths.size(); ++i) widths[i] = widths[i] * tableWidth / total;
  return widths;
}

// --- stored zip ---------------------------------------------------------------

namespace {

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

}  // namespace

void TZelEStoredZip::Add(const std::string& name, std::string_view data) {
  if (data.size() > 0xFFFFFFF0u || out_.size() > 0xFFFFFFF0u - data.size())
    throw EZelExportError("The table is too large for one inserted document");
  const uint32_t crc = static_cast<uint32_t>(
      ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  TEntry e{name, crc, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(out_.size())};
  Put32(out_, 0x04034b50);
  Put16(out_, 10);  // version needed
  Put16(out_, 0);   // flags
  Put16(out_, 0);   // stored
  Put16(out_, 0);   // time
  Put16(out_, 0x21);  // date: 1 January 1980
  Put32(out_, e.Crc);
  Put32(out_, e.Size);
  Put32(out_, e.Size);
  Put16(out_, static_cast<uint32_t>(name.size()));
  Put16(out_, 0);
  out_ += name;
  out_.append(data);
  entries_.push_back(e);
}

std::string TZelEStoredZip::Finish() {
  const uint32_t start = static_cast<uint32_t>(out_.size());
  for (const TEntry& e : entries_) {
    Put32(out_, 0x02014b50);
    Put16(out_, 20);
    Put16(out_, 10);
    Put16(out_, 0);
    Put16(out_, 0);
    Put16(out_, 0);
    Put16(out_, 0x21);
    Put32(out_, e.Crc);
    Put32(out_, e.Size);
    Put32(out_, e.Size);
    Put16(out_, static_cast<uint32_t>(e.Name.size()));
    Put16(out_, 0);
    Put16(out_, 0);
    Put16(out_, 0);
    Put16(out_, 0);
    Put32(out_, 0);
    Put32(out_, e.Offset);
    out_ += e.Name;
  }
  const uint32_t size = static_cast<uint32_t>(out_.size()) - start;
  Put32(out_, 0x06054b50);
  Put16(out_, 0);
  Put16(out_, 0);
  Put16(out_, static_cast<uint32_t>(entries_.size()));
  Put16(out_, static_cast<uint32_t>(entries_.size()));
  Put32(out_, size);
  Put32(out_, start);
  Put16(out_, 0);
  return std::move(out_);
}

// --- the table as an OpenDocument text ------------------------------------------

namespace {

std::string Hex(uint32_t rgb) {
  char b[8];
  std::snprintf(b, sizeof b, "#%06x", rgb & 0xFFFFFF);
  return b;
}

std::string Number(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

// Cell text as paragraph content: line breaks, tabs and runs of blanks as the
// elements that keep them. Answers the characters XML cannot carry.
size_t AppendParagraphXml(std::string& out, std::string_view text) {
  size_t changed = 0;
  size_t i = 0;
  bool lineStart = true;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "<text:line-break/>";
      ++i;
      lineStart = true;
      continue;
    }
    if (c == '\t') {
      out += "<text:tab/>";
      ++i;
      lineStart = false;
      continue;
    }
    if (c == ' ') {
      size_t n = 0;
      while (i + n < text.size() && text[i + n] == ' ') ++n;
      const bool last = i + n == text.size() || text[i + n] == '\r' || text[i + n] == '\n';
      if (n == 1 && !lineStart && !last) {
        out += ' ';
      } else {
        out += "<text:s text:c=\"" + std::to_string(n) + "\"/>";
      }
      i += n;
      lineStart = false;
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\t' && text[end] != ' ') ++end;
    changed += AppendXmlEscaped(out, text.substr(i, end - i));
    i = end;
    lineStart = false;
  }
  return changed;
}

std::string MediaType(const std::string& ext) {
  if (ext == ".png") return "image/png";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".gif") return "image/gif";
  if (ext == ".bmp") return "image/bmp";
  if (ext == ".tif" || ext == ".tiff") return "image/tiff";
  return "application/octet-stream";
}

}  // namespace

bool TZelEOdfTable::TCellLook::operator<(const TCellLook& o) const {
  const office::TStyle &a = Style, &b = o.Style;
  return std::tie(a.HasFont, a.FontName, a.FontSize, a.FontColor, a.Bold, a.Italic, a.Underline, a.HasBackground,
                  a.Background, a.Alignment) < std::tie(b.HasFont, b.FontName, b.FontSize, b.FontColor, b.Bold,
                                                        b.Italic, b.Underline, b.HasBackground, b.Background,
                                                        b.Alignment);
}

TZelEOdfTable::TZelEOdfTable(int columns, bool colLines, bool rowLines)
    : columns_(std::max(columns, 1)), colLines_(colLines), rowLines_(rowLines) {
  looks_.push_back(office::TStyle{});
}

int TZelEOdfTable::LookIndex(const office::TStyle& style) {
  for (size_t i = 0; i < looks_.size(); ++i)
    if (looks_[i] == style) return static_cast<int>(i);
  looks_.push_back(style);
  return static_cast<int>(looks_.size() - 1);
}

size_t TZelEOdfTable::SetText(int row, int col, const std::string& text, const office::TStyle& style, int span) {
  if (row < 0 || col < 0 || col >= columns_) return 0;
  TCell& c = rows_[row][col];
  c.Xml.clear();
  const size_t changed = AppendParagraphXml(c.Xml, text);
  c.Span = std::clamp(span, 1, columns_ - col);
  c.Look = LookIndex(style);
  return changed;
}

void TZelEOdfTable::SetPicture(int row, int col, std::string_view bytes, const std::string& extension, int width,
                               int height, const office::TStyle& style) {
  if (row < 0 || col < 0 || col >= columns_) return;
  const std::string name = "Pictures/p" + std::to_string(pictures_.size()) + extension;
  pictures_.emplace_back(name, std::string(bytes));
  // Pixels at 96 an inch, at most 400 points high, in proportion.
  double h = (height > 0 ? height : 96) * 72.0 / 96.0, w = (width > 0 ? width : 96) * 72.0 / 96.0;
  if (h > 400) {
    w = w * 400 / h;
    h = 400;
  }
  TCell& c = rows_[row][col];
  c.Xml = "<draw:frame draw:name=\"p" + std::to_string(pictures_.size()) +
          "\" text:anchor-type=\"as-char\" svg:width=\"" + Number(w) + "pt\" svg:height=\"" + Number(h) +
          "pt\"><draw:image xlink:href=\"" + name +
          "\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\"/></draw:frame>";
  c.Span = 1;
  c.Look = LookIndex(style);
}

std::string TZelEOdfTable::Document() const {
  std::string x;
  x.reserve(4096 + rows_.size() * static_cast<size_t>(columns_) * 64);
  x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
       "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
       "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
       "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
       "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
       "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
       "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
       "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" office:version=\"1.2\">"
       "<office:automatic-styles>";
  x += "<style:style style:name=\"Tbl\" style:family=\"table\"><style:table-properties ";
  if (tableWidth_ > 0) x += "style:width=\"" + Number(tableWidth_) + "pt\" table:align=\"left\"";
  else x += "table:align=\"margins\"";
  x += "/></style:style>";
  // Columns: their widths in proportion (equal when none is set).
  double sum = 0;
  for (int c = 0; c < columns_; ++c) sum += c < static_cast<int>(widths_.size()) && widths_[c] > 0 ? widths_[c] : 0;
  const double fallback = sum > 0 ? sum / columns_ : 1;
  for (int c = 0; c < columns_; ++c) {
    const double w = c < static_cast<int>(widths_.size()) && widths_[c] > 0 ? widths_[c] : fallback;
    x += "<style:style style:name=\"Col" + std::to_string(c) +
         "\" style:family=\"table-column\"><style:table-column-properties style:rel-column-width=\"" +
         std::to_string(std::max(1L, std::lround(w * 100))) + "*\"/></style:style>";
  }
  const std::string line = "0.5pt solid #000000";
  for (size_t i = 0; i < looks_.size(); ++i) {
    const office::TStyle& s = looks_[i];
    x += "<style:style style:name=\"Ce" + std::to_string(i) +
         "\" style:family=\"table-cell\"><style:table-cell-properties fo:padding=\"0.05cm\"";
    x += " fo:border-left=\"" + (colLines_ ? line : std::string("none")) + "\"";
    x += " fo:border-right=\"" + (colLines_ ? line : std::string("none")) + "\"";
    x += " fo:border-top=\"" + (rowLines_ ? line : std::string("none")) + "\"";
    x += " fo:border-bottom=\"" + (rowLines_ ? line : std::string("none")) + "\"";
    if (s.HasBackground) x += " fo:background-color=\"" + Hex(s.Background) + "\"";
    x += "/></style:style>";
    x += "<style:style style:name=\"P" + std::to_string(i) + "\" style:family=\"paragraph\">";
    if (s.Alignment >= 0)
      x += std::string("<style:paragraph-properties fo:text-align=\"") +
           (s.Alignment == 1 ? "end" : s.Alignment == 2 ? "center" : "start") + "\"/>";
    if (s.HasFont) {
      x += "<style:text-properties";
      if (!s.FontName.empty()) {
        x += " fo:font-family=\"";
        AppendXmlEscaped(x, s.FontName);
        x += "\"";
      }
      if (s.FontSize > 0) x += " fo:font-size=\"" + Number(s.FontSize) + "pt\"";
      x += " fo:color=\"" + Hex(s.FontColor) + "\"";
      if (s.Bold) x += " fo:font-weight=\"bold\"";
      if (s.Italic) x += " fo:font-style=\"italic\"";
      if (s.Underline)
        x += " style:text-underline-style=\"solid\" style:text-underline-width=\"auto\" "
             "style:text-underline-color=\"font-color\"";
      x += "/>";
    }
    x += "</style:style>";
  }
  x += "</office:automatic-styles><office:body><office:text>"
       "<table:table table:name=\"Export\" table:style-name=\"Tbl\">";
  for (int c = 0; c < columns_; ++c) x += "<table:table-column table:style-name=\"Col" + std::to_string(c) + "\"/>";
  int last = rows_.empty() ? -1 : rows_.rbegin()->first;
  for (int r = 0; r <= last; ++r) {
    x += "<table:table-row>";
    const auto row = rows_.find(r);
    int c = 0;
    while (c < columns_) {
      const TCell* cell = nullptr;
      if (row != rows_.end()) {
        const auto it = row->second.find(c);
        if (it != row->second.end()) cell = &it->second;
      }
      const int look = cell ? cell->Look : 0;
      x += "<table:table-cell table:style-name=\"Ce" + std::to_string(look) + "\"";
      const int span = cell ? cell->Span : 1;
      if (span > 1) x += " table:number-columns-spanned=\"" + std::to_string(span) + "\"";
      x += " office:value-type=\"string\"><text:p text:style-name=\"P" + std::to_string(look) + "\">";
      if (cell) x += cell->Xml;
      x += "</text:p></table:table-cell>";
      for (int k = 1; k < span; ++k) x += "<table:covered-table-cell/>";
      c += span;
    }
    x += "</table:table-row>";
  }
  x += "</table:table></office:text></office:body></office:document-content>";

  std::string manifest =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
      "manifest:version=\"1.2\">"
      "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/vnd.oasis.opendocument.text\" "
      "manifest:version=\"1.2\"/>"
      "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>";
  for (const auto& [name, bytes] : pictures_) {
    const size_t dot = name.find_last_of('.');
    manifest += "<manifest:file-entry manifest:full-path=\"" + name + "\" manifest:media-type=\"" +
                MediaType(name.substr(dot)) + "\"/>";
  }
  manifest += "</manifest:manifest>";
  TZelEStoredZip zip;
  zip.Add("mimetype", "application/vnd.oasis.opendocument.text");
  zip.Add("content.xml", x);
  for (const auto& [name, bytes] : pictures_) zip.Add(name, bytes);
  zip.Add("META-INF/manifest.xml", manifest);
  return zip.Finish();
}

// --- the writers -------------------------------------------------------------------

namespace {

bool IsBinaryType(TFieldType t) { return t == ftBytes || t == ftVarBytes || (IsBlobType(t) && t != ftMemo && t != ftFmtMemo); }

}  // namespace

TZelEOfficeTextWriter::~TZelEOfficeTextWriter() {
  if (doc_) doc_->Close();
}

office::TStyle TZelEOfficeTextWriter::ParagraphStyle(TAlignment alignment, const TFontSpec* font, TColor) const {
  office::TStyle s;
  s.Alignment = alignment == taRightJustify ? 1 : alignment == taCenter ? 2 : 0;
  if (Options.Has(soColorsFonts) && font) {
    s.HasFont = true;
    s.FontName = font->Name;
    s.FontSize = font->Size;
    const long long c = OfficeColor(font->Color);
    s.FontColor = c < 0 ? 0 : static_cast<uint32_t>(c);
    s.Bold = font->Bold;
    s.Italic = font->Italic;
    s.Underline = font->Underline;
  }
  return s;
}

void TZelEOfficeTextWriter::BeginExecute() {
  droppedColumns_.clear();
  droppedValues_ = xmlChanged_ = cut_ = 0;
  TZelExportToCellFile::BeginExecute();
}

void TZelEOfficeTextWriter::EndExecute() {
  if (doc_) {
    doc_->Close();
    doc_.reset();
  }
  table_.reset();
  suite_.reset();
  scratch_.reset();
  if (!droppedColumns_.empty())
    Statistic.Notes.push_back(ZelEFormat("A text table holds at most %d columns: %d columns were left out (%d values).",
                                         {std::to_string(kMaxTableColumns), std::to_string(droppedColumns_.size()),
                                          std::to_string(droppedValues_)}));
  if (xmlChanged_ > 0)
    Statistic.Notes.push_back(ZelEFormat("%d values held characters a document cannot hold (control characters): "
                                         "they were left out.",
                                         {std::to_string(xmlChanged_)}));
  TZelExportToCellFile::EndExecute();
}

void TZelEOfficeTextWriter::CreateFileStream(const std::string& fileName) {
  TZelExportToCellFile::CreateFileStream(fileName);
  StoreFilter(fileName, filter_, extension_);
  if (!scratch_) scratch_ = std::make_unique<TZelEOfficeScratch>();
  if (!suite_) suite_ = office::StartOffice(office::TApp::Writer);
  CheckFilter(*suite_, filter_);
  table_.reset();
  struct stat st;
  const bool existing = !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
  // A merge adds to the document as it is; the suite tells what kind of file it is.
  doc_ = Options.Has(soMergeData) && existing ? suite_->OpenDocument(fileName) : suite_->NewDocument();
  if (UsesPageSetup() && !PageSetup.UseDefault) {
    office::TPage page;
    auto margin = [&](float v) { return v > 0 ? PointsTo100mm(ToPoints(PageSetup.Measure, v)) : -1; };
    page.TopMargin = margin(PageSetup.TopMargin);
    page.BottomMargin = margin(PageSetup.BottomMargin);
    page.LeftMargin = margin(PageSetup.LeftMargin);
    page.RightMargin = margin(PageSetup.RightMargin);
    if (PageSetup.Orientation != emDefault) page.Landscape = PageSetup.Orientation == emLandscape ? 1 : 0;
    doc_->SetPage(page);
  }
}

void TZelEOfficeTextWriter::WriteDimension(int rowCount, int colCount) {
  rowCount_ = rowCount;
  colCount_ = colCount;
  columnWidths_.assign(static_cast<size_t>(std::max(colCount, 0)), 0.0);
}

void TZelEOfficeTextWriter::WriteColumnWidth(int col, int width) {
  if (width > 0 && col >= 0 && col < static_cast<int>(columnWidths_.size()) && col < 64)
    columnWidths_[static_cast<size_t>(col)] = width * 4.0;
}

void TZelEOfficeTextWriter::BeginTable() {
  TZelExportToCellFile::BeginTable();
  if (!doc_ || table_ || !(rowCount_ > 0 && (colCount_ > 1 || Layout == elTabularForm))) return;
  // All the columns, up to the 63 a table holds.
  const int columns = std::min(std::max(colCount_ - 1, 1), kMaxTableColumns);
  table_ = std::make_unique<TZelEOdfTable>(columns, Options.Has(soColLines), Options.Has(soRowLines));
  std::vector<double> widths(columnWidths_.begin(),
                             columnWidths_.begin() + std::min<size_t>(columnWidths_.size(), static_cast<size_t>(columns) + 1));
  double tableWidth = PageSetup.TableWidth != 0 ? ToPoints(PageSetup.Measure, PageSetup.TableWidth) : 0;
  if (AutoFitColumns && tableWidth > 0) widths = FitColumnWidths(widths, tableWidth);
  widths.resize(static_cast<size_t>(columns));
  table_->SetColumnWidths(widths);
  table_->SetTableWidth(tableWidth);
}

void TZelEOfficeTextWriter::InsertTable() {
  if (!table_ || !doc_) return;
  const std::string file = scratch_->NewName("table", ".odt");
  {
    const std::string bytes = table_->Document();
    table_.reset();
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) throw EZelExportError("Cannot write the table file " + file);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw EZelExportError("Cannot write the table file " + file);
  }
  try {
    doc_->AppendDocument(file);
  } catch (...) {
    std::remove(file.c_str());
    throw;
  }
  std::remove(file.c_str());
}

void TZelEOfficeTextWriter::EndTable() {
  TZelExportToCellFile::EndTable();
  if (!InTable()) InsertTable();
}

void TZelEOfficeTextWriter::WriteData(const TField* field, TCellType, int row, int col, const std::string& text,
                                      TAlignment alignment, const TFontSpec* font, TColor color) {
  if (!doc_) return;
  std::string value = text;
  if (CutToCharacters(value, 1u << 20)) {
    // A paragraph holds far more; a cell this long is cut at a megabyte of
    // characters rather than stall the suite.
    ++cut_;
    ++Statistic.TotalErrors;
  }
  if (!InTable() || !table_) {
    doc_->AppendParagraph(value, ParagraphStyle(alignment, font, color));
    return;
  }
  if (col >= table_->Columns()) {
    // Columns past those a table holds: counted, the final message says how many.
    droppedColumns_.insert(col);
    if (!value.empty()) {
      ++droppedValues_;
      ++Statistic.TotalErrors;
    }
    return;
  }
  const int r = row - static_cast<int>(Header.size());
  office::TStyle style = ParagraphStyle(alignment, font, color);
  if (Options.Has(soColorsFonts)) {
    const long long back = OfficeColor(color);
    if (back >= 0 && back != 0xFFFFFF) {
      style.HasBackground = true;
      style.Background = static_cast<uint32_t>(back);
    }
  }
  if (field && field->DataType() == ftGraphic && CellNativeValue().kind == TZelECellValue::cvBlob &&
      IsBinaryType(field->DataType())) {
    std::unique_ptr<TMemoryStream> s = field->DataSet().CreateBlobStream(*field, bmRead);
    std::string_view image;
    TZelEPictureInfo info;
    if (s && GraphicImage(s->Data(), image, info) && !info.Extension.empty()) {
      table_->SetPicture(r, col, image, info.Extension, info.Width, info.Height, style);
      return;
    }
  }
  if (value.empty() && !style.HasBackground) return;
  if (table_->SetText(r, col, value, style) > 0 && field) {
    ++xmlChanged_;
    ++Statistic.TotalErrors;
  }
}

void TZelEOfficeTextWriter::WriteMergedData(TCellType cellType, int row, int col, int mergeCount,
                                            const std::string& text, TAlignment alignment, const TFontSpec* font,
                                            TColor color) {
  if (InTable() && table_ && mergeCount > 1 && col < table_->Columns()) {
    table_->SetText(row - static_cast<int>(Header.size()), col, text, ParagraphStyle(alignment, font, color),
                    mergeCount);
    return;
  }
  TZelExportToCellFile::WriteMergedData(cellType, row, col, mergeCount, text, alignment, font, color);
}

void TZelEOfficeTextWriter::WriteFooter() {
  InsertTable();
  TZelExportToCellFile::WriteFooter();
  if (!doc_) return;
  const std::string stored = scratch_->NewName("document", extension_);
  doc_->Store(stored, filter_);
  CopyFileInto(stored, [this](std::string_view bytes) { WriteString(bytes); });
  std::remove(stored.c_str());
}

void TZelEOfficeTextWriter::CloseFile() {
  try {
    TZelExportToCellFile::CloseFile();
  } catch (...) {
    if (doc_) doc_->Close();
    doc_.reset();
    table_.reset();
    throw;
  }
  // Closed without storing when the run failed.
  if (doc_) doc_->Close();
  doc_.reset();
  table_.reset();
}

TZelExportToWord::TZelExportToWord() {
  FileName = "ZelExport.DOC";
  SetTableType(teWord);
}

std::string TZelExportToWord::FilterOfName(const std::string& fileName) {
  const size_t dot = fileName.find_last_of('.');
  const size_t slash = fileName.find_last_of('/');
  std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".docx") return "MS Word 2007 XML";
  if (ext == ".odt") return "writer8";
  if (ext == ".rtf") return "Rich Text Format";
  return "MS Word 97";
}

void TZelExportToWord::StoreFilter(const std::string& fileName, std::string& filter, std::string& extension) {
  filter = FilterOfName(fileName);
  extension = filter == "MS Word 2007 XML" ? ".docx" : filter == "writer8" ? ".odt"
              : filter == "Rich Text Format"  ? ".rtf"
                                              : ".doc";
}

office::TStyle TZelExportToWord::ParagraphStyle(TAlignment alignment, const TFontSpec* font, TColor color) const {
  office::TStyle s = TZelEOfficeTextWriter::ParagraphStyle(alignment, font, color);
  // Word highlights text in the 16 colours of its palette only.
  if (Options.Has(soColorsFonts) && WordColorIndex(color) != 0 && color != clWhite) {
    s.HasBackground = true;
    s.Background = static_cast<uint32_t>(OfficeColor(color));
  }
  return s;
}

}  // namespace korvane
