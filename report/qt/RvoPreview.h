// The print preview window, the printing progress window and the print dialog.
//
// The preview shows the pages of a run while the run still makes them. It is
// application-modal (a run lets window events through before every record, and a
// tab switch in the main window would reopen the table under it); Save and Load
// wait until the run has ended; Escape or closing the window cancels the run, and
// closing always ends the preview.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QPrinter>
#include <QScrollArea>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "report/RvoPageImagePrinter.h"
#include "report/RvoPaper.h"

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolBar;

namespace korvane::report {

class TRvoDevicePrinter;

// What a preview is shown for: the report run and the report's print settings.
struct TRvoPreviewJob {
  std::string Title;  // caption when not empty
  // Runs the report onto the printer; it lets window events run (ProcessMessages)
  // before every record and stops when the printer is cancelled.
  std::function<void(TRvoPrinter&)> Run;
  // Prints the report again from its data onto this printer, with the report's
  // settings (Print in the preview of a run).
  std::function<void(QPrinter&)> PrintAgain;
  // The report's copies, orientation and page range to preset the print dialog,
  // and to keep what the dialog chose ("Printer setup").
  std::function<void(QPrinter&)> SettingsToPrinter;
  std::function<void(const QPrinter&)> SettingsFromPrinter;
};

// The page image control: the page stretched over it, with an outline and a shadow.
class TRvoPreviewImage : public QWidget {
  Q_OBJECT
 public:
  explicit TRvoPreviewImage(QWidget* parent = nullptr) : QWidget(parent) {}
  void SetImage(std::string image) {
    image_ = std::move(image);
    update();
  }
  bool HasImage() const { return !image_.empty(); }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::string image_;
};

enum class TRvoZoomState { Fit, Width, Other };

// The scroll box with one page image in it.
class TRvoPreview : public QScrollArea {
  Q_OBJECT
 public:
  explicit TRvoPreview(TRvoPageImagePrinter& printer, QWidget* parent = nullptr);

  int PageShown() const { return page_; }
  int Zoom() const { return zoom_; }
  TRvoZoomState ZoomState() const { return state_; }
  bool ImageReady() const { return ready_; }
  TRvoPreviewImage* Image() const { return image_; }
  // Page size in screen pixels at zoom 100.
  QSizeF PagePixels() const;

  void ZoomToFit();
  void ZoomToWidth();
  void SetZoom(int zoom, TRvoZoomState state = TRvoZoomState::Other);
  void ShowPage(int n, bool force = false);
  // Number of pages the printer has begun (the last one may still be in the making).
  int PagesBegun() const { return printer_.PagesBegun(); }
  void Reload();  // after a load: page 1 again

 signals:
  void PageMoved();

 public slots:
  void PageAvailable(int pages);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void Place();
  TRvoPageImagePrinter& printer_;
  TRvoPreviewImage* image_;
  int page_ = 1;
  int zoom_ = 100;
  TRvoZoomState state_ = TRvoZoomState::Width;
  bool ready_ = false;
  double paperW_ = 2100, paperH_ = 2970;  // tenths of a millimetre
};

class TRvoStandardPreview : public QDialog {
  Q_OBJECT
 public:
  TRvoStandardPreview(TRvoPageImagePrinter& printer, TRvoPreviewJob& job, QWidget* parent = nullptr);
  ~TRvoStandardPreview() override;

  TRvoPreview* Preview() const { return preview_; }
  QAction* Action(const char* name) const;
  QString ProgressText() const;
  QString PageText() const;
  bool Closed() const { return closed_; }
  bool Running() const { return running_; }
  QPrinter& Printer() { return qprinter_; }
  const TRvoPageImagePrinter& PagePrinter() const { return printer_; }

  // Notices of the printer (queued: they arrive when the run lets events run).
  void PostProgress(int percent);
  void PostPageAvailable(int pages);
  // The run has ended (finished or cancelled).
  void RunEnded();

 public slots:
  void Progress(int percent);
  void PageAvailable(int pages);
  void PrinterSetup();
  void Print();
  void SaveReport();
  void LoadReport();

 signals:
  void ClosedSignal();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void UpdatePagePanel();
  void UpdateCommands();
  QAction* AddAction(QToolBar* bar, const char* name, const QString& hint, bool checkable = false);

  TRvoPageImagePrinter& printer_;
  TRvoPreviewJob& job_;
  QPrinter qprinter_;
  TRvoPreview* preview_;
  QLabel* progressPanel_;
  QLabel* pagePanel_;
  int lastProgress_ = 0;
  bool running_ = false;
  bool closed_ = false;
};

// The printing progress window: a bar, "45%  Completed" and Cancel. Modal, so that
// nothing else (the preview's Close among it) can happen while a job prints.
class TRvoProgressForm : public QDialog {
  Q_OBJECT
 public:
  explicit TRvoProgressForm(TRvoPrinter& printer, QWidget* parent = nullptr);
  void Progress(int percent);
  QString InfoText() const;
  QProgressBar* Bar() const { return bar_; }

 protected:
  void reject() override;  // Escape and the window's close button cancel as Cancel does

 private:
  TRvoPrinter& printer_;
  QProgressBar* bar_;
  QLabel* info_;
};

// Shows the preview of a run and returns when the window is closed.
void RvoShowPreview(QWidget* parent, TRvoPreviewJob& job);

// Prints through a device printer with the progress window (shown when `show`);
// `body` does the printing. Errors reach the standard error box; the job is then
// ended. Answers whether the job completed (not cancelled, no error).
bool RvoPrintWithProgress(QWidget* parent, QPrinter& printer, bool show,
                          const std::function<void(TRvoDevicePrinter&)>& body);

// The print dialog: selection off, "Print to File (PDF)" kept, pages 1 ... count
// once known (0 = any, up to 9999). Answers true on OK.
bool RvoPrintDialog(QWidget* parent, QPrinter& printer, int pageCount);

// Test hook: replaces the print dialog (answers true for OK).
void SetRvoPrintDialogHook(std::function<bool(QPrinter&, int pageCount)> hook);

}  // namespace korvane::report
