// The print preview: pages arriving during the run, paging and zoom, commands locked
// while the run goes on, Escape cancelling it, saving and loading report files, and
// the viewer's Print command around it.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "report/RvoPageImagePrinter.h"
#include "report/qt/RvoPreview.h"
#include "report/qt/RvoQtPrinter.h"
#include "viewer_support.h"

namespace korvane::report {
namespace {

TRvoStandardPreview* OpenPreview() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<TRvoStandardPreview*>(w); p && p->isVisible()) return p;
  return nullptr;
}

TRvoJobSettings A4() {
  TRvoJobSettings s;
  s.PaperWidth = 2100;
  s.PaperLength = 2970;
  return s;
}

// A run of `pages` pages; `during(page)` runs after each page was begun, with the
// queued notices handled as the engine's run lets them through before each record.
std::function<void(TRvoPrinter&)> FakeRun(int pages, std::function<void(int)> during = {}) {
  return [pages, during](TRvoPrinter& p) {
    p.BeginDoc(A4());
    TRvoFontSpec f;
    for (int n = 1; n <= pages && !p.Cancelled(); ++n) {
      TRvoCanvas& c = p.NewPage();
      c.Text(100, 100, f, "Page " + std::to_string(n), 0, 0, 2100, 2970);
      p.SetProgress(n * 100 / pages);
      p.ProcessMessages();
      if (during) during(n);
      p.ProcessMessages();
    }
    if (p.Cancelled()) p.AbortDoc();
    else p.EndDoc();
  };
}

// Runs `after` once the run has ended and the preview waits for its window to
// close, then closes it.
void AfterRun(std::function<void(TRvoStandardPreview&)> after) {
  QTimer::singleShot(10, [after] {
    TRvoStandardPreview* w = OpenPreview();
    if (!w || w->Running()) {
      AfterRun(after);
      return;
    }
    after(*w);
    if (w->isVisible()) w->close();
  });
}

TEST(Preview, PagesArriveDuringTheRunAndCommandsWaitForItsEnd) {
  test::TUiRecorder ui;
  TRvoPreviewJob job;
  bool checkedDuring = false, checkedAfter = false;
  job.Run = FakeRun(5, [&](int n) {
    TRvoStandardPreview* w = OpenPreview();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), w);
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Print Preview"));
    // Save, Load, Print and Printer setup wait for the end of the run.
    EXPECT_FALSE(w->Action("SaveReport")->isEnabled());
    EXPECT_FALSE(w->Action("LoadReport")->isEnabled());
    EXPECT_FALSE(w->Action("Print")->isEnabled());
    EXPECT_FALSE(w->Action("PrinterSetup")->isEnabled());
    w->SaveReport();  // even when called: nothing happens
    w->LoadReport();
    EXPECT_TRUE(ui.messages.empty());
    if (n == 3) {
      checkedDuring = true;
      EXPECT_EQ(w->Preview()->PageShown(), 1);
      EXPECT_TRUE(w->Preview()->ImageReady());
      EXPECT_EQ(w->PageText(), QStringLiteral("Page 1 of 3"));  // the page being made counts
      EXPECT_EQ(w->ProgressText(), QStringLiteral("60%"));
      // Last page goes to the page being made; it appears when it is finished.
      w->Action("LastPage")->trigger();
      EXPECT_EQ(w->Preview()->PageShown(), 3);
      EXPECT_FALSE(w->Preview()->ImageReady());
      EXPECT_EQ(w->PageText(), QStringLiteral("Page 3 of 3"));
    }
    if (n == 4) {
      EXPECT_EQ(w->Preview()->PageShown(), 3);
      EXPECT_TRUE(w->Preview()->ImageReady());
    }
  });
  AfterRun([&](TRvoStandardPreview& w) {
    checkedAfter = true;
    EXPECT_TRUE(w.Action("Print")->isEnabled());
    EXPECT_TRUE(w.Action("SaveReport")->isEnabled());
    EXPECT_TRUE(w.Action("LoadReport")->isEnabled());
    EXPECT_EQ(w.ProgressText(), QString());  // 100 % empties the panel
    w.Action("FirstPage")->trigger();
    w.Action("NextPage")->trigger();
    EXPECT_EQ(w.PageText(), QStringLiteral("Page 2 of 5"));
    // Paging past either end does nothing.
    w.Action("LastPage")->trigger();
    w.Action("NextPage")->trigger();
    EXPECT_EQ(w.Preview()->PageShown(), 5);
    QTest::keyClick(&w, Qt::Key_Home);
    QTest::keyClick(&w, Qt::Key_PageUp);
    EXPECT_EQ(w.Preview()->PageShown(), 1);
    QTest::keyClick(&w, Qt::Key_PageDown);
    EXPECT_EQ(w.PageText(), QStringLiteral("Page 2 of 5"));
    QTest::keyClick(&w, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w.Preview()->PageShown(), 5);
    // Escape closes the preview after the run as well.
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.Closed());
  });
  RvoShowPreview(nullptr, job);
  EXPECT_TRUE(checkedDuring);
  EXPECT_TRUE(checkedAfter);
  EXPECT_EQ(OpenPreview(), nullptr);
}

TEST(Preview, EscapeDuringTheRunCancelsItAndEndsThePreview) {
  int made = 0;
  TRvoPreviewJob job;
  job.Run = FakeRun(50, [&](int n) {
    made = n;
    if (n == 2) QTest::keyClick(OpenPreview(), Qt::Key_Escape);
  });
  RvoShowPreview(nullptr, job);  // returns without waiting: the window is closed
  EXPECT_EQ(made, 2);
  EXPECT_EQ(OpenPreview(), nullptr);
}

TEST(Preview, ZoomFollowsTheWindowAndStaysWithinLimits) {
  TRvoPreviewJob job;
  job.Run = FakeRun(2);
  AfterRun([](TRvoStandardPreview& w) {
    TRvoPreview* p = w.Preview();
    w.showNormal();
    w.resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(p->ZoomState(), TRvoZoomState::Width);  // the state at start
    QSizeF page = p->PagePixels();
    EXPECT_EQ(p->Zoom(), qRound(p->viewport()->width() / page.width() * 90));
    w.Action("ZoomFit")->trigger();
    EXPECT_EQ(p->ZoomState(), TRvoZoomState::Fit);
    EXPECT_LE(p->Image()->height(), p->viewport()->height());
    EXPECT_LE(p->Image()->width(), p->viewport()->width());
    // Resizing while zoomed to fit keeps the whole page visible.
    w.resize(500, 900);
    QApplication::processEvents();
    EXPECT_LE(p->Image()->height(), p->viewport()->height());
    EXPECT_LE(p->Image()->width(), p->viewport()->width());
    EXPECT_EQ(p->Image()->width(), qRound(page.width() * p->Zoom() / 100.0) + 4);
    w.Action("Zoom100")->trigger();
    EXPECT_EQ(p->Zoom(), 100);
    EXPECT_EQ(p->ZoomState(), TRvoZoomState::Other);
    // A zoom outside 2 ... 2000 is ignored.
    p->SetZoom(1);
    EXPECT_EQ(p->Zoom(), 100);
    p->SetZoom(2001);
    EXPECT_EQ(p->Zoom(), 100);
    // A window too small for a page: the fit zoom would be below 2 and is ignored.
    w.Action("ZoomFit")->trigger();
    w.resize(30, 30);
    QApplication::processEvents();
    EXPECT_GE(p->Zoom(), 2);
  });
  RvoShowPreview(nullptr, job);
}

TEST(Preview, SavedPagesLoadAgainAndDamagedFilesAreNamed) {
  test::TUiRecorder ui;
  std::string dir = test::TempDir();
  QString file = QString::fromStdString(dir + "/saved");  // the extension is added
  TRvoPreviewJob job;
  job.Run = FakeRun(3);
  bool printedAgain = false;
  job.PrintAgain = [&](QPrinter&) { printedAgain = true; };
  AfterRun([&](TRvoStandardPreview& w) {
    ui.files.push_back(file);
    w.SaveReport();
    EXPECT_TRUE(QFile::exists(file + QStringLiteral(".RvoP")));
    // Loading a file that is not there says so.
    ui.files.push_back(QString::fromStdString(dir + "/none.RvoP"));
    w.LoadReport();
    EXPECT_EQ(ui.LastMessage(), QStringLiteral("File does not exist"));
    // A damaged file keeps its sound pages and names the first bad one.
    std::string bytes = test::ReadFile(dir + "/saved.RvoP");
    uint32_t r2;
    std::memcpy(&r2, bytes.data() + 132, 4);
    std::memcpy(bytes.data() + r2 + 4, &r2, 4);  // page 2 points at itself
    test::WriteFile(dir + "/damaged.RvoP", bytes);
    ui.files.push_back(QString::fromStdString(dir + "/damaged.RvoP"));
    w.LoadReport();
    EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("page 2"))) << ui.LastMessage().toStdString();
    EXPECT_EQ(w.PageText(), QStringLiteral("Page 1 of 1"));
    // A sound file replaces the pages; Print then prints the images, not the data.
    ui.files.push_back(file + QStringLiteral(".RvoP"));
    w.LoadReport();
    EXPECT_EQ(w.PageText(), QStringLiteral("Page 1 of 3"));
    EXPECT_TRUE(w.Action("Print")->isEnabled());
    QString pdf = QString::fromStdString(dir + "/printed.pdf");
    w.Printer().setOutputFormat(QPrinter::PdfFormat);
    w.Printer().setOutputFileName(pdf);
    w.Print();
    EXPECT_FALSE(printedAgain);
    EXPECT_TRUE(QFile::exists(pdf));
  });
  RvoShowPreview(nullptr, job);
}

TEST(Preview, PrintFromARunPrintsTheReportAgainAndWithoutAPrinterSaysSo) {
  test::TUiRecorder ui;
  TRvoPreviewJob job;
  job.Run = FakeRun(2);
  int printedAgain = 0;
  job.PrintAgain = [&](QPrinter&) { ++printedAgain; };
  AfterRun([&](TRvoStandardPreview& w) {
    w.Printer().setOutputFileName(QString());
    w.Print();
    if (RvoPrinterInstalled()) {
      EXPECT_EQ(printedAgain, 1);
    } else {
      EXPECT_EQ(printedAgain, 0);
      EXPECT_TRUE(ui.LastMessage().contains(QStringLiteral("No printer"))) << ui.LastMessage().toStdString();
    }
    w.Printer().setOutputFormat(QPrinter::PdfFormat);
    w.Printer().setOutputFileName(QString::fromStdString(test::TempDir() + "/x.pdf"));
    w.Print();
    EXPECT_GE(printedAgain, 1);
  });
  RvoShowPreview(nullptr, job);
}

TEST(Preview, ProgressWindowReadsPercentCompletedAndCancels) {
  TRvoPageImagePrinter printer;
  TRvoProgressForm form(printer);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Printing progress"));
  form.Progress(45);
  EXPECT_EQ(form.InfoText(), QStringLiteral("45%  Completed"));
  EXPECT_EQ(form.Bar()->value(), 45);
  form.Progress(47);  // only multiples of 5 move it
  EXPECT_EQ(form.Bar()->value(), 45);
  QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("CancelButton")), Qt::LeftButton);
  EXPECT_TRUE(printer.Cancelled());
}

}  // namespace
}  // namespace korvane::report

namespace korvane::test {
namespace {

using report::TRvoStandardPreview;

struct TTextRun {
  std::string text;
  double x, clipWidth;
};

std::vector<TTextRun> TextRuns(const std::string& image) {
  struct TGrab : report::TRvoCanvas {
    std::vector<TTextRun> runs;
    void BeginPage(double, double) override {}
    void EndPage() override {}
    void FillRect(double, double, double, double, report::TRvoRGB) override {}
    void Line(double, double, double, double, report::TRvoRGB, double, report::TRvoPenStyle) override {}
    void Text(double x, double, const report::TRvoFontSpec&, std::string_view t, double, double, double cw,
              double) override {
      runs.push_back({std::string(t), x, cw});
    }
    void Image(double, double, double, double, std::string_view) override {}
  } grab;
  EXPECT_TRUE(report::PlayPageImage(image, grab, nullptr));
  return grab.runs;
}

const TTextRun* Find(const std::vector<TTextRun>& runs, const std::string& text) {
  for (const TTextRun& r : runs)
    if (r.text == text) return &r;
  return nullptr;
}

TEST_F(ViewerTest, PrintShowsTheGridColumnsAndBlocksTheMainWindow) {
  ASSERT_TRUE(OpenThroughDialog(PeopleTable()));
  // Price shown first and wide; Name narrow. The fields keep their order.
  TGridColumns& cols = form->GridColumns();
  cols.Move(cols.IndexOfField("Price"), 0);
  cols.At(cols.IndexOfField("Price")).Width = 200;
  cols.At(cols.IndexOfField("Name")).Width = 90;
  cols.Changed();
  form->Pdx1().SetRecNo(3);
  bool seen = false;
  report::AfterRun([&](TRvoStandardPreview& wr) {
    TRvoStandardPreview* w = &wr;
    seen = true;
    EXPECT_EQ(QApplication::activeModalWidget(), w);
    EXPECT_EQ(w->windowModality(), Qt::ApplicationModal);
    // A second Print while the preview is open does nothing.
    form->ToolButton4Click();
    EXPECT_EQ(w->PageText(), QStringLiteral("Page 1 of 1"));
    std::vector<TTextRun> runs = TextRuns(*w->PagePrinter().Pages().Page(1));
    const TTextRun* price = Find(runs, "Price");
    const TTextRun* name = Find(runs, "Name");
    const TTextRun* qty = Find(runs, "Qty");
    ASSERT_TRUE(price && name && qty);
    EXPECT_LT(price->x, name->x);  // the grid's display order
    EXPECT_LT(name->x, qty->x);
    // Each header is as wide as the grid column showing its field (by name).
    double dpi = form->logicalDpiX();
    EXPECT_NEAR(price->clipWidth, 200 * 254.0 / dpi, 12);
    EXPECT_NEAR(name->clipWidth, 90 * 254.0 / dpi, 12);
    EXPECT_TRUE(Find(runs, "Carol"));
    EXPECT_TRUE(Find(runs, "Page 1"));
    EXPECT_FALSE(Find(runs, "Notes"));  // memo fields are not printed
  });
  form->Action("Print1")->trigger();
  EXPECT_TRUE(seen);
  EXPECT_EQ(report::OpenPreview(), nullptr);
  EXPECT_EQ(form->Pdx1().RecNo(), 3);  // the cursor is back where it was
  EXPECT_TRUE(ui.messages.empty()) << ui.LastMessage().toStdString();
}

TEST_F(ViewerTest, PrintWithoutATableDoesNothing) {
  form->ToolButton4Click();
  EXPECT_EQ(report::OpenPreview(), nullptr);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace korvane::test
