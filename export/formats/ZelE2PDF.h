#pragma once
// PDF document: the rows as a table on US Letter pages (portrait or landscape,
// widened in whole page widths for wide tables, and scaled down to fit when
// wider than the 14,400 points readers draw). Every value is wrapped in its
// column and each row is as tall as its tallest cell; a row goes on a page
// only when it fits, and one taller than a page continues on the next.
//
// Text is UTF-8 in any script: each font is a Type0 font with an embedded
// TrueType subset and a ToUnicode map, every distinct character with its own
// code, so a reader extracts the stored text (even where no installed face
// draws a character and the missing-glyph box is shown). Right-to-left text is
// put in display order and shaped.
//
// Pages are written as they end (their content Flate-compressed), pictures as
// they are drawn; the fonts, the page tree and the cross-reference table come
// at the end. Memory stays flat whatever the number of records.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/ZelE2Cell.h"
#include "export/ZelESettings.h"

namespace korvane {

class TFontSet;
class TFontFace;
struct TPlacedGlyph;

enum TZelEPDFPageLayout : int {
  eplDefault = 0,
  eplSinglePage,
  eplOneColumn,
  eplTwoColumnLeft,
  eplTwoColumnRight,
  eplTwoPageLeft,
  eplTwoPageRight,
};
enum TPDFCompressionMethod : int { cmFastest = 0, cmNormal, cmMaxCompress };
enum TPDFFilterDecode : int { fdASCIIHex = 0, fdASCII85, fdLZW, fdDCT, fdFlate };

// Settings of the PDF format.
struct TZelEPDFSettings {
  bool HideToolBar = false, HideMenuBar = false, HideWindowUI = false, FitWindow = false, CenterWindow = false;
  TZelEPDFPageLayout PageLayout = eplDefault;
  TPDFCompressionMethod CompressionMethod = cmNormal;
  TPDFFilterDecode FontDecode = fdASCIIHex;
  TPDFFilterDecode ImageDecode = fdFlate;
  bool operator==(const TZelEPDFSettings&) const = default;

  static constexpr const char* kSection = "PDFFormat";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TZelEPDFSettings>>& Keys() {
    using S = TZelEPDFSettings;
    static const std::vector<TZelESettingKey<S>> keys = {
        BoolKey("HideToolBar", &S::HideToolBar),
        BoolKey("HideMenuBar", &S::HideMenuBar),
        BoolKey("HideWindowUI", &S::HideWindowUI),
        BoolKey("FitWindow", &S::FitWindow),
        BoolKey("CenterWindow", &S::CenterWindow),
        OrdinalKey("PageLayout", &S::PageLayout,
                   {"default", "single-page", "one-column", "two-column-left", "two-column-right", "two-page-left",
                    "two-page-right"}),
        OrdinalKey("CompressionMethod", &S::CompressionMethod, {"fastest", "normal", "max"}),
        OrdinalKey("FontDecode", &S::FontDecode, {"ascii-hex", "ascii85", "lzw", "dct", "flate"}),
        OrdinalKey("ImageDecode", &S::ImageDecode, {"ascii-hex", "ascii85", "lzw", "dct", "flate"}),
    };
    return keys;
  }
};

// Helpers of the format, open to tests.
namespace pdf {
// A literal string: ASCII text escaped ("(", ")", "\", line breaks), anything
// else as UTF-16BE with its byte-order mark.
std::string LiteralString(std::string_view utf8);
// A name ("/" not included): bytes outside "!".."~" and delimiters as #hh.
std::string Name(std::string_view s);
// Data encoded by a stream filter: hex (ending ">"), ASCII85 (ending "~>") or a
// zlib stream at the deflate level of the compression method (LZW and DCT
// write Flate). filterName receives the filter to declare.
std::string Encode(std::string_view data, TPDFFilterDecode filter, TPDFCompressionMethod level,
                   std::string& filterName);
int DeflateLevel(TPDFCompressionMethod m);
// Wraps a line of text to a width: breaks at spaces, else between characters;
// each piece is [start, end) of the text. advance(c) is a character's width.
std::vector<std::pair<size_t, size_t>> WrapLine(std::u32string_view text, double width,
                                                const std::function<double(char32_t)>& advance);
// Points of a margin in a measure.
double Points(double value, TZelEMeasure measure);
}  // namespace pdf

class TZelExportToPDF : public TZelExportToCellFile {
 public:
  TZelExportToPDF();
  ~TZelExportToPDF() override;

  // The widest page readers draw; wider tables are scaled down to it.
  static constexpr double kMaxPageWidth = 14400;

  TZelEPDFSettings& Settings() { return FormatSettings.Get<TZelEPDFSettings>(tePDF); }
  const TZelEPDFSettings& Settings() const;

  void GetDefaultExt(std::string& ext) const override { ext = ".PDF"; }
  bool CanAppend() const override { return false; }
  void BeginExecute() override;
  void EndExecute() override;
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void BeginRow() override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                       TAlignment alignment, const TFontSpec* font, TColor color) override;

  // Layout of the file being written (for tests).
  double PageWidth() const { return pageWidth_; }
  double PageHeight() const { return pageHeight_; }
  double Scale() const { return scale_; }
  int PageCount() const { return pageCount_; }

 private:
  struct TFontRef;
  struct TPdfFont;
  struct TPageDeflater;
  struct TCharSlot;
  struct TCellLine {
    uint32_t start, end;  // characters of the cell's text
    double top;           // from the row's top
  };
  struct TCell {
    int col = 0, span = 1;
    bool fullWidth = false;
    std::u32string text;
    std::vector<TCellLine> lines;
    TAlignment alignment = taLeftJustify;
    int fontRef = -1;
    double size = 8;
    TColor color = 0, fontColor = 0;
    double x0 = 0, x1 = 0;
    double height = 0;
    // A picture: its object and drawn size (from the row's top + 1).
    int image = 0;
    double picW = 0, picH = 0;
  };

  void Emit(std::string_view s);
  int NewObject();
  void BeginObject(int n);
  void BeginPage();
  void EndPage();
  void Layout(TCell& c);
  void DrawSegment(double segStart, double segEnd, double rowHeight);
  void DrawLine(const TCell& c, const TCellLine& line, double baseline);
  void EmitRun(double size);
  const TCharSlot& Slot(int fontRef, char32_t c);
  void FlushRules(bool endOfPage);
  void ColumnRule(double x, double top, double bottom);
  static void AppendRule(std::string& out, double x0, double y0, double x1, double y1);
  void ForgetPdfFonts();
  void RecycleCells();
  void EndText();
  static void AppendHundredths(std::string& out, int64_t v);
  static void SkipEscapedCodes(TPdfFont& f);
  int FontRef(const TFontSpec& font);
  int FontRefOf(const TFontSpec& font);
  int PdfFont(const TFontFace& face);
  int PdfFontOf(const TFontFace& face);
  uint16_t Code(TPdfFont& f, const TFontFace& face, uint32_t gid, std::u32string_view text);
  int WriteImage(const TField* field, const std::string& text, double& w, double& h, int col);
  void WriteFonts();
  void WriteStreamObject(int n, const std::string& dict, std::string_view data);
  void Rect(double x, double y, double w, double h, TColor fill, TColor stroke, bool doFill, bool doStroke);
  std::string Num(double v) const;
  static void AppendNum(std::string& out, double v);
  double ContentTop() const { return marginT_; }
  double ContentBottom() const { return pageHeight_ / scale_ - marginB_; }

  // File.
  int64_t offset_ = 0;
  std::vector<int64_t> offsets_;  // by object number; -1 not written yet
  std::vector<int> groups_;       // page-group node per ten pages
  std::vector<int> pages_;        // page objects in order
  int pageCount_ = 0;
  bool pageOpen_ = false;
  std::string content_;
  std::vector<int> pageFonts_, pageImages_;
  std::vector<char> pageFontUsed_;  // by PDF font
  // The font and size the page's text is set in (-1: none yet).
  int tfFont_ = -1;
  // A text object is open; the start of its last line in hundredths of a point.
  bool textOpen_ = false;
  int64_t textX_ = 0, textY_ = 0;
  double tfSize_ = -1;
  // Rules of the page not drawn yet: column rules are drawn as one line over
  // rows that follow one another (x, top and bottom from the page's top).
  struct TColumnRule {
    double x, top, bottom;
  };
  std::vector<TColumnRule> columnRules_;
  std::string rules_;
  // The glyphs of the line being drawn: PDF font, code and the shaper's
  // adjustment (thousandths of the em).
  struct TRunGlyph {
    int pdfFont;
    uint16_t code;
    int adjust;
  };
  std::vector<TRunGlyph> run_;
  std::vector<std::pair<size_t, size_t>> wrapped_;
  // Layout.
  std::vector<double> widths_;
  std::vector<double> columnX_;
  double baseWidth_ = 612, pageWidth_ = 612, pageHeight_ = 792, scale_ = 1;
  double marginL_ = 10, marginT_ = 10, marginR_ = 10, marginB_ = 10;
  double y_ = 0;  // top of the next row, from the page's top (unscaled)
  int pendingSpan_ = 1;
  std::vector<TCell> cells_, spareCells_;
  // Fonts.
  std::vector<std::unique_ptr<TFontRef>> fontRefs_;
  std::map<std::string, int> fontRefOf_;
  std::vector<std::unique_ptr<TPdfFont>> pdfFonts_;
  std::map<std::string, int> pdfFontOf_;
  std::vector<TPlacedGlyph> glyphs_;
  std::u32string shown_;
  // The last font asked for and the last face drawn, to skip the lookups.
  TFontSpec lastFontSpec_;
  int lastFontRef_ = -1;
  const TFontFace* lastFace_ = nullptr;
  int lastPdfFont_ = -1;
  std::unique_ptr<TPageDeflater> deflater_;
  int images_ = 0;
  int64_t unshownChars_ = 0;
};

}  // namespace korvane
