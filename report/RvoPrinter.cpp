#include "report/RvoPrinter.h"

namespace korvane::report {

bool TRvoPrinter::InRange(int n) const {
  return (settings_.FirstPage <= 0 || n >= settings_.FirstPage) &&
         (settings_.LastPage <= 0 || settings_.LastPage >= n);
}

void TRvoPrinter::BeginDoc(const TRvoJobSettings& settings) {
  if (status_ != TRvoPrinterStatus::Ready) throw ERvoError("RvoPrinter not ready");
  cancelled_ = false;
  available_ = 0;
  pageCount_ = 0;
  inRangeCount_ = 0;
  progress_ = 0;
  pageOpen_ = false;
  canvas_ = nullptr;
  settings_ = settings;
  DoBeginDoc(settings_);
  status_ = TRvoPrinterStatus::Busy;
}

void TRvoPrinter::ClosePage() {
  if (!pageOpen_) return;
  pageOpen_ = false;
  TRvoCanvas* canvas = canvas_;
  canvas_ = nullptr;
  canvas->EndPage();
  if (pageOnDevice_) DoEndPage(pageCount_);
  ++available_;
  DoPageAvailable(available_);
}

TRvoCanvas& TRvoPrinter::NewPage() {
  if (status_ != TRvoPrinterStatus::Busy) throw ERvoError("Illegal call to NewPage");
  ClosePage();
  ++pageCount_;
  pageOnDevice_ = destination_ == TRvoDestination::PageImages || InRange(pageCount_);
  if (pageOnDevice_) {
    canvas_ = &DoBeginPage(pageCount_);
    ++inRangeCount_;
  } else {
    canvas_ = &throwaway_;
  }
  pageOpen_ = true;
  canvas_->BeginPage(settings_.PaperWidth, settings_.PaperLength);
  return *canvas_;
}

void TRvoPrinter::EndDoc() {
  if (status_ != TRvoPrinterStatus::Busy) return;
  // Even when ending the last page fails, the document is over.
  status_ = TRvoPrinterStatus::Finished;
  ClosePage();
  DoEndDoc();
}

void TRvoPrinter::AbortDoc() {
  if (status_ != TRvoPrinterStatus::Busy) return;
  status_ = TRvoPrinterStatus::Finished;
  ClosePage();
  DoAbortDoc();
}

void TRvoPrinter::SetProgress(int percent) {
  progress_ = percent;
  DoProgress(percent);
}

void TRvoPrinter::Reset() {
  if (status_ == TRvoPrinterStatus::Busy) throw ERvoError("RvoPrinter not ready");
  status_ = TRvoPrinterStatus::Ready;
  cancelled_ = false;
}

}  // namespace korvane::report
