#include "report/RvoReport.h"

#include <algorithm>
#include <cmath>

#include "engine/sysutils.h"

namespace korvane::report {

namespace {

constexpr double kEps = 1e-6;

// Length in bytes of the UTF-8 character starting with byte c.
size_t CharLen(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 1;
}

// Byte offsets of the character boundaries of s (0 and s.size() included).
std::vector<size_t> CharBounds(std::string_view s) {
  std::vector<size_t> b{0};
  for (size_t i = 0; i < s.size();) {
    i = std::min(s.size(), i + CharLen(static_cast<unsigned char>(s[i])));
    b.push_back(i);
  }
  return b;
}

// The longest leading part of word that fits width (possibly empty).
std::string_view FittingPrefix(std::string_view word, double width,
                               const std::function<double(std::string_view)>& measure) {
  const std::vector<size_t> b = CharBounds(word);
  size_t lo = 0, hi = b.size() - 1;  // characters: lo fits, find the largest
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (measure(word.substr(0, b[mid])) <= width + kEps) lo = mid;
    else hi = mid - 1;
  }
  return word.substr(0, b[lo]);
}

}  // namespace

std::vector<std::string> BreakLines(std::string_view text, double width, bool keepWhole,
                                    const std::function<double(std::string_view)>& measure) {
  std::vector<std::string> out;
  std::string current;
  std::string stripped;
  stripped.reserve(text.size());
  for (char c : text)
    if (c != '\n') stripped += c;
  std::string_view rest = stripped;
  for (;;) {
    const size_t cr = rest.find('\r');
    std::string_view line = rest.substr(0, cr);
    if (keepWhole) {
      out.emplace_back(line);
    } else {
      current.clear();
      bool any = false;  // a word is on the current line
      size_t p = 0;
      while (p < line.size()) {
        size_t end = line.find_first_of(" -", p);
        end = end == std::string_view::npos ? line.size() : end + 1;
        std::string_view word = line.substr(p, end - p);
        p = end;
        if (measure(current + std::string(word)) <= width + kEps) {
          current += word;
          any = true;
          continue;
        }
        if (any) {
          out.push_back(current);
          current.clear();
          any = false;
        }
        if (measure(word) <= width + kEps) {
          current = word;
          any = true;
        } else {
          // Too wide for any line: only what fits stays, the rest is lost.
          out.emplace_back(FittingPrefix(word, width, measure));
        }
      }
      if (any || out.empty() || line.empty()) out.push_back(current);
    }
    if (cr == std::string_view::npos) break;
    rest = rest.substr(cr + 1);
  }
  return out;
}

std::string FitNumberText(const TRvoValue& v, double width,
                          const std::function<double(std::string_view)>& measure, bool& changed) {
  changed = false;
  std::string full = ValueText(v);
  if (measure(full) <= width + kEps) return full;
  const double d = v.kind == TRvoValue::Integer ? static_cast<double>(v.i) : v.f;
  changed = true;
  for (int digits = 15; digits >= 1; --digits) {
    std::string t = GeneralNumber(d, digits);
    if (t != full && measure(t) <= width + kEps) return t;
  }
  // Not one digit fits: marks that no one reads as a number.
  std::string marks = "#";
  while (measure(marks + "#") <= width + kEps && marks.size() < 64) marks += '#';
  return marks;
}

const char* BandTypeName(TRvoBandType t) {
  switch (t) {
    case TRvoBandType::rbTitle: return "Title";
    case TRvoBandType::rbPageHeader: return "PageHeader";
    case TRvoBandType::rbDetail: return "Detail";
    case TRvoBandType::rbPageFooter: return "PageFooter";
    case TRvoBandType::rbSummary: return "Summary";
    case TRvoBandType::rbGroupHeader: return "GroupHeader";
    case TRvoBandType::rbGroupFooter: return "GroupFooter";
    case TRvoBandType::rbSubDetail: return "SubDetail";
    case TRvoBandType::rbColumnHeader: return "ColumnHeader";
    case TRvoBandType::rbOverlay: return "Overlay";
    case TRvoBandType::rbChild: return "Child";
  }
  return "";
}

// --- Printables ---------------------------------------------------------------------

TRvoPrintable::TRvoPrintable(TRvoBand& band) : band_(&band) {
  Width = band.Report().PxToNative(10);
  Height = band.Report().PxToNative(10);
}

TRvoRep& TRvoPrintable::Report() const { return band_->Report(); }

double TRvoPrintable::PrintWidth() const {
  return AlignToBand ? std::max(0.0, std::min(Width, band_->Width())) : Width;
}

double TRvoPrintable::PrintLeft() const {
  if (!AlignToBand) return Left;
  const double bw = band_->Width();
  switch (Alignment) {
    case taRightJustify: return bw - PrintWidth();
    case taCenter: return (bw - PrintWidth()) / 2;
    default: return 0;
  }
}

TRvoCustomLabel::TRvoCustomLabel(TRvoBand& band) : TRvoPrintable(band) {}

TRvoFontSpec TRvoCustomLabel::Font() const { return font_ ? *font_ : Report().Font; }

void TRvoCustomLabel::SetFont(const TRvoFontSpec& font) {
  font_ = font;
  if (autoSize_) DoAutoSize();
}

void TRvoCustomLabel::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  if (autoSize_) DoAutoSize();
}

void TRvoCustomLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  if (on) DoAutoSize();
}

void TRvoCustomLabel::DoAutoSize() {
  TRvoMetrics& m = Report().Metrics();
  const TRvoFontSpec f = Font();
  double widest = 0;
  for (const std::string& line : BreakLines(caption_, 0, true, [](std::string_view) { return 0.0; }))
    widest = std::max(widest, m.TextWidth(f, line));
  if (Frame.DrawLeft) widest += Frame.NativeWidth();
  if (Frame.DrawRight) widest += Frame.NativeWidth();
  const double right = Left + Width;
  const double centre = Left + Width / 2;
  Width = widest;
  if (Alignment == taRightJustify) Left = right - Width;
  else if (Alignment == taCenter) Left = centre - Width / 2;
  Height = std::max(Height, m.LineHeight(f) + Report().PxToNative(1));
}

std::vector<std::string> TRvoCustomLabel::FormatLines(std::string_view text) const {
  TRvoMetrics& m = Report().Metrics();
  const TRvoFontSpec f = Font();
  // A text sized to itself stays whole, unless it is wider than the band it is
  // aligned on: then it is broken at the band's width rather than run off the page.
  const double w = PrintWidth();
  return BreakLines(text, w, autoSize_ && w >= Width, [&](std::string_view s) { return m.TextWidth(f, s); });
}

size_t TRvoCustomLabel::DrawLines(TRvoCanvas& canvas, double x, double y, const std::vector<std::string>& lines) {
  TRvoRep& rep = Report();
  TRvoMetrics& m = rep.Metrics();
  const TRvoFontSpec f = Font();
  const double left = x + PrintLeft();
  const double top = y + Top;
  const double width = PrintWidth();
  if (!Transparent) canvas.FillRect(left, top, width, Height, Color);
  const double fw = Frame.NativeWidth();
  const double tx = left + (Frame.DrawLeft ? fw : 0);
  const double ty0 = top + (Frame.DrawTop ? fw : 0);
  const double lh = m.LineHeight(f);
  size_t drawn = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const double ty = ty0 + static_cast<double>(i) * lh;
    if (ty + lh > top + Height + kEps) break;  // a printable never grows
    const std::string& line = lines[i];
    ++drawn;
    if (line.empty()) continue;
    double lx = tx;
    if (Alignment != taLeftJustify) {
      const double w = m.TextWidth(f, line);
      lx = Alignment == taRightJustify ? left + width - w : left + (width - w) / 2;
    }
    canvas.Text(lx, ty, f, line, left, top, width, Height);
  }
  if (Frame.Any()) {
    const double r = left + width, b = top + Height;
    if (Frame.DrawTop) canvas.Line(left, top, r, top, Frame.Color, fw, Frame.Style);
    if (Frame.DrawBottom) canvas.Line(left, b, r, b, Frame.Color, fw, Frame.Style);
    if (Frame.DrawLeft) canvas.Line(left, top, left, b, Frame.Color, fw, Frame.Style);
    if (Frame.DrawRight) canvas.Line(r, top, r, b, Frame.Color, fw, Frame.Style);
  }
  return drawn;
}

void TRvoCustomLabel::DrawText(TRvoCanvas& canvas, double x, double y, std::string_view text) {
  const std::vector<std::string> lines = FormatLines(text);
  const size_t drawn = DrawLines(canvas, x, y, lines);
  // What the page shows of the text: less when lines did not fit the height or a
  // word did not fit the width.
  size_t shown = 0, whole = 0;
  for (size_t i = 0; i < drawn; ++i) shown += lines[i].size();
  for (char c : text) whole += (c != '\r' && c != '\n');
  if (shown < whole) ++Report().stats_.TextsCut;
}

void TRvoCustomLabel::Print(TRvoCanvas& canvas, double x, double y) {
  DrawText(canvas, x, y, PrintText());
}

TRvoExpr::TRvoExpr(TRvoBand& band) : TRvoCustomLabel(band) { SetCaption("(none)"); }

void TRvoExpr::SetExpression(std::string expression) {
  expression_ = std::move(expression);
  prepared_ = false;
  SetCaption(expression_.empty() ? std::string("(none)") : expression_);
}

void TRvoExpr::Prepare() {
  parsed_.Parse(expression_);
  prepared_ = true;
}

TRvoValue TRvoExpr::Value() const {
  if (!prepared_) {
    TRvoExpression e;
    e.Parse(expression_);
    return e.Evaluate(Report().DataSet, Report().Functions());
  }
  return parsed_.Evaluate(Report().DataSet, Report().Functions());
}

void TRvoExpr::Print(TRvoCanvas& canvas, double x, double y) {
  const TRvoValue v = Value();
  if (v.IsNumber()) {
    TRvoRep& rep = Report();
    TRvoMetrics& m = rep.Metrics();
    const TRvoFontSpec f = Font();
    std::string text;
    if (!Mask.empty()) {
      static const TFormatSettings fs;
      text = FormatFloat(Mask, v.kind == TRvoValue::Integer ? static_cast<double>(v.i) : v.f, fs);
      text = BreakLines(text, PrintWidth(), false, [&](std::string_view s) { return m.TextWidth(f, s); }).front();
    } else {
      // A number is one word, and never cut: one too wide is rounded.
      double avail = PrintWidth();
      if (Frame.DrawLeft) avail -= Frame.NativeWidth();
      if (Frame.DrawRight) avail -= Frame.NativeWidth();
      bool changed = false;
      text = FitNumberText(v, avail, [&](std::string_view s) { return m.TextWidth(f, s); }, changed);
      if (changed) {
        if (text.find('#') != std::string::npos) ++rep.stats_.NumbersHidden;
        else ++rep.stats_.NumbersRounded;
      }
    }
    DrawLines(canvas, x, y, {text});
    return;
  }
  DrawText(canvas, x, y, ValueText(v));
}

// --- Bands ----------------------------------------------------------------------------

TRvoBand::TRvoBand(TRvoRep& report, TRvoBandType type)
    : Height(report.PxToNative(40)), report_(&report), type_(type) {}

double TRvoBand::Width() const {
  switch (type_) {
    case TRvoBandType::rbDetail:
    case TRvoBandType::rbColumnHeader:
    case TRvoBandType::rbSubDetail:
    case TRvoBandType::rbChild:
    case TRvoBandType::rbGroupHeader:
    case TRvoBandType::rbGroupFooter: return report_->ColumnWidth();
    default: return report_->PrintableWidth();
  }
}

void TRvoBand::Placed(TRvoPrintable& p) {
  if (auto* label = dynamic_cast<TRvoCustomLabel*>(&p)) {
    // A new text printable takes the band's font: its size follows.
    label->Width = 0;
    if (label->AutoSize()) label->DoAutoSize();
  }
  // Placement in whole pixels: 1, then 10 pixels right of the rightmost printable.
  const TRvoRep& rep = *report_;
  int left = 1;
  for (const auto& q : printables_) {
    const int end = rep.NativeToPx(q.get() == &p ? 0 : q->Left) + rep.NativeToPx(q.get() == &p ? 0 : q->Width);
    if (left < end) left = end + 10;
  }
  p.Left = rep.PxToNative(left);
}

void TRvoBand::Remove(const TRvoPrintable& p) {
  std::erase_if(printables_, [&](const std::unique_ptr<TRvoPrintable>& q) { return q.get() == &p; });
}

// --- Report -------------------------------------------------------------------------------

TRvoRep::TRvoRep(TRvoMetrics& metrics, double screenDpi, bool usMeasure)
    : metrics_(&metrics), screenDpi_(screenDpi > 0 ? screenDpi : 96) {
  if (usMeasure) {
    Page.PaperSize = TRvoPaperSize::Letter;
    Page.TopMargin = Page.BottomMargin = Page.LeftMargin = Page.RightMargin = 127;
  }
  functions_["PAGENUMBER"] = TRvoValue::MakeInteger(0);
  functions_["COLUMNNUMBER"] = TRvoValue::MakeInteger(0);
  functions_["REPORTTITLE"] = TRvoValue::MakeText("");
}

TRvoRep::~TRvoRep() = default;

int TRvoRep::NativeToPx(double native) const {
  return static_cast<int>(std::lround(native * screenDpi_ / 254.0));
}

double TRvoRep::PaperWidth() const {
  const TRvoPaperInfo& p = PaperInfo(Page.PaperSize);
  double w = p.WidthMM * 10, l = p.LengthMM * 10;
  if (Page.PaperSize == TRvoPaperSize::Default || Page.PaperSize == TRvoPaperSize::Custom) {
    w = Page.CustomWidth;
    l = Page.CustomLength;
  }
  return Page.Orientation == TRvoOrientation::poLandscape ? l : w;
}

double TRvoRep::PaperLength() const {
  const TRvoPaperInfo& p = PaperInfo(Page.PaperSize);
  double w = p.WidthMM * 10, l = p.LengthMM * 10;
  if (Page.PaperSize == TRvoPaperSize::Default || Page.PaperSize == TRvoPaperSize::Custom) {
    w = Page.CustomWidth;
    l = Page.CustomLength;
  }
  return Page.Orientation == TRvoOrientation::poLandscape ? w : l;
}

double TRvoRep::PrintableWidth() const { return PaperWidth() - Page.LeftMargin - Page.RightMargin; }

double TRvoRep::ColumnWidth() const {
  const int cols = std::max(1, Page.Columns);
  return (PrintableWidth() - Page.ColumnSpace * (cols - 1)) / cols;
}

TRvoBand* TRvoRep::FindBand(TRvoBandType t) const {
  for (const auto& b : bands_)
    if (b->BandType() == t) return b.get();
  return nullptr;
}

bool TRvoRep::SetHasBand(TRvoBandType t, bool on) {
  TRvoBand* b = FindBand(t);
  if (on) {
    if (b) return false;
    auto nb = std::make_unique<TRvoBand>(*this, t);
    const std::string base = std::string(BandTypeName(t)) + "Band";
    int n = 1;
    auto taken = [&](const std::string& name) {
      return std::any_of(bands_.begin(), bands_.end(), [&](const auto& x) { return x->Name == name; });
    };
    while (taken(base + std::to_string(n))) ++n;
    nb->Name = base + std::to_string(n);
    bands_.push_back(std::move(nb));
    return true;
  }
  if (b) {
    for (const auto& other : bands_) {
      if (other->LinkBand == b) other->LinkBand = nullptr;
      if (other->ChildBand == b) other->ChildBand = nullptr;
    }
    std::erase_if(bands_, [&](const std::unique_ptr<TRvoBand>& x) { return x.get() == b; });
  }
  return false;
}

std::vector<TRvoPrintable*> TRvoRep::AllPrintables() const {
  std::vector<TRvoPrintable*> out;
  for (const auto& b : bands_)
    for (const auto& p : b->Printables()) out.push_back(p.get());
  return out;
}

double TRvoRep::BandHeightWithLinks(const TRvoBand& band) const {
  double h = band.Height;
  int guard = 0;
  for (const TRvoBand* l = band.LinkBand; l && l != &band && guard < 64; l = l->LinkBand, ++guard) h += l->Height;
  return h;
}

double TRvoRep::FooterSize() const {
  double size = 0;
  for (const auto& b : bands_) {
    if (b->BandType() != TRvoBandType::rbPageFooter || !b->Enabled) continue;
    int guard = 0;
    for (const TRvoBand* c = b.get(); c && guard < 64; c = c->ChildBand, ++guard) size += c->Height;
  }
  return size;
}

void TRvoRep::Run(TRvoPrinter& printer) {
  if (!available_) return;
  available_ = false;
  lastPage_ = false;
  stats_ = {};
  printer_ = &printer;
  canvas_ = nullptr;
  struct Restore {
    TRvoRep* r;
    ~Restore() {
      r->available_ = true;
      r->printer_ = nullptr;
      r->canvas_ = nullptr;
      r->openingPage_ = false;
    }
  } restore{this};

  TRvoJobSettings job;
  job.Title = ReportTitle;
  job.PaperSize = Page.PaperSize;
  job.PaperWidth = PaperWidth();
  job.PaperLength = PaperLength();
  job.Orientation = Page.Orientation;
  job.Copies = PrinterSettings.Copies;
  job.Duplex = PrinterSettings.Duplex;
  job.Bin = PrinterSettings.OutputBin;
  job.PrinterIndex = PrinterSettings.PrinterIndex;
  job.FirstPage = PrinterSettings.FirstPage;
  job.LastPage = PrinterSettings.LastPage;
  job.Compression = Options.Compression;
  printer.BeginDoc(job);

  currentY_ = -1;
  pageCount_ = 0;
  currentColumn_ = std::max(1, Page.Columns);
  currentX_ = Page.LeftMargin;
  columnTop_ = Page.TopMargin;
  footerSize_ = FooterSize();
  functions_["PAGENUMBER"] = TRvoValue::MakeInteger(0);
  functions_["COLUMNNUMBER"] = TRvoValue::MakeInteger(0);
  functions_["REPORTTITLE"] = TRvoValue::MakeText(ReportTitle);
  for (TRvoPrintable* p : AllPrintables()) p->Prepare();

  try {
    DataLoop();
    lastPage_ = true;
    if (!printer.Cancelled()) EndPage();
  } catch (...) {
    printer.AbortDoc();
    throw;
  }
  if (printer.Cancelled()) printer.AbortDoc();
  else printer.EndDoc();
}

void TRvoRep::DataLoop() {
  auto empty = [&] {
    if (!PrintIfEmpty) return;
    if (TRvoBand* b = FindBand(TRvoBandType::rbTitle)) PrintBand(*b);
    if (TRvoBand* b = FindBand(TRvoBandType::rbDetail)) PrintBand(*b);
    if (TRvoBand* b = FindBand(TRvoBandType::rbSummary)) PrintBand(*b);
    if (pageCount_ == 0) NewPageOrColumn();
  };
  TDataSet* ds = DataSet;
  if (!ds || !ds->Active()) return empty();
  // The walk is not shown in views of the dataset, and the cursor goes back to
  // its record afterwards.
  struct TCursorGuard {
    TDataSet* ds;
    int recNo;
    ~TCursorGuard() {
      try {
        if (ds->Active() && recNo > 0) ds->SetRecNo(recNo);
      } catch (...) {
      }
      ds->EnableControls();
    }
  } guard{ds, ds->RecNo()};
  ds->DisableControls();
  ds->First();
  if (ds->Eof()) return empty();
  if (TRvoBand* b = FindBand(TRvoBandType::rbTitle)) PrintBand(*b);
  if (pageCount_ <= 1)
    if (TRvoBand* b = FindBand(TRvoBandType::rbColumnHeader); b && b->Enabled) PrintBand(*b);
  const int total = std::max(1, ds->RecordCount());
  TRvoBand* detail = FindBand(TRvoBandType::rbDetail);
  while (!ds->Eof()) {
    if (OnRecord) OnRecord(*printer_);
    printer_->ProcessMessages();
    if (printer_->Cancelled()) return;
    ++stats_.Records;
    if (detail) PrintBand(*detail);
    ds->Next();
    printer_->SetProgress(static_cast<int>(static_cast<int64_t>(stats_.Records) * 100 / total));
  }
  if (pageCount_ == 0) NewPageOrColumn();
  if (TRvoBand* b = FindBand(TRvoBandType::rbSummary)) PrintBand(*b);
}

void TRvoRep::PrintBand(TRvoBand& band) {
  if (!printer_) throw ERvoError("Illegal call to NewPage");
  if (!band.Enabled) return;
  const TRvoBandType t = band.BandType();
  const bool pageBand = t == TRvoBandType::rbTitle || t == TRvoBandType::rbPageHeader ||
                        t == TRvoBandType::rbPageFooter || t == TRvoBandType::rbOverlay;
  if (pageCount_ == 0) {
    NewPageOrColumn();
  } else if (!openingPage_) {
    // A band on a page just opened for it (the column header that opening prints)
    // opens no other page: on paper too small for it, it overflows instead.
    if (band.ForceNewPage && !pageBand) {
      NewPageOrColumn();
    } else if (t != TRvoBandType::rbPageFooter) {
      const double h = std::round(BandHeightWithLinks(band));
      const double spaceLeft = std::round(PaperLength() - Page.BottomMargin - footerSize_ - currentY_);
      const double usable = PaperLength() - Page.TopMargin - Page.BottomMargin;
      if (h > spaceLeft && h <= usable) NewPageOrColumn();
    }
  }
  DrawBand(band);
}

void TRvoRep::DrawBand(TRvoBand& band) {
  const double w = band.Width();
  canvas_->FillRect(currentX_, currentY_, w, band.Height, band.Color);
  for (const auto& p : band.Printables())
    if (p->Enabled) p->Print(*canvas_, currentX_, currentY_);
  if (band.Frame.Any()) {
    const TRvoFrame& f = band.Frame;
    const double fw = f.NativeWidth(), l = currentX_, t = currentY_, r = l + w, b = t + band.Height;
    if (f.DrawTop) canvas_->Line(l, t, r, t, f.Color, fw, f.Style);
    if (f.DrawBottom) canvas_->Line(l, b, r, b, f.Color, fw, f.Style);
    if (f.DrawLeft) canvas_->Line(l, t, l, b, f.Color, fw, f.Style);
    if (f.DrawRight) canvas_->Line(r, t, r, b, f.Color, fw, f.Style);
  }
  currentY_ += band.Height;
  if (band.ChildBand && band.ChildBand != &band) {
    TRvoBand* child = band.ChildBand;
    if (child->Enabled) DrawBand(*child);
  }
}

void TRvoRep::NewPageOrColumn() {
  const int cols = std::max(1, Page.Columns);
  if (currentColumn_ >= cols) {
    currentColumn_ = 1;
    currentX_ = Page.LeftMargin;
    StartPage();  // ends the current page first
  } else {
    currentX_ += ColumnWidth() + Page.ColumnSpace;
    currentY_ = columnTop_;
    ++currentColumn_;
  }
  functions_["COLUMNNUMBER"] = TRvoValue::MakeInteger(currentColumn_);
  if (!(currentColumn_ == 1 && pageCount_ == 1)) {
    if (TRvoBand* b = FindBand(TRvoBandType::rbColumnHeader)) {
      const bool was = openingPage_;
      openingPage_ = true;
      PrintBand(*b);
      openingPage_ = was;
    }
  }
}

void TRvoRep::EndPage() {
  if (pageCount_ == 0 || !canvas_) return;
  currentY_ = PaperLength() - Page.BottomMargin - footerSize_;
  currentX_ = Page.LeftMargin;
  if (!(lastPage_ && !Options.LastPageFooter)) {
    const bool was = openingPage_;
    openingPage_ = true;
    for (const auto& b : bands_)
      if (b->BandType() == TRvoBandType::rbPageFooter) PrintBand(*b);
    openingPage_ = was;
  }
  if (Frame.Any()) {
    const double fw = Frame.NativeWidth(), l = Page.LeftMargin, t = Page.TopMargin;
    const double r = PaperWidth() - Page.RightMargin, b = PaperLength() - Page.BottomMargin;
    if (Frame.DrawTop) canvas_->Line(l, t, r, t, Frame.Color, fw, Frame.Style);
    if (Frame.DrawBottom) canvas_->Line(l, b, r, b, Frame.Color, fw, Frame.Style);
    if (Frame.DrawLeft) canvas_->Line(l, t, l, b, Frame.Color, fw, Frame.Style);
    if (Frame.DrawRight) canvas_->Line(r, t, r, b, Frame.Color, fw, Frame.Style);
  }
}

void TRvoRep::StartPage() {
  if (!printer_) throw ERvoError("Illegal call to NewPage");
  EndPage();
  ++pageCount_;
  functions_["PAGENUMBER"] = TRvoValue::MakeInteger(pageCount_);
  canvas_ = &printer_->NewPage();
  currentY_ = Page.TopMargin;
  const bool was = openingPage_;
  openingPage_ = true;
  if (pageCount_ > 1 || Options.FirstPageHeader)
    if (TRvoBand* b = FindBand(TRvoBandType::rbPageHeader)) PrintBand(*b);
  openingPage_ = was;
  columnTop_ = currentY_;
  if (pageCount_ == 1)
    if (TRvoBand* b = FindBand(TRvoBandType::rbTitle)) columnTop_ += b->Height;
}

}  // namespace korvane::report
