// The report printer's page image destination: every page of a run is recorded as a
// page image into a page store (the preview shows them, "Save Report" writes them),
// or the pages come from a saved report file.
#pragma once

#include <functional>
#include <string>

#include "report/RvoPageImage.h"
#include "report/RvoPageStore.h"
#include "report/RvoPaper.h"
#include "report/RvoPrinter.h"

namespace korvane::report {

// The paper of a page of w × h tenths of a millimetre: compared in 4 mm steps with
// the papers Letter ... ESheet, upright and turned; the last match wins. Custom
// (upright, as the page lies) when none matches.
struct TRvoPaperGuess {
  TRvoPaperSize Size = TRvoPaperSize::Custom;
  TRvoOrientation Orientation = TRvoOrientation::poPortrait;
};
TRvoPaperGuess GuessPaper(double width, double length);

class TRvoPageImagePrinter : public TRvoPrinter {
 public:
  TRvoPageImagePrinter() : TRvoPrinter(TRvoDestination::PageImages) {}

  // Notices for the client window and the run's breathing points.
  std::function<void(int)> OnProgress;
  std::function<void(int)> OnPageAvailable;
  std::function<void()> OnProcessMessages;
  void ProcessMessages() override {
    if (OnProcessMessages) OnProcessMessages();
  }

  const TRvoPageList& Pages() const { return pages_; }
  // Pages that can be shown: those handed over by the run, or those loaded.
  int PagesAvailable() const { return loaded_ ? pages_.PageCount() : AvailablePages(); }
  // Pages begun so far (during a run the one being made counts).
  int PagesBegun() const { return loaded_ ? pages_.PageCount() : PageCount(); }
  bool Finished() const { return Status() == TRvoPrinterStatus::Finished; }

  // Replaces the pages with those of a report file. Refused while a document is
  // being made. When the file is refused the pages stay as they were; when it is
  // loaded the printer is finished, counts as loaded and knows the file's paper.
  TRvoLoadResult Load(const std::string& path);
  bool Loaded() const { return loaded_; }
  const TRvoPaperGuess& LoadedPaper() const { return paper_; }

  // Writes the pages to a report file; only a finished printer saves (ERvoError
  // otherwise, ERvoStoreError when the file cannot be written).
  void Save(const std::string& path) const;

 protected:
  void DoBeginDoc(const TRvoJobSettings& settings) override;
  TRvoCanvas& DoBeginPage(int pageNumber) override;
  void DoEndPage(int pageNumber) override;
  void DoEndDoc() override;
  void DoAbortDoc() override;
  void DoProgress(int percent) override {
    if (OnProgress) OnProgress(percent);
  }
  void DoPageAvailable(int pages) override {
    if (OnPageAvailable) OnPageAvailable(pages);
  }

 private:
  TRvoPageList pages_;
  TRvoPageRecorder recorder_;
  bool loading_ = false;
  bool loaded_ = false;
  TRvoPaperGuess paper_;
};

}  // namespace korvane::report
