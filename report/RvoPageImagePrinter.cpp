#include "report/RvoPageImagePrinter.h"

#include <cmath>

namespace korvane::report {

TRvoPaperGuess GuessPaper(double width, double length) {
  TRvoPaperGuess g;
  if (!(width > 0) || !(length > 0)) return g;
  long w = static_cast<long>(width / 40), l = static_cast<long>(length / 40);
  for (int i = static_cast<int>(TRvoPaperSize::Letter); i <= static_cast<int>(TRvoPaperSize::ESheet); ++i) {
    const TRvoPaperInfo& p = PaperInfo(static_cast<TRvoPaperSize>(i));
    long pw = static_cast<long>(p.WidthMM / 4), pl = static_cast<long>(p.LengthMM / 4);
    if (w == pw && l == pl) g = {static_cast<TRvoPaperSize>(i), TRvoOrientation::poPortrait};
    if (w == pl && l == pw) g = {static_cast<TRvoPaperSize>(i), TRvoOrientation::poLandscape};
  }
  return g;
}

void TRvoPageImagePrinter::DoBeginDoc(const TRvoJobSettings& settings) {
  if (loading_) return;
  loaded_ = false;
  pages_.Begin(settings.Compression);
}

TRvoCanvas& TRvoPageImagePrinter::DoBeginPage(int) { return recorder_; }

void TRvoPageImagePrinter::DoEndPage(int) {
  try {
    pages_.AddPage(recorder_.TakeImage());
  } catch (const ERvoStoreError& e) {
    throw ERvoError(e.what());
  }
}

void TRvoPageImagePrinter::DoEndDoc() {
  if (!loading_) pages_.Finish();
}

void TRvoPageImagePrinter::DoAbortDoc() { pages_.Finish(); }

TRvoLoadResult TRvoPageImagePrinter::Load(const std::string& path) {
  if (Status() == TRvoPrinterStatus::Busy) throw ERvoError("RvoPrinter not ready");
  TRvoLoadResult r = pages_.LoadFromFile(path);
  if (!r.Loaded) return r;
  // A loaded printer is finished: the document it holds is complete.
  Reset();
  loading_ = true;
  TRvoJobSettings s;
  s.Title = Title();
  s.Compression = pages_.Compressed();
  paper_ = {};
  if (pages_.PageCount() > 0) {
    TRvoPageInfo info;
    if (auto first = pages_.Page(1); first && CheckPageImage(*first, &info, nullptr)) {
      paper_ = GuessPaper(info.Width, info.Height);
      s.PaperWidth = info.Width;
      s.PaperLength = info.Height;
    }
  }
  s.PaperSize = paper_.Size;
  s.Orientation = paper_.Orientation;
  BeginDoc(s);
  EndDoc();
  loading_ = false;
  loaded_ = true;
  return r;
}

void TRvoPageImagePrinter::Save(const std::string& path) const {
  if (Status() != TRvoPrinterStatus::Finished) throw ERvoError("The report is not finished yet");
  pages_.SaveToFile(path);
}

}  // namespace korvane::report
