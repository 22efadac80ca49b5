// korvane-screenshots FOLDER [TABLE.db]: the pictures of the user guide.
//
// Opens the viewer's main window on the table (as `korvane TABLE.db` does) and
// writes PNG pictures of it into FOLDER: the main window with a few records
// selected, its File, View and Tools menus, the form view, the columns dialog, the
// export wizard's format and column steps, the progress window of an export and
// (for a table with a picture field) the field panel. Prints the files written;
// exits with 1 when none could be written. Run it under a display server, or with
// `xvfb-run -a`, so the pictures use real fonts.

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QApplication>
#include <algorithm>
#include <functional>
#include <cstdio>
#include <string>

#include "platform/qt/ZelEQtServices.h"
#include "export/wizard/ZelEWiz.h"
#include "export/wizard/frmZelEWizard.h"
#include "report/qt/RvoPreview.h"
#include "viewer/Application.h"
#include "viewer/DBGrid.h"
#include "viewer/DataControls.h"
#include "viewer/Unit1.h"
#include "viewer/Unit9.h"
#include "viewer/frRecordView.h"

namespace korvane {
namespace {

// Lets the windows lay out and paint before they are grabbed.
void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Pictures go into one folder; the list keeps the files written.
class TShots {
 public:
  explicit TShots(QString folder) : folder_(std::move(folder)) { QDir().mkpath(folder_); }

  void Save(QWidget* w, const QString& name) {
    Settle();
    Keep(w->grab(), name);
  }
  void Keep(const QPixmap& picture, const QString& name) {
    const QString file = QDir(folder_).filePath(name);
    if (picture.save(file, "PNG")) files_ << file;
  }
  const QStringList& Files() const { return files_; }

 private:
  QString folder_;
  QStringList files_;
};

// The File, View and Tools menus side by side.
void SaveMenus(TForm1& form, TShots& shots) {
  QList<QPixmap> pictures;
  for (const char* name : {"File1", "View1", "Tools1"}) {
    QMenu* menu = form.findChild<QMenu*>(QString::fromLatin1(name));
    if (!menu) continue;
    menu->popup(form.mapToGlobal(QPoint(0, 0)));
    Settle();
    pictures << menu->grab();
    menu->hide();
  }
  if (pictures.isEmpty()) return;
  const int gap = 16;
  int width = gap, height = 0;
  for (const QPixmap& p : pictures) {
    width += p.width() + gap;
    height = std::max(height, p.height());
  }
  QPixmap strip(width, height + 2 * gap);
  strip.fill(form.palette().color(QPalette::Window));
  QPainter painter(&strip);
  int x = gap;
  for (const QPixmap& p : pictures) {
    painter.drawPixmap(x, gap, p);
    x += p.width() + gap;
  }
  painter.end();
  shots.Keep(strip, QStringLiteral("menus.png"));
}

// The wizard's format and column steps and the progress window: the wizard walks
// to the column step and runs a real export into a scratch folder, so that the
// progress window shows a run in progress. The wizard's settings are put back.
void SaveExportWizard(TForm1& form, TShots& shots) {
  QTemporaryDir scratch;
  if (!scratch.isValid()) return;
  TZelEWizardDlg& w = form.ZelEWizardDlg1();
  TZelEQtServices& services = form.ExportServices();
  const std::string oldFileName = w.FileName;
  const bool oldConfirm = w.ConfirmCancelExit;
  const TActionAfterExport oldAction = w.ActionAfterExport;
  w.ActionAfterExport = aeNone;
  const QString target = scratch.filePath(QStringLiteral("ZelExport.TXT"));
  bool progressSaved = false;
  TfrmZelEProcess::UpdateHook() = [&](TfrmZelEProcess& p) {
    if (progressSaved || p.ProgressBar->value() * 2 < p.ProgressBar->maximum()) return;
    progressSaved = true;
    shots.Save(&p, QStringLiteral("export-progress.png"));
  };
  auto messageHook = services.MessageHook;
  services.MessageHook = [](TZelEMessageKind, const std::string&) {};
  w.OnShow = [&](TfrmZelEWizard& win) {
    QTimer::singleShot(0, &win, [&] {
      shots.Save(&win, QStringLiteral("export-format.png"));
      win.GoToStep(6);
      if (win.lstColumns->count() > 0) win.lstColumns->setCurrentRow(0);
      shots.Save(&win, QStringLiteral("export-columns.png"));
      win.Last();
      win.edtFileName->setText(target);
      win.ExecuteClicked();
      if (win.isVisible()) {
        w.ConfirmCancelExit = false;
        win.reject();
      }
    });
  };
  w.Execute();
  w.OnShow = nullptr;
  TfrmZelEProcess::UpdateHook() = nullptr;
  services.MessageHook = messageHook;
  w.FileName = oldFileName;
  w.ConfirmCancelExit = oldConfirm;
  w.ActionAfterExport = oldAction;
}

// The print preview of the table, once its run has made every page.
void SavePreview(TForm1& form, TShots& shots) {
  std::function<void()> wait;
  wait = [&] {
    report::TRvoStandardPreview* preview = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* p = qobject_cast<report::TRvoStandardPreview*>(w); p && p->isVisible()) preview = p;
    if (!preview || preview->Running()) {
      QTimer::singleShot(50, &form, wait);
      return;
    }
    preview->showNormal();
    preview->resize(1000, 760);
    preview->Preview()->ZoomToWidth();
    shots.Save(preview, QStringLiteral("print-preview.png"));
    preview->close();
  };
  QTimer::singleShot(50, &form, wait);
  form.ToolButton4Click();
}

void SaveAll(TForm1& form, TShots& shots) {
  Settle();
  const bool open = form.Pdx1().Active();
  TDBGrid* grid = form.DBGrid1();
  // The main window with a few records selected, as for "Selected records only".
  if (open && grid->RecordCount() >= 5) {
    grid->ClickRecord(1, Qt::ControlModifier);
    grid->ClickRecord(2, Qt::ControlModifier);
    grid->ClickRecord(4, Qt::ControlModifier);
  }
  shots.Save(&form, QStringLiteral("main-window.png"));
  grid->ClearSelectedRecords();
  SaveMenus(form, shots);
  if (open) {
    form.ToolButton7Click();
    shots.Save(form.frmRecordView(), QStringLiteral("form-view.png"));
    form.frmRecordView()->hide();
  }
  form.ShowHideColumns1Click();
  shots.Save(form.frmColumns(), QStringLiteral("columns-dialog.png"));
  form.frmColumns()->hide();
  if (open) SaveExportWizard(form, shots);
  if (open) SavePreview(form, shots);
  // The field panel with the first picture field, when the table has one.
  form.ComboBox3DropDown();
  if (open && form.ComboBox3()->count() > 0) {
    form.CheckBox1()->setChecked(true);
    form.CheckBox1Click();
    form.PageControl1()->setCurrentIndex(1);
    form.ComboBox3()->setCurrentIndex(0);
    shots.Save(&form, QStringLiteral("field-panel.png"));
    form.CheckBox1()->setChecked(false);
    form.CheckBox1Click();
    form.PageControl1()->setCurrentIndex(0);
  }
}

}  // namespace
}  // namespace korvane

int main(int argc, char** argv) {
  korvane::TApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();
  if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
    std::fprintf(stderr, "usage: korvane-screenshots FOLDER [TABLE.db]\n");
    return 2;
  }
  korvane::TShots shots(args.takeFirst());

  korvane::TForm1 form1;
  form1.OpenFromCommandLine(args);
  form1.show();
  QTimer::singleShot(500, &form1, [&] {
    korvane::SaveAll(form1, shots);
    app.quit();
  });
  app.exec();
  for (const QString& f : shots.Files()) std::printf("%s\n", qPrintable(f));
  return shots.Files().isEmpty() ? 1 : 0;
}
