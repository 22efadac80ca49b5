#include "report/qt/RvoQtPrinter.h"

#include <langinfo.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <cmath>
#include <cstdio>

#include "report/RvoPageImage.h"

namespace korvane::report {

QPageSize RvoQtPageSize(TRvoPaperSize size, double width, double length) {
  const TRvoPaperInfo& p = PaperInfo(size);
  QSizeF mm = (size == TRvoPaperSize::Default || size == TRvoPaperSize::Custom || p.WidthMM <= 0)
                  ? QSizeF(width / 10, length / 10)
                  : QSizeF(p.WidthMM, p.LengthMM);
  if (!(mm.width() > 0) || !(mm.height() > 0)) mm = QSizeF(210, 297);
  // A standard size when one is this size, else a custom size of exactly this.
  QPageSize fuzzy(mm, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
  if (fuzzy.id() != QPageSize::Custom) return fuzzy;
  return QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

QPrinter::PaperSource RvoQtPaperSource(TRvoBin bin) {
  switch (bin) {
    case TRvoBin::First: return QPrinter::OnlyOne;  // the first (upper) bin
    case TRvoBin::Upper: return QPrinter::Upper;
    case TRvoBin::Lower: return QPrinter::Lower;
    case TRvoBin::Middle: return QPrinter::Middle;
    case TRvoBin::Manual: return QPrinter::Manual;
    case TRvoBin::Envelope: return QPrinter::Envelope;
    case TRvoBin::EnvManual: return QPrinter::EnvelopeManual;
    case TRvoBin::Auto: return QPrinter::Auto;
    case TRvoBin::Tractor: return QPrinter::Tractor;
    case TRvoBin::SmallFormat: return QPrinter::SmallFormat;
    case TRvoBin::LargeFormat: return QPrinter::LargeFormat;
    case TRvoBin::LargeCapacity: return QPrinter::LargeCapacity;
    case TRvoBin::Cassette: return QPrinter::Cassette;
    case TRvoBin::Last: return QPrinter::LastPaperSource;
  }
  return QPrinter::Auto;
}

bool RvoPrinterInstalled() { return !QPrinterInfo::availablePrinters().isEmpty(); }

TRvoPaperSize RvoDefaultPaper() {
  QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return TRvoPaperSize::A4;
  QSizeF mm = info.defaultPageSize().size(QPageSize::Millimeter);
  for (int i = static_cast<int>(TRvoPaperSize::Letter); i <= static_cast<int>(TRvoPaperSize::ESheet); ++i) {
    const TRvoPaperInfo& p = PaperInfo(static_cast<TRvoPaperSize>(i));
    if (std::abs(p.WidthMM - mm.width()) < 1 && std::abs(p.LengthMM - mm.height()) < 1)
      return static_cast<TRvoPaperSize>(i);
  }
  return TRvoPaperSize::Default;
}

bool RvoMeasureIsUS() {
  // glibc: 1 metric, 2 U.S.
  const char* m = nl_langinfo(_NL_MEASUREMENT_MEASUREMENT);
  return m && m[0] == 2;
}

// ---- Device printer -----------------------------------------------------------

TRvoDevicePrinter::TRvoDevicePrinter(QPrinter& printer)
    : TRvoPrinter(TRvoDestination::Printer), printer_(&printer) {}

TRvoDevicePrinter::TRvoDevicePrinter(const QString& pdfPath)
    : TRvoPrinter(TRvoDestination::Printer), pdfPath_(pdfPath) {}

TRvoDevicePrinter::~TRvoDevicePrinter() {
  if (painter_.isActive()) painter_.end();
  pdf_.reset();
  DropTempFile();
}

QPagedPaintDevice* TRvoDevicePrinter::Device() const {
  if (printer_) return printer_;
  return pdf_.get();
}

void TRvoDevicePrinter::DropTempFile() {
  if (!tempPath_.isEmpty()) QFile::remove(tempPath_);
  tempPath_.clear();
  if (printer_ && !finalPath_.isEmpty()) printer_->setOutputFileName(finalPath_);
}

void TRvoDevicePrinter::ProcessMessages() {
  if (OnProcessMessages) OnProcessMessages();
  else if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void TRvoDevicePrinter::DoBeginDoc(const TRvoJobSettings& s) {
  // The output file is written under a temporary name beside it.
  finalPath_ = printer_ ? printer_->outputFileName() : pdfPath_;
  if (!finalPath_.isEmpty()) {
    QFileInfo fi(finalPath_);
    QTemporaryFile tmp(fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".XXXXXX"));
    tmp.setAutoRemove(false);
    if (!tmp.open())
      throw ERvoError("Cannot write " + finalPath_.toStdString() + ": " + tmp.errorString().toStdString());
    tempPath_ = tmp.fileName();
    tmp.close();
  }
  bool landscape = s.Orientation == TRvoOrientation::poLandscape;
  // The paper upright: the settings give it as it lies.
  double w = landscape ? s.PaperLength : s.PaperWidth;
  double l = landscape ? s.PaperWidth : s.PaperLength;
  QPageSize size = RvoQtPageSize(s.PaperSize, w, l);
  QPageLayout::Orientation orient = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
  QString title = QString::fromStdString(s.Title);
  if (printer_) {
    printer_->setOutputFileName(tempPath_);
    if (s.PaperSize != TRvoPaperSize::Default) printer_->setPageSize(size);
    printer_->setPageOrientation(orient);
    printer_->setCopyCount(std::max(1, s.Copies));
    printer_->setDuplex(s.Duplex ? QPrinter::DuplexShortSide : QPrinter::DuplexNone);
    printer_->setPaperSource(RvoQtPaperSource(s.Bin));
    printer_->setDocName(title);
    printer_->setFullPage(false);
  } else {
    pdf_ = std::make_unique<QPdfWriter>(tempPath_);
    pdf_->setCreator(QStringLiteral("Korvane"));
    pdf_->setTitle(title);
    pdf_->setPageLayout(QPageLayout(size, orient, QMarginsF(0, 0, 0, 0)));
  }
  layout_ = Device()->pageLayout();
  // Waste: where the paint rectangle starts on the paper.
  QPointF off = printer_ && !printer_->fullPage() ? layout_.paintRect(QPageLayout::Millimeter).topLeft()
                                                   : QPointF(0, 0);
  waste_ = off * 10;
}

TRvoCanvas& TRvoDevicePrinter::DoBeginPage(int) {
  QPagedPaintDevice* dev = Device();
  if (!painter_.isActive()) {
    // The first page on the device begins the print job.
    if (!painter_.begin(dev)) throw ERvoError("Cannot start printing: the printer or the output file refused it");
  } else if (!dev->newPage()) {
    throw ERvoError("Cannot start a new page on the printer");
  }
  canvas_ = std::make_unique<TRvoQtCanvas>(painter_);
  canvas_->SetMapping(dev->logicalDpiX() / 254.0, dev->logicalDpiY() / 254.0, QPointF(0, 0), waste_);
  return *canvas_;
}

void TRvoDevicePrinter::DoEndDoc() {
  bool ended = !painter_.isActive() || painter_.end();
  pdf_.reset();  // closes the file
  if (!ended || (printer_ && printer_->printerState() == QPrinter::Error)) {
    DropTempFile();
    throw ERvoError("Printing failed");
  }
  if (!tempPath_.isEmpty()) {
    if (QFileInfo::exists(tempPath_) && QFileInfo(tempPath_).size() > 0) {
      if (std::rename(QFile::encodeName(tempPath_).constData(), QFile::encodeName(finalPath_).constData()) != 0) {
        DropTempFile();
        throw ERvoError("Cannot write " + finalPath_.toStdString());
      }
      tempPath_.clear();
    }
    DropTempFile();
  }
}

void TRvoDevicePrinter::DoAbortDoc() {
  if (printer_ && painter_.isActive()) printer_->abort();
  if (painter_.isActive()) painter_.end();
  pdf_.reset();
  DropTempFile();
}

int TRvoDevicePrinter::PrintPages(const TRvoPageList& pages, int first, int last, const std::string& title) {
  int count = pages.PageCount();
  int from = first <= 0 ? 1 : first;
  int to = last <= 0 || last > count ? count : last;
  TRvoJobSettings s;
  s.Title = title;
  TRvoPageInfo info;
  auto firstImage = pages.Page(std::min(std::max(from, 1), std::max(count, 1)));
  if (firstImage && CheckPageImage(*firstImage, &info, nullptr)) {
    s.PaperSize = TRvoPaperSize::Custom;
    bool landscape = info.Width > info.Height;
    s.Orientation = landscape ? TRvoOrientation::poLandscape : TRvoOrientation::poPortrait;
    s.PaperWidth = info.Width;
    s.PaperLength = info.Height;
  }
  BeginDoc(s);
  int printed = 0;
  try {
    for (int n = from; n <= to; ++n) {
      ProcessMessages();
      if (Cancelled()) break;
      std::optional<std::string> image = pages.Page(n);
      NewPage();
      // The page stretched over the whole printable area.
      QRectF area = layout_.paintRectPixels(Device()->logicalDpiX());
      QRectF target(QPointF(0, 0), area.size());
      std::string why;
      if (!image || !DrawPageImage(painter_, target, *image, &why))
        throw ERvoError("Page " + std::to_string(n) + " cannot be printed: " + why);
      ++printed;
      SetProgress(static_cast<int>(int64_t{n - from + 1} * 100 / std::max(1, to - from + 1)));
    }
  } catch (...) {
    AbortDoc();
    throw;
  }
  if (Cancelled()) {
    AbortDoc();
    return printed;
  }
  EndDoc();
  return printed;
}

}  // namespace korvane::report
