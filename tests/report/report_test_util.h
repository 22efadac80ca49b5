// Fixed text measures and a recording printer, so that report layouts can be
// checked without fonts or a display.
#pragma once

#include <string>
#include <vector>

#include "report/RvoExpr.h"
#include "report/RvoPrinter.h"

namespace korvane::test {

// Every character is 2 × size tenths of a millimetre wide (16 at 8 points); a
// line is 4 × size high.
class TFixedMetrics : public report::TRvoMetrics {
 public:
  double TextWidth(const report::TRvoFontSpec& f, std::string_view s) override {
    return static_cast<double>(report::Utf8Length(s)) * 2 * f.Size;
  }
  double LineHeight(const report::TRvoFontSpec& f) override { return 4 * f.Size; }
  double Ascent(const report::TRvoFontSpec& f) override { return 3 * f.Size; }
};

struct TTextItem {
  double x, y;
  std::string text;
  double clipX, clipY, clipW, clipH;
};

struct TRecordedPage {
  int number = 0;
  double width = 0, height = 0;
  int begun = 0, ended = 0;
  std::vector<TTextItem> texts;
  int lines = 0;
  // Texts in drawing order, joined by "|".
  std::string Joined() const {
    std::string s;
    for (const TTextItem& t : texts) s += (s.empty() ? "" : "|") + t.text;
    return s;
  }
  bool Has(const std::string& text) const {
    for (const TTextItem& t : texts)
      if (t.text == text) return true;
    return false;
  }
  int Count(const std::string& text) const {
    int n = 0;
    for (const TTextItem& t : texts) n += t.text == text;
    return n;
  }
};

class TRecordingCanvas : public report::TRvoCanvas {
 public:
  explicit TRecordingCanvas(TRecordedPage& page) : page_(&page) {}
  void BeginPage(double w, double h) override {
    page_->width = w;
    page_->height = h;
    ++page_->begun;
  }
  void EndPage() override { ++page_->ended; }
  void FillRect(double, double, double, double, report::TRvoRGB) override {}
  void Line(double, double, double, double, report::TRvoRGB, double, report::TRvoPenStyle) override {
    ++page_->lines;
  }
  void Text(double x, double y, const report::TRvoFontSpec&, std::string_view s, double cx, double cy,
            double cw, double ch) override {
    page_->texts.push_back({x, y, std::string(s), cx, cy, cw, ch});
  }
  void Image(double, double, double, double, std::string_view) override {}

 private:
  TRecordedPage* page_;
};

// Keeps every page it is handed, with what was drawn on it.
class TRecordingPrinter : public report::TRvoPrinter {
 public:
  explicit TRecordingPrinter(report::TRvoDestination d = report::TRvoDestination::PageImages)
      : TRvoPrinter(d) {}
  std::vector<TRecordedPage> pages;  // pages that reached the device, in order
  std::vector<std::unique_ptr<TRecordingCanvas>> canvases;
  int begins = 0, ends = 0, aborts = 0, endPages = 0;
  std::vector<int> available;
  int cancelAfterPages = 0;  // cancels once this many pages are available

 protected:
  void DoBeginDoc(const report::TRvoJobSettings&) override {
    ++begins;
    pages.reserve(10000);
  }
  report::TRvoCanvas& DoBeginPage(int n) override {
    pages.push_back({});
    pages.back().number = n;
    canvases.push_back(std::make_unique<TRecordingCanvas>(pages.back()));
    return *canvases.back();
  }
  void DoEndPage(int) override { ++endPages; }
  void DoEndDoc() override { ++ends; }
  void DoAbortDoc() override { ++aborts; }
  void DoPageAvailable(int n) override {
    available.push_back(n);
    if (cancelAfterPages > 0 && n >= cancelAfterPages) Cancel();
  }
};

}  // namespace korvane::test
