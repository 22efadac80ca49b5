// The report printer: where a report run sends its pages.
//
// A run begins a document, asks for a canvas per page, and ends (or aborts) the
// document. This class keeps the printer's status and range rules; a destination
// (page images for the preview and the saved report file, or a printing device)
// derives from it and implements the Do* hooks.
//
//   status:  ready --BeginDoc--> busy --EndDoc/AbortDoc--> finished
//   BeginDoc on a printer that is not ready raises "RvoPrinter not ready";
//   NewPage outside busy raises "Illegal call to NewPage".
//
// Every page is ended exactly once: NewPage ends the open page before opening the
// next one, EndDoc and AbortDoc end the last one. Coordinates on the canvases are
// tenths of a millimetre from the paper's top-left corner; a device canvas takes
// off its unprintable offsets (the waste) itself.
#pragma once

#include <string>

#include "engine/dataset.h"
#include "report/RvoCanvas.h"
#include "report/RvoPaper.h"

namespace korvane::report {

// Failures of the report printer and the report engine ("RvoPrinter not ready",
// "Illegal call to NewPage", a device that cannot start).
class ERvoError : public korvane::Exception {
 public:
  using korvane::Exception::Exception;
};

enum class TRvoPrinterStatus : uint8_t { Ready, Busy, Finished };
enum class TRvoDestination : uint8_t { PageImages, Printer };

// The settings a run hands the printer when it begins a document.
struct TRvoJobSettings {
  std::string Title;  // document name
  TRvoPaperSize PaperSize = TRvoPaperSize::A4;
  // The paper as it lies on the page, orientation applied (landscape: the paper's
  // length across), in tenths of a millimetre.
  double PaperWidth = 2100;
  double PaperLength = 2970;
  TRvoOrientation Orientation = TRvoOrientation::poPortrait;
  int Copies = 1;
  bool Duplex = false;
  TRvoBin Bin = TRvoBin::Auto;
  int PrinterIndex = -1;  // -1: the default printer
  int FirstPage = 0;      // 0: from the first page
  int LastPage = 0;       // 0: to the last page
  bool Compression = false;
};

class TRvoPrinter {
 public:
  explicit TRvoPrinter(TRvoDestination destination) : destination_(destination) {}
  virtual ~TRvoPrinter() = default;
  TRvoPrinter(const TRvoPrinter&) = delete;
  TRvoPrinter& operator=(const TRvoPrinter&) = delete;

  // --- Called by the run ---------------------------------------------------
  void BeginDoc(const TRvoJobSettings& settings);
  // Ends the open page (if any) and opens the next one; answers its canvas, on
  // which the page has been begun with the paper's size. On a printer destination
  // a page outside FirstPage..LastPage is laid out on a canvas that keeps nothing.
  TRvoCanvas& NewPage();
  void EndDoc();
  // Ends the open page and finishes a cancelled document (a print job is aborted;
  // page images keep the pages made so far).
  void AbortDoc();
  // Stores the percentage and tells the destination.
  void SetProgress(int percent);
  // Lets pending window events run (the run calls it before every record).
  virtual void ProcessMessages() {}

  // --- State -----------------------------------------------------------------
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }
  TRvoPrinterStatus Status() const { return status_; }
  TRvoDestination Destination() const { return destination_; }
  const TRvoJobSettings& Settings() const { return settings_; }
  const std::string& Title() const { return settings_.Title; }
  int PageCount() const { return pageCount_; }        // pages begun, the open one included
  int AvailablePages() const { return available_; }   // pages handed over so far
  int PagesInRange() const { return inRangeCount_; }  // pages that went to the device
  int Progress() const { return progress_; }
  bool PageOpen() const { return pageOpen_; }
  // Whether page n (from 1) is inside FirstPage..LastPage.
  bool InRange(int n) const;
  // A finished printer can be made ready for another document (a fresh printer
  // per run is the rule; this is for tests and for a destination that allows it).
  void Reset();

 protected:
  // --- Implemented by a destination --------------------------------------------
  // Device set-up at the beginning of a document; may raise ERvoError.
  virtual void DoBeginDoc(const TRvoJobSettings& settings) = 0;
  // Opens page n (only pages in range on a printer destination) and answers its
  // canvas; the printer calls BeginPage on it with the paper size afterwards.
  virtual TRvoCanvas& DoBeginPage(int pageNumber) = 0;
  // Closes page n opened by DoBeginPage (EndPage on its canvas is called first).
  virtual void DoEndPage(int pageNumber) = 0;
  // The document is complete (at least zero pages went to the device).
  virtual void DoEndDoc() = 0;
  // The document was cancelled.
  virtual void DoAbortDoc() = 0;
  // Notices for a client window: progress percent and pages available.
  virtual void DoProgress(int /*percent*/) {}
  virtual void DoPageAvailable(int /*pages*/) {}

 private:
  void ClosePage();

  class TNullCanvas : public TRvoCanvas {
   public:
    void BeginPage(double, double) override {}
    void EndPage() override {}
    void FillRect(double, double, double, double, TRvoRGB) override {}
    void Line(double, double, double, double, TRvoRGB, double, TRvoPenStyle) override {}
    void Text(double, double, const TRvoFontSpec&, std::string_view, double, double, double,
              double) override {}
    void Image(double, double, double, double, std::string_view) override {}
  };

  TRvoDestination destination_;
  TRvoPrinterStatus status_ = TRvoPrinterStatus::Ready;
  TRvoJobSettings settings_;
  TNullCanvas throwaway_;
  TRvoCanvas* canvas_ = nullptr;
  bool pageOpen_ = false;
  bool pageOnDevice_ = false;
  bool cancelled_ = false;
  int pageCount_ = 0;
  int available_ = 0;
  int inRangeCount_ = 0;
  int progress_ = 0;
};

}  // namespace korvane::report
