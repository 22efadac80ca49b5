// The report printer's device destination: pages drawn straight onto a QPrinter or
// into a PDF file (QPdfWriter), and the Linux answers to the printer questions of a
// report (printer installed, default paper, measuring system).
#pragma once

#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "report/RvoPageStore.h"
#include "report/RvoPaper.h"
#include "report/RvoPrinter.h"
#include "report/qt/RvoQtCanvas.h"

class QPdfWriter;
class QPagedPaintDevice;

namespace korvane::report {

// The QPageSize of the same size as a paper code. Default and Custom take the
// given size (portrait width × length, tenths of a millimetre).
QPageSize RvoQtPageSize(TRvoPaperSize size, double width, double length);
// The QPrinter paper source of the bin of the same name.
QPrinter::PaperSource RvoQtPaperSource(TRvoBin bin);
// Whether at least one printer is installed.
bool RvoPrinterInstalled();
// The default printer's paper (Default when its size is not in the paper table, A4
// with no printer).
TRvoPaperSize RvoDefaultPaper();
// The measuring system of the locale: true for the U.S. one.
bool RvoMeasureIsUS();

class TRvoDevicePrinter : public TRvoPrinter {
 public:
  // Prints onto a QPrinter. When it prints to a file, the file is written beside
  // its place and renamed there when the document is complete.
  explicit TRvoDevicePrinter(QPrinter& printer);
  // Writes a PDF file the same way (through QPdfWriter).
  explicit TRvoDevicePrinter(const QString& pdfPath);
  ~TRvoDevicePrinter() override;

  std::function<void(int)> OnProgress;
  std::function<void(int)> OnPageAvailable;
  std::function<void()> OnProcessMessages;  // default: let Qt's pending events run
  void ProcessMessages() override;

  // Prints stored pages first ... last (0: from the first / to the last; the range
  // is clamped to the pages there), each stretched over the printable area of
  // paper of the first page's size. Answers how many pages went out; a cancel
  // (from a notice or from pending events) aborts the job and leaves no file.
  int PrintPages(const TRvoPageList& pages, int first, int last, const std::string& title);

  // The unprintable offsets in tenths of a millimetre, known once the document began.
  QPointF Waste() const { return waste_; }
  // Where the output went (a file name), empty for a printer.
  QString OutputFile() const { return finalPath_; }

 protected:
  void DoBeginDoc(const TRvoJobSettings& settings) override;
  TRvoCanvas& DoBeginPage(int pageNumber) override;
  void DoEndPage(int) override {}
  void DoEndDoc() override;
  void DoAbortDoc() override;
  void DoProgress(int percent) override {
    if (OnProgress) OnProgress(percent);
  }
  void DoPageAvailable(int pages) override {
    if (OnPageAvailable) OnPageAvailable(pages);
  }

 private:
  QPagedPaintDevice* Device() const;
  void DropTempFile();

  QPrinter* printer_ = nullptr;
  QString pdfPath_;
  std::unique_ptr<QPdfWriter> pdf_;
  QString finalPath_, tempPath_;
  QPainter painter_;
  std::unique_ptr<TRvoQtCanvas> canvas_;
  QPointF waste_;
  QPageLayout layout_;
};

}  // namespace korvane::report
