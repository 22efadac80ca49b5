#include "export/formats/ZelE2Excel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/sysutils.h"
#include "export/ZelEEscape.h"
#include "export/formats/ZelE2HTML.h"

namespace korvane {

// --- shared by the office writers -------------------------------------------

TZelEOfficeScratch::TZelEOfficeScratch() {
  const char* tmp = std::getenv("TMPDIR");
  std::string f = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-export-XXXXXX";
  if (!::mkdtemp(f.data())) throw EZelExportError("Cannot make a temporary folder for the office suite in " + f);
  folder_ = f;
}

TZelEOfficeScratch::~TZelEOfficeScratch() {
  // Files the suite or the writers left in the folder, then the folder.
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::string TZelEOfficeScratch::NewName(const std::string& stem, const std::string& extension) {
  return folder_ + "/" + stem + std::to_string(next_++) + extension;
}

void CopyFileInto(const std::string& path, const std::function<void(std::string_view)>& sink) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw EZelExportError("The office suite stored no file at " + path);
  std::string buf(1 << 16, '\0');
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) sink(std::string_view(buf.data(), n));
  const bool bad = std::ferror(f);
  std::fclose(f);
  if (bad) throw EZelExportError("Cannot read the file the office suite stored at " + path);
}

double ToPoints(TZelEMeasure measure, double value) {
  switch (measure) {
    case emInch: return value * 72.0;
    case emCentimeters: return value * 72.0 / 2.54;
    case emPicas: return value * 12.0;
    case emPoint:
    default: return value;
  }
}

int PointsTo100mm(double points) { return static_cast<int>(std::lround(points * 2540.0 / 72.0)); }

long long OfficeColor(TColor color) {
  if (color & 0xFF000000u) return -1;
  return static_cast<long long>(((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF));
}

bool CutToCharacters(std::string& text, size_t max) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars == max) {
      text.resize(i);
      return true;
    }
    ++chars;
  }
  return false;
}

namespace {

office::TStyle StyleOf(const TZelECustomBaseComponent& w, TAlignment alignment, const TFontSpec* font, TColor color) {
  office::TStyle s;
  if (!w.Options.Has(soColorsFonts)) return s;
  if (font) {
    s.HasFont = true;
    s.FontName = font->Name;
    s.FontSize = font->Size;
    const long long c = OfficeColor(font->Color);
    s.FontColor = c < 0 ? 0 : static_cast<uint32_t>(c);
    s.Bold = font->Bold;
    s.Italic = font->Italic;
    s.Underline = font->Underline;
  }
  const long long back = OfficeColor(color);
  if (back >= 0 && back != 0xFFFFFF) {
    s.HasBackground = true;
    s.Background = static_cast<uint32_t>(back);
  }
  s.Alignment = alignment == taRightJustify ? 1 : alignment == taCenter ? 2 : 0;
  return s;
}

// Whether a number survives LibreOffice's stored workbooks, which keep 15
// significant digits.
bool KeepsDigits(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return std::strtod(buf, nullptr) == d;
}

bool IsBinaryType(TFieldType t) { return t == ftBytes || t == ftVarBytes || (IsBlobType(t) && t != ftMemo && t != ftFmtMemo); }

// Day numbers of 1 March 1900 and 31 December 9999: the dates every stored format holds.
constexpr int64_t kFirstDay = kDayNumberOf18991230 + 61;
constexpr int64_t kLastDay = kDayNumberOf18991230 + 2958465;

}  // namespace

// --- the writer --------------------------------------------------------------

TZelExportToExcel::TZelExportToExcel() {
  FileName = "ZelExport.XLS";
  SetTableType(teExcel);
}

TZelExportToExcel::~TZelExportToExcel() {
  if (book_) book_->Close();
}

std::string TZelExportToExcel::ColumnLetters(int n) {
  std::string s;
  if (n < 1) return s;
  do {
    s.insert(s.begin(), static_cast<char>('A' + (n - 1) % 26));
    n = (n - 1) / 26;
  } while (n > 0);
  return s;
}

std::string TZelExportToExcel::GetNumberFormat(TFieldType type, int precision, char decimalSeparator,
                                               const std::string& currency) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return "0";
    case ftFloat:
    case ftBCD:
      return precision > 0 ? "0." + std::string(static_cast<size_t>(precision), '0') : std::string();
    case ftCurrency: {
      std::string f = std::string("0") + decimalSeparator + "0";
      if (precision > 0 && f.size() < static_cast<size_t>(precision) + 2) f.append(precision + 2 - f.size(), '0');
      return f + currency;
    }
    default:
      return "@";
  }
}

std::string TZelExportToExcel::CalcFormatCode(const std::string& format, char decimalSeparator,
                                              const std::string& currency) {
  std::string body = format, symbol;
  if (!currency.empty() && body.size() >= currency.size() &&
      body.compare(body.size() - currency.size(), currency.size(), currency) == 0 && body != "@") {
    symbol = currency;
    body.resize(body.size() - currency.size());
  }
  if (decimalSeparator != '.')
    for (char& c : body)
      if (c == decimalSeparator) c = '.';
  if (symbol.empty()) return body;
  std::string quoted = "\"";
  for (char c : symbol) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  if (symbol.find('"') != std::string::npos) {
    quoted.clear();
    for (char c : symbol) (quoted += '\\') += c;
    return body + quoted;
  }
  return body + quoted + "\"";
}

int TZelExportToExcel::FileFormatNumber(TMSExcelVersion v) {
  switch (v) {
    case evExcel2: return 16;
    case evExcel2FarEast: return 27;
    case evExcel3: return 29;
    case evExcel4: return 33;
    case evExcel5:
    case evExcel7: return 39;
    case evExcel9597: return 43;
    case evExcel2007: return 51;
    case evExcelAuto:
    default: return 0;
  }
}

TZelEExcelStore TZelExportToExcel::StoreFormat(TMSExcelVersion v, const std::string& fileName) {
  static const TZelEExcelStore xls{"MS Excel 97", ".xls", 65536, 256};
  // Calc's sheets hold 1024 columns; the formats would hold more.
  static const TZelEExcelStore xlsx{"Calc MS Excel 2007 XML", ".xlsx", 1048576, 1024};
  static const TZelEExcelStore ods{"calc8", ".ods", 1048576, 1024};
  switch (FileFormatNumber(v)) {
    case 43: return xls;
    case 51: return xlsx;
    case 0: break;
    default: {
      static const char* const kNames[] = {"", "Excel 2", "Excel 2 (Far East)", "Excel 3", "Excel 4", "Excel 5",
                                           "Excel 95"};
      throw EZelExportError(std::string("LibreOffice cannot write ") + kNames[std::clamp(static_cast<int>(v), 0, 6)] +
                            " workbooks; choose Excel 97 (.xls) or Excel 2007 (.xlsx).");
    }
  }
  const size_t dot = fileName.find_last_of('.');
  const size_t slash = fileName.find_last_of('/');
  std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".xls") return xls;
  if (ext == ".ods") return ods;
  return xlsx;
}

int TZelExportToExcel::ColumnWidth100mm(int characters) {
  characters = std::clamp(characters, 0, 50);
  // Characters of 7 pixels and 5 pixels of margin, at 96 pixels an inch.
  return static_cast<int>(std::lround((characters * 7 + 5) * 2540.0 / 96.0));
}

int TZelExportToExcel::PictureRowPoints(int pixels) {
  return std::min(400, static_cast<int>(std::lround(std::max(pixels, 0) * 72.0 / 96.0)));
}

void TZelExportToExcel::BeginExecute() {
  cut_ = datesAsText_ = decimalsAsText_ = unreadTexts_ = picturesAsText_ = rounded_ = 0;
  run_ = settings_;
  TZelExportToCellFile::BeginExecute();
}

void TZelExportToExcel::EndExecute() {
  if (book_) {
    book_->Close();
    book_.reset();
  }
  sheet_ = nullptr;
  // The suite this run started ends here, whatever the outcome.
  suite_.reset();
  scratch_.reset();
  auto note = [&](int n, const char* text) {
    if (n > 0) Statistic.Notes.push_back(ZelEFormat(text, {std::to_string(n)}));
  };
  note(cut_, "%d texts were longer than the 32767 characters a cell holds and were cut.");
  note(unreadTexts_, "%d cell texts given by the OnGetCellParams handler did not read as the cell's type: they were "
                     "written as text.");
  note(datesAsText_, "%d dates lie outside the dates a workbook holds (1 March 1900 to 31 December 9999): they were "
                     "written as text.");
  note(decimalsAsText_, "%d numbers have more digits than a spreadsheet number holds: they were written whole, as "
                        "text.");
  note(rounded_, "%d numbers have more than the 15 significant digits LibreOffice keeps in a stored workbook: they "
                 "were rounded to 15 digits.");
  note(picturesAsText_, "%d pictures are of a kind the sheet cannot show: they were written as hex text.");
  TZelExportToCellFile::EndExecute();
}

void TZelExportToExcel::CreateFileStream(const std::string& fileName) {
  TZelExportToCellFile::CreateFileStream(fileName);
  store_ = StoreFormat(run_.ExcelVersion, fileName);
  if (!scratch_) scratch_ = std::make_unique<TZelEOfficeScratch>();
  if (!suite_) {
    try {
      suite_ = office::StartOffice(office::TApp::Calc);
    } catch (const std::runtime_error& e) {
      throw EZelExportError(e.what());
    }
  }
  saveName_ = fileName;
  block_.clear();
  pictures_.clear();
  merges_.clear();
  columnFormats_.clear();
  lastRow_ = lastCol_ = -1;
  colCount_ = 0;
  // A merge adds to the workbook as it is, whatever kind of file Calc reads.
  struct stat st;
  const bool existing = !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
  book_ = Options.Has(soMergeData) && existing ? suite_->OpenWorkbook(fileName) : suite_->NewWorkbook();
  const std::string name = KeyGenerator;
  sheet_ = book_->Sheet(name);
  // Below the end of the used area of an existing sheet (0 for an empty one).
  firstRow_ = sheet_ ? sheet_->UsedRowsEnd() : 0;
  firstRow_ += run_.StartRow;
  if (!sheet_) sheet_ = &book_->AddSheet(name);
  if (run_.DeleteDefaultSheets)
    for (const std::string& other : book_->SheetNames())
      if (other != name) book_->RemoveSheet(other);
  Statistic.CurrentRow = 0;
  if (!PageSetup.UseDefault || PageSetup.Orientation != emDefault || PageSetup.Zoom != 100) {
    office::TPage page;
    if (!PageSetup.UseDefault) {
      page.TopMargin = PointsTo100mm(ToPoints(PageSetup.Measure, PageSetup.TopMargin));
      page.BottomMargin = PointsTo100mm(ToPoints(PageSetup.Measure, PageSetup.BottomMargin));
      page.LeftMargin = PointsTo100mm(ToPoints(PageSetup.Measure, PageSetup.LeftMargin));
      page.RightMargin = PointsTo100mm(ToPoints(PageSetup.Measure, PageSetup.RightMargin));
    }
    if (PageSetup.Zoom != 100) page.Zoom = PageSetup.Zoom;
    if (PageSetup.Orientation != emDefault) page.Landscape = PageSetup.Orientation == emLandscape ? 1 : 0;
    sheet_->SetPage(page);
  }
}

void TZelExportToExcel::WriteDimension(int rowCount, int colCount) {
  colCount_ = colCount - 1;
  // The rows and columns of this file, checked before a cell is written.
  const int lines = static_cast<int>(Header.size() + Footer.size());
  long long rows = static_cast<long long>(firstRow_) + rowCount + lines;
  long long cols = static_cast<long long>(run_.StartColumn) + std::max(colCount - 1, 2);
  if (Layout == elReversedColumnar) cols += lines;
  if (cols > store_.MaxColumns)
    throw EZelExportError(ZelEFormat(
        "A %s sheet holds at most %d columns; this export needs %d. Export fewer columns.",
        {store_.Extension, std::to_string(store_.MaxColumns), std::to_string(cols)}));
  if (rows > store_.MaxRows) {
    const int perRecord = Layout == elTabularForm ? std::max(1, ExportedColumnCount()) : 1;
    const long long fixed = firstRow_ + lines + TitleRows() * (Layout == elTabularForm ? 0 : 1);
    const long long fit = std::max<long long>(0, (store_.MaxRows - fixed) / perRecord);
    throw EZelExportError(ZelEFormat(
        "A %s sheet holds at most %d rows; this file needs %d.%s Set rows per file (--rows-per-file) to %d or fewer.",
        {store_.Extension, std::to_string(store_.MaxRows), std::to_string(rows),
         store_.Extension == ".xls" ? " Export to .xlsx (1048576 rows), or" : "", std::to_string(fit)}));
  }
}

std::string TZelExportToExcel::DateFormat() const {
  const TZelEDataFormats& f = RunFormat().Formats();
  const std::string d = f.LeadingZerosInDate ? "DD" : "D", m = f.LeadingZerosInDate ? "MM" : "M",
                    y = f.FourDigitYear ? "YYYY" : "YY";
  std::string sep;
  if (f.DateSeparator) sep = std::strchr("/-. ", f.DateSeparator) ? std::string(1, f.DateSeparator)
                                                                  : std::string("\\") + f.DateSeparator;
  switch (f.DateOrder) {
    case doDMY: return d + sep + m + sep + y;
    case doYMD: return y + sep + m + sep + d;
    case doYDM: return y + sep + d + sep + m;
    case doDYM: return d + sep + y + sep + m;
    case doMYD: return m + sep + y + sep + d;
    case doMDY:
    default: return m + sep + d + sep + y;
  }
}

std::string TZelExportToExcel::TypedFormat(TFieldType type, int precision) const {
  switch (type) {
    case ftDate: return DateFormat();
    case ftTime: return "HH:MM:SS";
    case ftDateTime: return DateFormat() + " HH:MM:SS";
    case ftBoolean: return "BOOLEAN";
    default: {
      const TZelEDataFormats& f = RunFormat().Formats();
      const std::string code = GetNumberFormat(type, precision, f.DecimalSeparator, f.CurrencyString);
      return code == "@" ? code : CalcFormatCode(code, f.DecimalSeparator, f.CurrencyString);
    }
  }
}

void TZelExportToExcel::WriteColumnWidth(int col, int width) {
  if (!sheet_ || col < 0) return;
  const int sheetCol = run_.StartColumn + col;
  // Display texts are text; typed values get their column's number format.
  std::string format = "@";
  if (!Options.Has(soFieldMask) && Layout == elColumnar) {
    int k = 0;
    const TZelEColumns& columns = CurrentColumns();
    for (int i = 0; i < columns.Count(); ++i) {
      if (!IsExported(columns[i])) continue;
      if (k++ == col) {
        format = TypedFormat(Engine() ? Engine()->GetFieldType(columns[i]) : ftString, columns[i].Precision);
        break;
      }
    }
  }
  if (Layout != elColumnar && !Options.Has(soFieldMask)) format.clear();
  if (!format.empty()) {
    sheet_->SetColumnFormat(sheetCol, format);
    columnFormats_[sheetCol] = format;
  }
  if (width > 0) sheet_->SetColumnWidth(sheetCol, ColumnWidth100mm(width));
}

void TZelExportToExcel::Put(int row, int col, office::TCell cell, const std::string& format,
                            const office::TStyle& style) {
  if (!block_.empty() && (row >= block_.begin()->first + 1000 || row < block_.begin()->first)) Flush();
  TPending& p = block_[row][col];
  p.Cell = std::move(cell);
  const auto cf = columnFormats_.find(col);
  const std::string& colFormat = cf == columnFormats_.end() ? std::string() : cf->second;
  p.Format = format == colFormat ? std::string() : format;
  p.Style = style;
  lastRow_ = std::max(lastRow_, row);
  lastCol_ = std::max(lastCol_, col);
}

void TZelExportToExcel::WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                                  TAlignment alignment, const TFontSpec* font, TColor color) {
  if (!sheet_) return;
  const int sheetRow = firstRow_ + row, sheetCol = run_.StartColumn + col;
  const office::TStyle style = StyleOf(*this, alignment, font, color);
  const TZelECellValue& v = CellNativeValue();
  auto asText = [&](std::string s, const std::string& format) {
    if (s.empty()) {
      if (Options.Has(soExportBlankValues) || style.HasBackground) Put(sheetRow, sheetCol, office::TCell{}, format, style);
      return;
    }
    if (CutToCharacters(s, kOfficeMaxCellText)) {
      ++cut_;
      ++Statistic.TotalErrors;
    }
    Put(sheetRow, sheetCol, office::TCell::OfText(std::move(s)), format.empty() ? "@" : format, style);
  };
  auto number = [&](double d, const std::string& format) {
    if (field && !KeepsDigits(d)) {
      ++rounded_;
      ++Statistic.TotalErrors;
    }
    Put(sheetRow, sheetCol, office::TCell::OfNumber(d), format, style);
  };
  const auto cf = columnFormats_.find(sheetCol);
  const std::string colFormat = cf == columnFormats_.end() ? std::string() : cf->second;
  // Display texts: every cell is its text.
  if (Options.Has(soFieldMask) || (cellType == ctBlank)) {
    asText(text, "@");
    return;
  }
  if (field && v.IsNull()) {
    asText(std::string(), colFormat);
    return;
  }
  const TZelEDataFormats& df = RunFormat().Formats();
  auto numericFormat = [&](TCellType ct) {
    const TFieldType ft = ct == ctCurrency ? ftCurrency : ct == ctInteger ? ftInteger : ftFloat;
    std::string f = GetNumberFormat(ft, ct == ctCurrency ? 2 : 0, df.DecimalSeparator, df.CurrencyString);
    return f.empty() ? std::string("General") : CalcFormatCode(f, df.DecimalSeparator, df.CurrencyString);
  };
  if (field && CellTextReplaced()) {
    double d = 0;
    const bool numeric = cellType == ctInteger || cellType == ctDouble || cellType == ctCurrency;
    if (!text.empty() && numeric && ReadCellNumber(text, d)) {
      number(d, colFormat.empty() || colFormat == "@" ? numericFormat(cellType) : colFormat);
      return;
    }
    if (!text.empty() && cellType != ctString && cellType != ctMEMO) {
      ++unreadTexts_;
      ++Statistic.TotalErrors;
    }
    asText(text, "@");
    return;
  }
  if (field && IsBinaryType(field->DataType())) {
    if (field->DataType() == ftGraphic && v.kind == TZelECellValue::cvBlob) {
      std::unique_ptr<TMemoryStream> s = field->DataSet().CreateBlobStream(*field, bmRead);
      std::string_view image;
      TZelEPictureInfo info;
      if (s && GraphicImage(s->Data(), image, info) && !info.Extension.empty()) {
        pictures_.push_back({sheetRow, sheetCol, std::string(image), info.Extension, info.Width, info.Height});
        lastRow_ = std::max(lastRow_, sheetRow);
        return;
      }
    }
    asText(text, "@");
    return;
  }
  const std::string fieldFormat = field ? TypedFormat(field->DataType(), 0) : std::string();
  // The cell's format: its column's where that fits the value, else the value's own.
  auto formatFor = [&](const std::string& own) { return colFormat.empty() || colFormat == "@" ? own : colFormat; };
  switch (v.kind) {
    case TZelECellValue::cvInteger:
      if (v.Integer > -(int64_t{1} << 53) && v.Integer < (int64_t{1} << 53)) {
        number(static_cast<double>(v.Integer), formatFor("0"));
        return;
      }
      asText(text, "@");
      return;
    case TZelECellValue::cvDouble:
    case TZelECellValue::cvCurrency:
      if (std::isfinite(v.Double)) {
        number(v.Double, formatFor(v.kind == TZelECellValue::cvCurrency ? numericFormat(ctCurrency) : "General"));
        return;
      }
      ++decimalsAsText_;
      asText(text, "@");
      return;
    case TZelECellValue::cvBCD: {
      double d = 0;
      if (ExactDoubleOfDecimal(v.Text, d)) {
        number(d, formatFor("General"));
      } else {
        ++decimalsAsText_;
        asText(v.Text, "@");
      }
      return;
    }
    case TZelECellValue::cvDate:
      if (v.Integer >= kFirstDay && v.Integer <= kLastDay) {
        number(static_cast<double>(v.Integer - kDayNumberOf18991230), fieldFormat.empty() ? DateFormat() : fieldFormat);
      } else {
        ++datesAsText_;
        std::string s;
        AppendDayNumber(s, v.Integer);
        asText(s, "@");
      }
      return;
    case TZelECellValue::cvTime:
      number(static_cast<double>(v.Integer) / 86400000.0, fieldFormat.empty() ? "HH:MM:SS" : fieldFormat);
      return;
    case TZelECellValue::cvDateTime: {
      const int64_t day = v.Integer >= 0 ? v.Integer / 86400000 : -((-v.Integer + 86399999) / 86400000);
      const int64_t ms = v.Integer - day * 86400000;
      if (day >= kFirstDay && day <= kLastDay) {
        number(static_cast<double>(day - kDayNumberOf18991230) + static_cast<double>(ms) / 86400000.0,
               fieldFormat.empty() ? DateFormat() + " HH:MM:SS" : fieldFormat);
      } else {
        ++datesAsText_;
        std::string s;
        AppendTimestamp(s, static_cast<double>(v.Integer));
        asText(s, "@");
      }
      return;
    }
    case TZelECellValue::cvBoolean:
      number(v.Boolean ? 1 : 0, "BOOLEAN");
      return;
    default:
      break;
  }
  // Text: header and footer lines, titles, memos; a constant column typed as a
  // number holds its number as text.
  double d = 0;
  if (!field && (cellType == ctInteger || cellType == ctDouble || cellType == ctCurrency) && ReadCellNumber(text, d)) {
    number(d, formatFor(numericFormat(cellType)));
    return;
  }
  asText(text, "@");
}

void TZelExportToExcel::WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                                        TAlignment alignment, const TFontSpec* font, TColor color) {
  TZelExportToCellFile::WriteMergedData(cellType, row, col, mergeCount, text, alignment, font, color);
  if (sheet_ && mergeCount > 1)
    merges_.push_back({firstRow_ + row, run_.StartColumn + col, run_.StartColumn + col + mergeCount - 1});
}

void TZelExportToExcel::EndRow() {}

void TZelExportToExcel::Flush() {
  if (!sheet_) return;
  if (!block_.empty()) {
    const int top = block_.begin()->first, bottom = block_.rbegin()->first;
    int left = INT32_MAX, right = -1;
    for (const auto& [r, cells] : block_) {
      left = std::min(left, cells.begin()->first);
      right = std::max(right, cells.rbegin()->first);
    }
    std::vector<std::vector<office::TCell>> rows(static_cast<size_t>(bottom - top + 1),
                                                 std::vector<office::TCell>(static_cast<size_t>(right - left + 1)));
    for (auto& [r, cells] : block_)
      for (auto& [c, p] : cells) rows[static_cast<size_t>(r - top)][static_cast<size_t>(c - left)] = p.Cell;
    sheet_->SetBlock(top, left, rows);
    // Formats and looks, set per run of equal neighbours in a row.
    for (const auto& [r, cells] : block_) {
      auto it = cells.begin();
      while (it != cells.end()) {
        auto end = std::next(it);
        int last = it->first;
        while (end != cells.end() && end->first == last + 1 && end->second.Format == it->second.Format) {
          last = end->first;
          ++end;
        }
        if (!it->second.Format.empty()) sheet_->SetCellFormat(r, it->first, last, it->second.Format);
        it = end;
      }
      it = cells.begin();
      while (it != cells.end()) {
        auto end = std::next(it);
        int last = it->first;
        while (end != cells.end() && end->first == last + 1 && end->second.Style == it->second.Style) {
          last = end->first;
          ++end;
        }
        if (it->second.Style != office::TStyle{}) sheet_->SetStyle(r, it->first, last, it->second.Style);
        it = end;
      }
    }
    if (Options.Has(soRowLines)) sheet_->SetRowLines(top, bottom, run_.StartColumn, std::max(right, run_.StartColumn + colCount_ - 1));
    block_.clear();
  }
  for (const auto& m : merges_) sheet_->Merge(m[0], m[1], m[2]);
  merges_.clear();
  // Pictures: each written to a file, put into its cell, and the file deleted.
  for (TPicture& p : pictures_) {
    const std::string file = scratch_->NewName("picture", p.Extension);
    {
      std::FILE* f = std::fopen(file.c_str(), "wb");
      if (!f) throw EZelExportError("Cannot write the picture file " + file);
      const bool ok = std::fwrite(p.Bytes.data(), 1, p.Bytes.size(), f) == p.Bytes.size();
      if (std::fclose(f) != 0 || !ok) throw EZelExportError("Cannot write the picture file " + file);
    }
    const int points = PictureRowPoints(p.Height > 0 ? p.Height : 96);
    int h = PointsTo100mm(points);
    // The picture keeps its proportions at the row's height.
    const int w = p.Width > 0 && p.Height > 0 ? static_cast<int>(std::lround(static_cast<double>(h) * p.Width / p.Height)) : h;
    // A small picture leaves the row as high as its text needs (0.45 cm).
    sheet_->SetRowHeight(p.Row, std::max(h, 452));
    try {
      sheet_->InsertPicture(p.Row, p.Col, file, w, h);
    } catch (...) {
      std::remove(file.c_str());
      throw;
    }
    std::remove(file.c_str());
  }
  pictures_.clear();
}

void TZelExportToExcel::Finish() {
  Flush();
  const int cols = std::max(colCount_, 1);
  sheet_->ShowColumns(run_.StartColumn, run_.StartColumn + cols - 1);
  if (AutoFitColumns) sheet_->FitColumns(run_.StartColumn, run_.StartColumn + cols - 1);
  // The header lines and titles stay in view.
  if (run_.FreezeFixed && AddTitle) sheet_->FreezeRows(firstRow_ + static_cast<int>(Header.size()) + TitleRows());
  if (!run_.SheetPassword.empty()) sheet_->Protect(run_.SheetPassword);
  const std::string stored = scratch_->NewName("workbook", store_.Extension);
  book_->Store(stored, store_.Filter);
  CopyFileInto(stored, [this](std::string_view bytes) { WriteString(bytes); });
  std::remove(stored.c_str());
}

void TZelExportToExcel::WriteFooter() {
  TZelExportToCellFile::WriteFooter();
  // The footer is the last thing of a file that completes: it is stored now.
  if (book_ && sheet_) Finish();
}

void TZelExportToExcel::CloseFile() {
  try {
    TZelExportToCellFile::CloseFile();
  } catch (...) {
    if (book_) book_->Close();
    book_.reset();
    sheet_ = nullptr;
    throw;
  }
  // Closed without storing: a failed run stores nothing.
  if (book_) book_->Close();
  book_.reset();
  sheet_ = nullptr;
  block_.clear();
  pictures_.clear();
  merges_.clear();
}

}  // namespace korvane
