// Report output through Qt: page images played onto a painter, the PDF standing in
// for the printer (page range, landscape, a loaded file's images, cancel), the
// screen's text measures, and the fuzz seeds of report files.

#include <dirent.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <string>
#include <vector>

#include "report/RvoPageImagePrinter.h"
#include "report/qt/RvoQtCanvas.h"
#include "report/qt/RvoQtPrinter.h"
#include "support/paths.h"

namespace korvane::report {
namespace {

std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

TRvoJobSettings Paper(bool landscape = false, int first = 0, int last = 0) {
  TRvoJobSettings s;
  s.Title = "Report";
  s.PaperSize = TRvoPaperSize::A4;
  s.Orientation = landscape ? TRvoOrientation::poLandscape : TRvoOrientation::poPortrait;
  s.PaperWidth = landscape ? 2970 : 2100;
  s.PaperLength = landscape ? 2100 : 2970;
  s.FirstPage = first;
  s.LastPage = last;
  return s;
}

// Five pages, each with "Page n" near its top-left corner and a line under it.
void RunFivePages(TRvoPrinter& p, TRvoJobSettings s) {
  p.BeginDoc(s);
  TRvoFontSpec f;
  for (int n = 1; n <= 5; ++n) {
    TRvoCanvas& c = p.NewPage();
    c.Text(150, 150, f, "Page " + std::to_string(n), 100, 100, 1500, 200);
    c.Line(150, 300, 1000, 300, kRvoBlack, 3, TRvoPenStyle::Solid);
  }
  p.EndDoc();
}

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!p.waitForFinished(30000)) return QStringLiteral("<pdftotext failed>");
  return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString& pdf) {
  QFile f(pdf);
  if (!f.open(QIODevice::ReadOnly)) return -1;
  QString all = QString::fromLatin1(f.readAll());
  return static_cast<int>(all.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

bool HaveTool(const char* tool) {
  return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

int DarkPixels(const QImage& img, QRect r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(img.pixel(x, y)) < 128) ++n;
  return n;
}

int NonWhite(const QImage& img, QRect r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (img.pixel(x, y) != qRgb(255, 255, 255)) ++n;
  return n;
}

TEST(ReportOutput, APdfPrinterPrintsOnlyTheRangeAndRenamesWhenDone) {
  std::string dir = test::TempDir();
  QString pdf = QString::fromStdString(dir + "/range.pdf");
  TRvoDevicePrinter dev(pdf);
  std::vector<int> available;
  dev.OnPageAvailable = [&](int n) {
    available.push_back(n);
    EXPECT_FALSE(QFile::exists(pdf));  // not in place before it is complete
  };
  RunFivePages(dev, Paper(false, 2, 3));
  EXPECT_EQ(available, (std::vector<int>{1, 2, 3, 4, 5}));  // every page is laid out
  EXPECT_EQ(dev.PagesInRange(), 2);
  ASSERT_TRUE(QFile::exists(pdf));
  EXPECT_EQ(Files(dir), std::vector<std::string>{"range.pdf"});
  EXPECT_EQ(PdfPages(pdf), 2);
  if (HaveTool("pdftotext")) {
    QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Page 2"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Page 3")));
    EXPECT_FALSE(text.contains(QStringLiteral("Page 1")));
    EXPECT_FALSE(text.contains(QStringLiteral("Page 4")));
  }
  if (HaveTool("qpdf")) {
    EXPECT_EQ(QProcess::execute(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}), 0);
  }
  EXPECT_THROW(dev.BeginDoc(Paper()), ERvoError);  // "RvoPrinter not ready"
}

TEST(ReportOutput, LandscapeIsLandscapeOnPaper) {
  std::string dir = test::TempDir();
  QString pdf = QString::fromStdString(dir + "/land.pdf");
  {
    TRvoDevicePrinter dev(pdf);
    RunFivePages(dev, Paper(true));
  }
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QString all = QString::fromLatin1(f.readAll());
  // A4 across: 842 × 595 points.
  QRegularExpressionMatch m = QRegularExpression(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)")).match(all);
  ASSERT_TRUE(m.hasMatch());
  EXPECT_NEAR(m.captured(1).toDouble(), 842, 1);
  EXPECT_NEAR(m.captured(2).toDouble(), 595, 1);
}

TEST(ReportOutput, ACancelledOrFailedJobLeavesNoFile) {
  std::string dir = test::TempDir();
  QString pdf = QString::fromStdString(dir + "/cancel.pdf");
  {
    TRvoDevicePrinter dev(pdf);
    dev.BeginDoc(Paper());
    dev.NewPage();
    dev.NewPage();
    dev.Cancel();
    dev.AbortDoc();
  }
  EXPECT_TRUE(Files(dir).empty());
  {
    // A document the printer never finished (an error in the run) leaves nothing either.
    TRvoDevicePrinter dev(pdf);
    dev.BeginDoc(Paper());
    dev.NewPage();
  }
  EXPECT_TRUE(Files(dir).empty());
  // An existing file stays as it was when the new job is cancelled.
  test::WriteFile(dir + "/cancel.pdf", "old");
  {
    TRvoDevicePrinter dev(pdf);
    dev.BeginDoc(Paper());
    dev.NewPage();
    dev.AbortDoc();
  }
  EXPECT_EQ(test::ReadFile(dir + "/cancel.pdf"), "old");
}

TEST(ReportOutput, ALoadedFilePrintsItsImagesWithinItsPages) {
  std::string dir = test::TempDir();
  TRvoPageImagePrinter made;
  RunFivePages(made, Paper());
  made.Save(dir + "/five.RvoP");
  TRvoPageImagePrinter loaded;
  ASSERT_TRUE(loaded.Load(dir + "/five.RvoP").Loaded);

  QPrinter qp(QPrinter::HighResolution);
  qp.setOutputFormat(QPrinter::PdfFormat);
  QString pdf = QString::fromStdString(dir + "/loaded.pdf");
  qp.setOutputFileName(pdf);
  TRvoDevicePrinter dev(qp);
  // 4 ... 99 is clamped to the five pages there.
  EXPECT_EQ(dev.PrintPages(loaded.Pages(), 4, 99, "five"), 2);
  EXPECT_EQ(qp.outputFileName(), pdf);  // the printer keeps its file name
  EXPECT_EQ(PdfPages(pdf), 2);
  if (HaveTool("pdftotext")) {
    QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Page 4"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Page 5")));
    EXPECT_FALSE(text.contains(QStringLiteral("Page 3")));
  }
}

TEST(ReportOutput, ReplayLeavesThePainterAsItWas) {
  TRvoPageImagePrinter made;
  RunFivePages(made, Paper());
  QImage img(840, 600, QImage::Format_RGB32);
  img.fill(Qt::gray);
  QPainter p(&img);
  QTransform before = p.transform();
  // Two pages side by side at 2 pixels a millimetre, as a preview of two pages would
  // draw them.
  ASSERT_TRUE(DrawPageImage(p, QRectF(0, 0, 420, 594), *made.Pages().Page(1)));
  EXPECT_EQ(p.transform(), before);
  EXPECT_FALSE(p.hasClipping());
  ASSERT_TRUE(DrawPageImage(p, QRectF(420, 0, 420, 594), *made.Pages().Page(2)));
  p.end();
  // Both pages are white paper, with their text and line where they belong.
  EXPECT_EQ(img.pixel(200, 400), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(620, 400), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(839, 593), qRgb(255, 255, 255));
  EXPECT_EQ(img.pixel(839, 597), QColor(Qt::gray).rgb());  // below the paper
  EXPECT_GT(DarkPixels(img, QRect(30, 30, 100, 20)), 20);   // "Page 1"
  EXPECT_GT(DarkPixels(img, QRect(450, 30, 100, 20)), 20);  // "Page 2"
  EXPECT_GT(NonWhite(img, QRect(40, 58, 140, 4)), 100);     // the line at 30 mm
  // Text stays inside its clip rectangle (10 ... 160 mm across, 10 ... 30 mm down).
  EXPECT_EQ(NonWhite(img, QRect(0, 0, 420, 19)), 0);
  // A damaged image draws nothing.
  std::string bad = *made.Pages().Page(1);
  bad[60] = 'x';
  QImage blank(50, 50, QImage::Format_RGB32);
  blank.fill(Qt::gray);
  QPainter q(&blank);
  std::string why;
  EXPECT_FALSE(DrawPageImage(q, QRectF(0, 0, 50, 50), bad, &why));
  q.end();
  EXPECT_EQ(blank.pixel(25, 25), QColor(Qt::gray).rgb());
  EXPECT_FALSE(why.empty());
}

TEST(ReportOutput, ScreenMeasuresAreInTenthsOfAMillimetre) {
  TRvoQtMetrics m(96);
  TRvoFontSpec f;  // Arial 10
  double w = m.TextWidth(f, "WWWWWWWWWW");
  EXPECT_NEAR(w, 10 * m.TextWidth(f, "W"), 1.0);
  EXPECT_GT(w, 250);  // a 10-point W is about 3 mm wide
  EXPECT_LT(w, 400);
  double h = m.LineHeight(f);
  EXPECT_GT(h, 35.0);  // 10 points = 35.3 tenths of a millimetre, plus the line gap
  EXPECT_LT(h, 50.0);
  EXPECT_LT(m.Ascent(f), h);
  // The same text in bold is wider; characters count, not bytes.
  TRvoFontSpec b = f;
  b.Bold = true;
  EXPECT_GT(m.TextWidth(b, "Report"), m.TextWidth(f, "Report"));
  EXPECT_NEAR(m.TextWidth(f, "ÄÄÄ"), 3 * m.TextWidth(f, "Ä"), 1.0);
  // Measures at another resolution are the same lengths.
  TRvoQtMetrics m2(144);
  EXPECT_NEAR(m2.TextWidth(f, "WWWWWWWWWW"), w, w * 0.03);
}

TEST(ReportOutput, PaperCodesMapToPageSizesOfTheSameSize) {
  EXPECT_EQ(RvoQtPageSize(TRvoPaperSize::A4, 0, 0).id(), QPageSize::A4);
  EXPECT_EQ(RvoQtPageSize(TRvoPaperSize::A4Small, 0, 0).id(), QPageSize::A4);
  EXPECT_EQ(RvoQtPageSize(TRvoPaperSize::Letter, 0, 0).id(), QPageSize::Letter);
  EXPECT_EQ(RvoQtPageSize(TRvoPaperSize::Legal, 0, 0).id(), QPageSize::Legal);
  EXPECT_EQ(RvoQtPageSize(TRvoPaperSize::A3, 0, 0).id(), QPageSize::A3);
  EXPECT_EQ(RvoQtPageSize(TRvoPaperSize::Env10, 0, 0).id(), QPageSize::Envelope10);
  QSizeF custom = RvoQtPageSize(TRvoPaperSize::Custom, 1000, 1500).size(QPageSize::Millimeter);
  EXPECT_NEAR(custom.width(), 100, 0.1);
  EXPECT_NEAR(custom.height(), 150, 0.1);
  EXPECT_EQ(RvoQtPaperSource(TRvoBin::Manual), QPrinter::Manual);
  EXPECT_EQ(RvoQtPaperSource(TRvoBin::Auto), QPrinter::Auto);
}

// The seeds of fuzz_report_file (written by fuzz/gen_report_corpus.py with its own
// splay coder): the sound ones load whole, the damaged ones keep what comes before
// the damage, and every page kept draws.
TEST(ReportOutput, FuzzSeedsLoadAsBuilt) {
  std::string corpus = std::string(KORVANE_BINARY_DIR) + "/../fuzz/corpus/fuzz_report_file";
  std::vector<std::string> seeds = Files(corpus);
  if (seeds.empty()) GTEST_SKIP() << "no seeds at " << corpus;
  struct TWant {
    const char* name;
    int pages;  // -1: refused
    const char* says;
  };
  std::vector<TWant> want = {
      {"one_page", 1, ""},
      {"three_pages", 3, ""},
      {"three_pages_compressed", 3, ""},
      {"landscape", 2, ""},
      {"empty", 0, ""},
      {"short", -1, "too short"},
      {"next_points_at_itself", 1, "page 2"},
      {"next_backwards", 2, "page 3"},
      {"trailing_offset_wrong", 2, "page 3"},
      {"count_negative", 0, "after its last page"},
      {"count_huge", 3, "page 4"},
      {"trailing_garbage", 3, "after its last page"},
      {"compressed_length_huge", 1, "page 2"},
      {"compressed_length_just_too_big", 1, "page 2"},
      {"text_count_huge", 1, "page 2"},
      {"unknown_record_kind", 1, "page 2"},
      {"fill_off_the_page", -1, "page 1"},
      {"old_header_emf", -1, "EMF"},
      {"emf_page", -1, "EMF"},
  };
  EXPECT_EQ(seeds.size(), want.size());
  for (const TWant& w : want) {
    TRvoPageList list;
    TRvoLoadResult r = list.LoadFromFile(corpus + "/" + w.name);
    EXPECT_EQ(r.Loaded, w.pages >= 0) << w.name << ": " << r.Message;
    EXPECT_NE(r.Message.find(w.says), std::string::npos) << w.name << ": " << r.Message;
    if (w.pages < 0) continue;
    EXPECT_EQ(list.PageCount(), w.pages) << w.name;
    for (int n = 1; n <= list.PageCount(); ++n) {
      QImage img(105, 148, QImage::Format_RGB32);
      QPainter p(&img);
      std::string why;
      EXPECT_TRUE(DrawPageImage(p, QRectF(0, 0, 105, 148), *list.Page(n), &why)) << w.name << " " << why;
    }
  }
  // The landscape seed's paper is guessed from its first page.
  TRvoPageImagePrinter p;
  ASSERT_TRUE(p.Load(corpus + "/landscape").Loaded);
  EXPECT_EQ(p.LoadedPaper().Orientation, TRvoOrientation::poLandscape);
}

}  // namespace
}  // namespace korvane::report
