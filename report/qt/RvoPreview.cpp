#include "report/qt/RvoPreview.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "platform/qt/ui.h"
#include "report/qt/RvoQtCanvas.h"
#include "report/qt/RvoQtPrinter.h"

namespace korvane::report {
namespace {

std::function<bool(QPrinter&, int)>& PrintDialogHook() {
  static std::function<bool(QPrinter&, int)> hook;
  return hook;
}

const QString kFilter = QStringLiteral("RvoReport file (*.RvoP)");

}  // namespace

void SetRvoPrintDialogHook(std::function<bool(QPrinter&, int)> hook) { PrintDialogHook() = std::move(hook); }

// ---- Page image control ---------------------------------------------------------

void TRvoPreviewImage::paintEvent(QPaintEvent*) {
  if (image_.empty()) return;
  QPainter p(this);
  int w = width(), h = height();
  p.fillRect(QRect(QPoint(1, 1), QPoint(w - 3, h - 3)), Qt::white);
  DrawPageImage(p, QRectF(0, 0, w, h), image_);
  p.setPen(Qt::black);
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(QPoint(0, 0), QPoint(w - 3, h - 3)));
  p.fillRect(QRect(QPoint(w - 2, 2), QPoint(w - 1, h - 1)), Qt::black);
  p.fillRect(QRect(QPoint(2, h - 2), QPoint(w - 1, h - 1)), Qt::black);
}

// ---- Preview area ----------------------------------------------------------------

TRvoPreview::TRvoPreview(TRvoPageImagePrinter& printer, QWidget* parent)
    : QScrollArea(parent), printer_(printer), image_(new TRvoPreviewImage) {
  setObjectName(QStringLiteral("RvoPreview"));
  setWidget(image_);
  setWidgetResizable(false);
  setAlignment(Qt::AlignCenter);
  setBackgroundRole(QPalette::Dark);
  Place();
}

QSizeF TRvoPreview::PagePixels() const {
  double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
  return {paperW_ * dpi / 254.0, paperH_ * dpi / 254.0};
}

void TRvoPreview::SetZoom(int zoom, TRvoZoomState state) {
  state_ = state;
  if (zoom < 2 || zoom > 2000) return;  // the zoom stays as it was
  zoom_ = zoom;
  Place();
}

void TRvoPreview::ZoomToFit() {
  QSizeF page = PagePixels();
  QSize area = viewport()->size();
  int z = static_cast<int>(std::min(std::lround(area.width() / page.width() * 95),
                                    std::lround(area.height() / page.height() * 95)));
  SetZoom(z, TRvoZoomState::Fit);
}

void TRvoPreview::ZoomToWidth() {
  QSizeF page = PagePixels();
  SetZoom(static_cast<int>(std::lround(viewport()->width() / page.width() * 90)), TRvoZoomState::Width);
}

void TRvoPreview::Place() {
  QSizeF page = PagePixels();
  image_->resize(static_cast<int>(std::lround(page.width() * zoom_ / 100.0)) + 4,
                 static_cast<int>(std::lround(page.height() * zoom_ / 100.0)) + 4);
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
}

void TRvoPreview::resizeEvent(QResizeEvent* e) {
  QScrollArea::resizeEvent(e);
  if (state_ == TRvoZoomState::Fit) ZoomToFit();
  else if (state_ == TRvoZoomState::Width) ZoomToWidth();
  else Place();
}

void TRvoPreview::ShowPage(int n, bool force) {
  if (n < 1 || n > PagesBegun()) return;
  if (n == page_ && ready_ && !force) return;
  page_ = n;
  std::optional<std::string> img;
  if (n <= printer_.PagesAvailable()) img = printer_.Pages().Page(n);
  TRvoPageInfo info;
  ready_ = img && CheckPageImage(*img, &info, nullptr);
  if (ready_) {
    paperW_ = info.Width;
    paperH_ = info.Height;
    image_->SetImage(std::move(*img));
  } else {
    image_->SetImage({});
  }
  if (state_ == TRvoZoomState::Fit) ZoomToFit();
  else if (state_ == TRvoZoomState::Width) ZoomToWidth();
  else Place();
  emit PageMoved();
}

void TRvoPreview::PageAvailable(int pages) {
  // The page shown was still being made: it is there now.
  if (!ready_ && pages >= page_) ShowPage(page_, true);
}

void TRvoPreview::Reload() {
  page_ = 1;
  ready_ = false;
  image_->SetImage({});
  ShowPage(1, true);
  emit PageMoved();
}

// ---- Preview window ------------------------------------------------------------------

TRvoStandardPreview::TRvoStandardPreview(TRvoPageImagePrinter& printer, TRvoPreviewJob& job, QWidget* parent)
    : QDialog(parent), printer_(printer), job_(job) {
  setObjectName(QStringLiteral("RvoStandardPreview"));
  setWindowTitle(job.Title.empty() ? QStringLiteral("Print Preview") : QString::fromStdString(job.Title));
  setWindowModality(Qt::ApplicationModal);
  setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
  setSizeGripEnabled(true);

  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("ToolBar1"));
  auto* zooms = new QActionGroup(this);
  zooms->setExclusive(true);
  bar->addSeparator();
  QAction* fit = AddAction(bar, "ZoomFit", QStringLiteral("Zoom to fit"), true);
  QAction* full = AddAction(bar, "Zoom100", QStringLiteral("100%"), true);
  QAction* width = AddAction(bar, "ZoomWidth", QStringLiteral("Zoom to width"), true);
  for (QAction* a : {fit, full, width}) zooms->addAction(a);
  width->setChecked(true);
  bar->addSeparator();
  QAction* first = AddAction(bar, "FirstPage", QStringLiteral("First page"));
  QAction* prev = AddAction(bar, "PreviousPage", QStringLiteral("Previous page"));
  QAction* next = AddAction(bar, "NextPage", QStringLiteral("Next page"));
  QAction* last = AddAction(bar, "LastPage", QStringLiteral("Last page"));
  bar->addSeparator();
  QAction* setup = AddAction(bar, "PrinterSetup", QStringLiteral("Printer setup"));
  QAction* print = AddAction(bar, "Print", QStringLiteral("Print"));
  bar->addSeparator();
  QAction* save = AddAction(bar, "SaveReport", QStringLiteral("Save Report"));
  QAction* load = AddAction(bar, "LoadReport", QStringLiteral("Load Report"));
  bar->addSeparator();
  auto* close = new QPushButton(QStringLiteral("&Close"), bar);
  close->setObjectName(QStringLiteral("CloseButton"));
  close->setAutoDefault(false);
  close->setMinimumSize(40, 22);
  bar->addWidget(close);

  preview_ = new TRvoPreview(printer_, this);
  auto* status = new QStatusBar(this);
  status->setSizeGripEnabled(false);
  progressPanel_ = new QLabel(QStringLiteral("0%"), status);
  progressPanel_->setObjectName(QStringLiteral("ProgressPanel"));
  progressPanel_->setMinimumWidth(40);
  progressPanel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  pagePanel_ = new QLabel(QStringLiteral("Page"), status);
  pagePanel_->setObjectName(QStringLiteral("PagePanel"));
  pagePanel_->setMinimumWidth(50);
  status->addWidget(progressPanel_);
  status->addWidget(pagePanel_, 1);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  lay->addWidget(bar);
  lay->addWidget(preview_, 1);
  lay->addWidget(status);

  connect(fit, &QAction::triggered, preview_, &TRvoPreview::ZoomToFit);
  connect(full, &QAction::triggered, this, [this] { preview_->SetZoom(100); });
  connect(width, &QAction::triggered, preview_, &TRvoPreview::ZoomToWidth);
  connect(first, &QAction::triggered, this, [this] { preview_->ShowPage(1); });
  connect(prev, &QAction::triggered, this, [this] { preview_->ShowPage(preview_->PageShown() - 1); });
  connect(next, &QAction::triggered, this, [this] { preview_->ShowPage(preview_->PageShown() + 1); });
  connect(last, &QAction::triggered, this, [this] { preview_->ShowPage(preview_->PagesBegun()); });
  connect(setup, &QAction::triggered, this, &TRvoStandardPreview::PrinterSetup);
  connect(print, &QAction::triggered, this, &TRvoStandardPreview::Print);
  connect(save, &QAction::triggered, this, &TRvoStandardPreview::SaveReport);
  connect(load, &QAction::triggered, this, &TRvoStandardPreview::LoadReport);
  connect(close, &QPushButton::clicked, this, &TRvoStandardPreview::close);
  connect(preview_, &TRvoPreview::PageMoved, this, &TRvoStandardPreview::UpdatePagePanel);

  running_ = printer_.Status() != TRvoPrinterStatus::Finished;
  resize(900, 700);
  UpdateCommands();
  if (printer_.PagesAvailable() > 0) preview_->ShowPage(1);
}

TRvoStandardPreview::~TRvoStandardPreview() = default;

QAction* TRvoStandardPreview::AddAction(QToolBar* bar, const char* name, const QString& hint, bool checkable) {
  QAction* a = bar->addAction(hint);
  a->setObjectName(QString::fromLatin1(name));
  a->setToolTip(hint);
  a->setCheckable(checkable);
  return a;
}

QAction* TRvoStandardPreview::Action(const char* name) const {
  return findChild<QAction*>(QString::fromLatin1(name));
}

QString TRvoStandardPreview::ProgressText() const { return progressPanel_->text(); }
QString TRvoStandardPreview::PageText() const { return pagePanel_->text(); }

void TRvoStandardPreview::UpdatePagePanel() {
  pagePanel_->setText(QStringLiteral("Page %1 of %2").arg(preview_->PageShown()).arg(preview_->PagesBegun()));
}

void TRvoStandardPreview::UpdateCommands() {
  bool done = !running_;
  // Save and Load wait for the run: a load would pull the pages from under it, and
  // a save before the end would write nothing.
  Action("SaveReport")->setEnabled(done);
  Action("LoadReport")->setEnabled(done);
  Action("Print")->setEnabled(done && printer_.Finished());
  Action("PrinterSetup")->setEnabled(done && printer_.Finished());
}

void TRvoStandardPreview::PostProgress(int percent) {
  QPointer<TRvoStandardPreview> self(this);
  QMetaObject::invokeMethod(
      this, [self, percent] { if (self) self->Progress(percent); }, Qt::QueuedConnection);
}

void TRvoStandardPreview::PostPageAvailable(int pages) {
  QPointer<TRvoStandardPreview> self(this);
  QMetaObject::invokeMethod(
      this, [self, pages] { if (self) self->PageAvailable(pages); }, Qt::QueuedConnection);
}

void TRvoStandardPreview::Progress(int percent) {
  if (percent >= lastProgress_ + 5) {
    progressPanel_->setText(QStringLiteral("%1%").arg(percent));
    lastProgress_ = percent;
  }
  if (percent == 0 || percent == 100) progressPanel_->clear();
}

void TRvoStandardPreview::PageAvailable(int pages) {
  preview_->PageAvailable(pages);
  UpdatePagePanel();
  UpdateCommands();
}

void TRvoStandardPreview::RunEnded() {
  running_ = false;
  // Notices still queued are handled first, so the last page is shown.
  QCoreApplication::sendPostedEvents(this);
  preview_->PageAvailable(printer_.PagesAvailable());
  UpdatePagePanel();
  UpdateCommands();
}

void TRvoStandardPreview::PrinterSetup() {
  if (!printer_.Loaded() && job_.SettingsToPrinter) job_.SettingsToPrinter(qprinter_);
  if (!RvoPrintDialog(this, qprinter_, printer_.PagesAvailable())) return;
  if (!printer_.Loaded() && job_.SettingsFromPrinter) job_.SettingsFromPrinter(qprinter_);
}

void TRvoStandardPreview::Print() {
  if (running_ || !printer_.Finished()) return;
  if (!RvoPrinterInstalled() && qprinter_.outputFileName().isEmpty()) {
    qtui::ShowWarning(this, QStringLiteral("No printer is installed. To make a PDF file, choose "
                                           "\"Print to File (PDF)\" in Printer setup."));
    return;
  }
  if (!printer_.Loaded() && job_.PrintAgain) {
    // The report prints itself again from its data, with its current settings.
    job_.PrintAgain(qprinter_);
    return;
  }
  int from = 0, to = 0;
  if (qprinter_.printRange() == QPrinter::PageRange) {
    from = qprinter_.fromPage();
    to = qprinter_.toPage();
  }
  std::string title = windowTitle().toStdString();
  RvoPrintWithProgress(this, qprinter_, true, [&](TRvoDevicePrinter& dev) {
    dev.PrintPages(printer_.Pages(), from, to, title);
  });
}

void TRvoStandardPreview::SaveReport() {
  if (running_ || !printer_.Finished()) return;
  QString path = qtui::GetSaveFileName(this, QStringLiteral("Save report"), kFilter, QString());
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".RvoP");
  try {
    printer_.Save(QFile::encodeName(path).toStdString());
  } catch (const std::exception& e) {
    qtui::ShowErrorMessage(this, QString::fromStdString(e.what()));
  }
}

void TRvoStandardPreview::LoadReport() {
  if (running_) return;
  QString path = qtui::GetOpenFileName(this, QStringLiteral("Load report"), kFilter);
  if (path.isEmpty()) return;
  if (!QFileInfo::exists(path)) {
    qtui::ShowMessage(this, QStringLiteral("File does not exist"));
    return;
  }
  TRvoLoadResult r;
  try {
    r = printer_.Load(QFile::encodeName(path).toStdString());
  } catch (const std::exception& e) {
    qtui::ShowErrorMessage(this, QString::fromStdString(e.what()));
    return;
  }
  if (!r.Message.empty()) {
    if (r.Loaded) qtui::ShowWarning(this, QString::fromStdString(r.Message));
    else qtui::ShowErrorMessage(this, QString::fromStdString(r.Message));
  }
  if (!r.Loaded) return;
  preview_->Reload();
  UpdatePagePanel();
  UpdateCommands();
}

void TRvoStandardPreview::closeEvent(QCloseEvent* e) {
  // Closing cancels a run still going; either way the preview ends.
  if (running_) printer_.Cancel();
  if (!closed_) {
    closed_ = true;
    emit ClosedSignal();
  }
  QDialog::closeEvent(e);
}

void TRvoStandardPreview::reject() { close(); }

void TRvoStandardPreview::keyPressEvent(QKeyEvent* e) {
  bool ctrl = e->modifiers() & Qt::ControlModifier;
  switch (e->key()) {
    case Qt::Key_Home: preview_->ShowPage(1); return;
    case Qt::Key_End: preview_->ShowPage(preview_->PagesBegun()); return;
    case Qt::Key_PageUp: preview_->ShowPage(ctrl ? 1 : preview_->PageShown() - 1); return;
    case Qt::Key_PageDown: preview_->ShowPage(ctrl ? preview_->PagesBegun() : preview_->PageShown() + 1); return;
    default: QDialog::keyPressEvent(e);
  }
}

// ---- Progress window -----------------------------------------------------------------

TRvoProgressForm::TRvoProgressForm(TRvoPrinter& printer, QWidget* parent)
    : QDialog(parent), printer_(printer) {
  setObjectName(QStringLiteral("RvoProgressForm"));
  setWindowTitle(QStringLiteral("Printing progress"));
  setWindowModality(Qt::ApplicationModal);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint);
  setFixedSize(149, 97);
  bar_ = new QProgressBar(this);
  bar_->setGeometry(16, 18, 114, 16);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  info_ = new QLabel(this);
  info_->setObjectName(QStringLiteral("InfoLabel"));
  info_->setGeometry(0, 44, 145, 14);
  info_->setAlignment(Qt::AlignCenter);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  cancel->setGeometry(36, 60, 75, 25);
  connect(cancel, &QPushButton::clicked, this, [this] { printer_.Cancel(); });
}

void TRvoProgressForm::Progress(int percent) {
  if (percent % 5 != 0) return;
  bar_->setValue(percent);
  info_->setText(QStringLiteral("%1% ").arg(percent) + QStringLiteral(" Completed"));
}

QString TRvoProgressForm::InfoText() const { return info_->text(); }

void TRvoProgressForm::reject() { printer_.Cancel(); }

// ---- Entry points -----------------------------------------------------------------------

void RvoShowPreview(QWidget* parent, TRvoPreviewJob& job) {
  QCoreApplication::processEvents();
  TRvoPageImagePrinter printer;
  TRvoStandardPreview win(printer, job, parent);
  printer.OnProcessMessages = [] { QCoreApplication::processEvents(); };
  printer.OnProgress = [&win](int p) { win.PostProgress(p); };
  printer.OnPageAvailable = [&win](int n) { win.PostPageAvailable(n); };
  win.showMaximized();
  try {
    if (job.Run) job.Run(printer);
  } catch (const std::exception& e) {
    if (printer.Status() == TRvoPrinterStatus::Busy) printer.AbortDoc();
    qtui::ShowException(&win, QString::fromStdString(e.what()));
  }
  if (printer.Status() == TRvoPrinterStatus::Busy) printer.AbortDoc();
  win.RunEnded();
  if (!win.Closed()) {
    QEventLoop loop;
    QObject::connect(&win, &TRvoStandardPreview::ClosedSignal, &loop, &QEventLoop::quit);
    if (!win.Closed()) loop.exec();
  }
  printer.OnProgress = nullptr;
  printer.OnPageAvailable = nullptr;
}

bool RvoPrintWithProgress(QWidget* parent, QPrinter& qprinter, bool show,
                          const std::function<void(TRvoDevicePrinter&)>& body) {
  TRvoDevicePrinter dev(qprinter);
  TRvoProgressForm form(dev, parent);
  QPointer<TRvoProgressForm> guard(&form);
  dev.OnProgress = [guard](int p) {
    QMetaObject::invokeMethod(
        guard.data(), [guard, p] { if (guard) guard->Progress(p); }, Qt::QueuedConnection);
  };
  if (show) form.show();
  bool ok = true;
  try {
    body(dev);
  } catch (const std::exception& e) {
    if (dev.Status() == TRvoPrinterStatus::Busy) dev.AbortDoc();
    qtui::ShowException(parent, QString::fromStdString(e.what()));
    ok = false;
  }
  if (dev.Status() == TRvoPrinterStatus::Busy) dev.AbortDoc();
  dev.OnProgress = nullptr;
  form.hide();
  return ok && !dev.Cancelled();
}

bool RvoPrintDialog(QWidget* parent, QPrinter& printer, int pageCount) {
  if (PrintDialogHook()) return PrintDialogHook()(printer, pageCount);
  QPrintDialog dlg(&printer, parent);
  dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, true);
  // "Print to File (PDF)" stays: on Linux that is how a PDF is made.
  dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
  if (pageCount > 0) {
    dlg.setMinMax(1, pageCount);
    printer.setFromTo(1, pageCount);
  } else {
    dlg.setMinMax(1, 9999);
  }
  if (!RvoPrinterInstalled())
    qtui::ShowWarning(parent, QStringLiteral("No printer is installed; the pages can be printed to a PDF file."));
  return dlg.exec() == QDialog::Accepted;
}

}  // namespace korvane::report
