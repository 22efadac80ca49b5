// The banded report: page setup, bands, text printables and the run that lays
// them out on pages.
//
// Every measure is kept in tenths of a millimetre. The design-time unit of the
// builder is the screen pixel at zoom 100 (ScreenDpi); PxToNative and
// NativeToPx convert. Text is measured through the injected TRvoMetrics and the
// pages are drawn through the report printer's canvases.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dataset.h"
#include "report/RvoCanvas.h"
#include "report/RvoExpr.h"
#include "report/RvoPaper.h"
#include "report/RvoPrinter.h"

namespace korvane::report {

class TRvoRep;
class TRvoBand;

enum class TRvoBandType : uint8_t {
  rbTitle, rbPageHeader, rbDetail, rbPageFooter, rbSummary, rbGroupHeader, rbGroupFooter,
  rbSubDetail, rbColumnHeader, rbOverlay, rbChild,
};
const char* BandTypeName(TRvoBandType t);  // "Title", "PageHeader", ...

struct TRvoFrame {
  bool DrawTop = false;
  bool DrawBottom = false;
  bool DrawLeft = false;
  bool DrawRight = false;
  TRvoRGB Color = kRvoBlack;
  TRvoPenStyle Style = TRvoPenStyle::Solid;
  double Width = 1;  // points
  bool Any() const { return DrawTop || DrawBottom || DrawLeft || DrawRight; }
  double NativeWidth() const { return Width * 254.0 / 72.0; }
};

// Breaks text into the lines a printable prints. Line feeds are dropped and each
// carriage return ends a line. With keepWhole every such line stays whole;
// otherwise words (ending after a blank, a hyphen or a carriage return) fill lines
// up to `width`, and a word wider than the whole width keeps only the leading
// characters that fit. Always ends, even when no character fits.
std::vector<std::string> BreakLines(std::string_view text, double width, bool keepWhole,
                                    const std::function<double(std::string_view)>& measure);

// The text of a number that fits `width`: its full text when it fits, else rounded
// to fewer significant digits (exponent form where shorter); "#" marks when not
// even one digit fits. `changed` tells whether the text is not the full value.
std::string FitNumberText(const TRvoValue& v, double width,
                          const std::function<double(std::string_view)>& measure, bool& changed);

// --- Printables --------------------------------------------------------------------

class TRvoPrintable {
 public:
  virtual ~TRvoPrintable() = default;
  TRvoPrintable(const TRvoPrintable&) = delete;
  TRvoPrintable& operator=(const TRvoPrintable&) = delete;
  virtual const char* ClassName() const = 0;

  std::string Name;
  // On the band, tenths of a millimetre.
  double Left = 0;
  double Top = 0;
  double Width = 0;
  double Height = 0;
  TRvoFrame Frame;
  TAlignment Alignment = taLeftJustify;
  bool AlignToBand = false;
  bool Enabled = true;
  TRvoRGB Color = kRvoWhite;
  bool Transparent = false;

  TRvoBand& Band() const { return *band_; }
  TRvoRep& Report() const;
  // Left edge as printed: by the alignment when AlignToBand is on.
  double PrintLeft() const;
  // Width as printed: one aligned on its band is never wider than the band.
  double PrintWidth() const;

  // Called once at the start of a run.
  virtual void Prepare() {}
  // Draws the printable with the band's top-left corner at (x, y).
  virtual void Print(TRvoCanvas& canvas, double x, double y) = 0;

 protected:
  explicit TRvoPrintable(TRvoBand& band);

 private:
  TRvoBand* band_;
};

class TRvoCustomLabel : public TRvoPrintable {
 public:
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool AutoStretch = false;
  bool WordWrap = true;
  // The font: the band's (the report's) unless set.
  TRvoFontSpec Font() const;
  void SetFont(const TRvoFontSpec& font);
  // Applies the automatic size now (the caption or the band changed).
  void DoAutoSize();

  void Print(TRvoCanvas& canvas, double x, double y) override;
  // The text this printable prints now.
  virtual std::string PrintText() { return caption_; }
  // The lines of `text` in this printable's width.
  std::vector<std::string> FormatLines(std::string_view text) const;

 protected:
  explicit TRvoCustomLabel(TRvoBand& band);
  // Draws already formatted lines; answers how many fitted the height.
  size_t DrawLines(TRvoCanvas& canvas, double x, double y, const std::vector<std::string>& lines);
  // Formats and draws a text, counting it as cut when the page shows less of it.
  void DrawText(TRvoCanvas& canvas, double x, double y, std::string_view text);

 private:
  std::string caption_;
  bool autoSize_ = true;
  std::optional<TRvoFontSpec> font_;
};

class TRvoLabel : public TRvoCustomLabel {
 public:
  explicit TRvoLabel(TRvoBand& band) : TRvoCustomLabel(band) {}
  const char* ClassName() const override { return "TRvoLabel"; }
};

class TRvoExpr : public TRvoCustomLabel {
 public:
  explicit TRvoExpr(TRvoBand& band);
  const char* ClassName() const override { return "TRvoExpr"; }
  const std::string& Expression() const { return expression_; }
  void SetExpression(std::string expression);
  std::string Mask;  // number format; empty: the general number format
  bool ResetAfterPrint = false;

  void Prepare() override;
  void Print(TRvoCanvas& canvas, double x, double y) override;
  TRvoValue Value() const;
  std::string PrintText() override { return ValueText(Value()); }

 private:
  std::string expression_;
  TRvoExpression parsed_;
  bool prepared_ = false;
};

// --- Bands -----------------------------------------------------------------------------

class TRvoBand {
 public:
  TRvoBand(TRvoRep& report, TRvoBandType type);
  TRvoBand(const TRvoBand&) = delete;
  TRvoBand& operator=(const TRvoBand&) = delete;

  TRvoRep& Report() const { return *report_; }
  TRvoBandType BandType() const { return type_; }
  std::string Name;
  bool Enabled = true;
  bool ForceNewPage = false;
  bool ForceNewColumn = false;
  bool AlignToBottom = false;
  TRvoBand* LinkBand = nullptr;   // printed together with this band
  TRvoBand* ChildBand = nullptr;  // printed right after this band
  double Height;                  // tenths of a millimetre (40 pixels when created)
  TRvoFrame Frame;
  TRvoRGB Color = kRvoWhite;
  // Width by the band's type and the page setup.
  double Width() const;

  // Creates a printable on the band at the next free left edge (1 pixel, then 10
  // pixels right of the rightmost printable).
  template <class T>
  T& Add() {
    auto p = std::make_unique<T>(*this);
    T& ref = *p;
    printables_.push_back(std::move(p));
    Placed(ref);
    return ref;
  }
  void Remove(const TRvoPrintable& p);
  const std::vector<std::unique_ptr<TRvoPrintable>>& Printables() const { return printables_; }

 private:
  void Placed(TRvoPrintable& p);
  TRvoRep* report_;
  TRvoBandType type_;
  std::vector<std::unique_ptr<TRvoPrintable>> printables_;
};

// --- Report ------------------------------------------------------------------------------

struct TRvoPage {
  double TopMargin = 100;
  double BottomMargin = 100;
  double LeftMargin = 100;
  double RightMargin = 100;
  double ColumnSpace = 0;
  int Columns = 1;
  TRvoOrientation Orientation = TRvoOrientation::poPortrait;
  TRvoPaperSize PaperSize = TRvoPaperSize::A4;
  // Portrait width and length for Custom (set by the user) and Default (as the
  // printer reports them), tenths of a millimetre.
  double CustomWidth = 2100;
  double CustomLength = 2970;
  bool Ruler = true;
};

struct TRvoRepPrinterSettings {
  int Copies = 1;
  bool Duplex = false;
  int FirstPage = 0;
  int LastPage = 0;
  TRvoBin OutputBin = TRvoBin::Auto;
  int PrinterIndex = -1;
};

struct TRvoOptions {
  bool FirstPageHeader = true;
  bool LastPageFooter = true;
  bool Compression = false;
};

// What a run changed on the way to the page, for the caller to report.
struct TRvoRunStats {
  int Records = 0;
  int NumbersRounded = 0;  // printed with fewer digits to fit their cell
  int NumbersHidden = 0;   // not even one digit fitted: printed as "#"
  int TextsCut = 0;        // texts of which only a part fits their cell
};

class TRvoRep {
 public:
  // `usMeasure`: the system measures in inches (Letter, half-inch margins);
  // otherwise A4 and 10 mm margins.
  explicit TRvoRep(TRvoMetrics& metrics, double screenDpi = 96, bool usMeasure = false);
  ~TRvoRep();
  TRvoRep(const TRvoRep&) = delete;
  TRvoRep& operator=(const TRvoRep&) = delete;

  TRvoMetrics& Metrics() const { return *metrics_; }
  double ScreenDpi() const { return screenDpi_; }
  double PxToNative(double px) const { return px * 254.0 / screenDpi_; }
  int NativeToPx(double native) const;

  std::string Name = "RvoRep1";
  TRvoPage Page;
  TRvoRepPrinterSettings PrinterSettings;
  TRvoOptions Options;
  TRvoFontSpec Font;  // Arial 10
  std::string ReportTitle;
  bool PrintIfEmpty = true;
  bool ShowProgress = true;
  TRvoRGB Color = kRvoWhite;
  TRvoFrame Frame;  // around the printable area of each page
  TDataSet* DataSet = nullptr;
  // Run before every record; may cancel the printer (window events, a signal).
  std::function<void(TRvoPrinter&)> OnRecord;

  // Paper as it lies on the page (landscape swaps), tenths of a millimetre.
  double PaperWidth() const;
  double PaperLength() const;
  double PrintableWidth() const;
  double ColumnWidth() const;

  // Band switches.
  bool HasBand(TRvoBandType t) const { return FindBand(t) != nullptr; }
  // Switching on creates the band (answers true when it was created here).
  bool SetHasBand(TRvoBandType t, bool on);
  TRvoBand* FindBand(TRvoBandType t) const;
  const std::vector<std::unique_ptr<TRvoBand>>& Bands() const { return bands_; }
  // Every printable of every band, in band order.
  std::vector<TRvoPrintable*> AllPrintables() const;

  // Named constants: PAGENUMBER, COLUMNNUMBER, REPORTTITLE.
  const TRvoConstants& Functions() const { return functions_; }

  // Lays out every page onto the printer. A run in progress makes the report
  // unavailable; asking for another meanwhile does nothing.
  void Run(TRvoPrinter& printer);
  bool Available() const { return available_; }
  const TRvoRunStats& Stats() const { return stats_; }
  // Run state, for the curious.
  int PageCount() const { return pageCount_; }
  double CurrentY() const { return currentY_; }

  // Printing one band during a run (the data loop's step; public for tests).
  void PrintBand(TRvoBand& band);

 private:
  friend class TRvoCustomLabel;
  friend class TRvoExpr;
  void DataLoop();
  void NewPageOrColumn();
  void StartPage();
  void EndPage();
  void DrawBand(TRvoBand& band);
  double BandHeightWithLinks(const TRvoBand& band) const;
  double FooterSize() const;

  TRvoMetrics* metrics_;
  double screenDpi_;
  std::vector<std::unique_ptr<TRvoBand>> bands_;
  TRvoConstants functions_;
  TRvoRunStats stats_;

  // Run state.
  TRvoPrinter* printer_ = nullptr;
  TRvoCanvas* canvas_ = nullptr;
  bool available_ = true;
  bool lastPage_ = false;
  bool openingPage_ = false;  // bands printed while a page opens open no other
  int pageCount_ = 0;
  int currentColumn_ = 0;
  double currentX_ = 0;
  double currentY_ = -1;
  double columnTop_ = 0;
  double footerSize_ = 0;
};

}  // namespace korvane::report
