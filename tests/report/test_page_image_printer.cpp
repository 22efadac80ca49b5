// The page image destination of the report printer: a run's pages land in the page
// store as it goes, a saved file comes back as a finished printer, and the status
// rules keep Load and Save from meeting a run.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/RvoPageImagePrinter.h"
#include "support/paths.h"

namespace korvane::report {
namespace {

TRvoJobSettings A4(bool landscape = false) {
  TRvoJobSettings s;
  s.Title = "t";
  s.PaperSize = TRvoPaperSize::A4;
  s.Orientation = landscape ? TRvoOrientation::poLandscape : TRvoOrientation::poPortrait;
  s.PaperWidth = landscape ? 2970 : 2100;
  s.PaperLength = landscape ? 2100 : 2970;
  return s;
}

void MakePages(TRvoPageImagePrinter& p, int n, bool landscape = false) {
  p.BeginDoc(A4(landscape));
  TRvoFontSpec f;
  for (int i = 1; i <= n; ++i) {
    TRvoCanvas& c = p.NewPage();
    c.Text(100, 100, f, "Page " + std::to_string(i), 0, 0, 1000, 1000);
  }
  p.EndDoc();
}

std::string TextOf(const std::string& image) {
  struct TGrab : TRvoCanvas {
    std::string text;
    void BeginPage(double, double) override {}
    void EndPage() override {}
    void FillRect(double, double, double, double, TRvoRGB) override {}
    void Line(double, double, double, double, TRvoRGB, double, TRvoPenStyle) override {}
    void Text(double, double, const TRvoFontSpec&, std::string_view t, double, double, double, double) override {
      text += t;
    }
    void Image(double, double, double, double, std::string_view) override {}
  } grab;
  EXPECT_TRUE(PlayPageImage(image, grab, nullptr));
  return grab.text;
}

TEST(PageImagePrinter, PagesArriveOneByOneAndAreKept) {
  TRvoPageImagePrinter p;
  std::vector<int> available;
  std::vector<int> begunWhenAvailable;
  p.OnPageAvailable = [&](int n) {
    available.push_back(n);
    begunWhenAvailable.push_back(p.PagesBegun());
    // Each page handed over can be read back at once.
    EXPECT_EQ(TextOf(*p.Pages().Page(n)), "Page " + std::to_string(n));
  };
  MakePages(p, 3);
  EXPECT_EQ(available, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(begunWhenAvailable, (std::vector<int>{1, 2, 3}));  // told before the next page begins
  EXPECT_TRUE(p.Finished());
  EXPECT_EQ(p.PagesAvailable(), 3);
  // Every page of the store begins with white paper of the page's size.
  TRvoPageInfo info;
  ASSERT_TRUE(CheckPageImage(*p.Pages().Page(2), &info, nullptr));
  EXPECT_EQ(info.Width, 2100);
  EXPECT_EQ(info.Height, 2970);
  EXPECT_THROW(p.BeginDoc(A4()), ERvoError);  // "RvoPrinter not ready"
}

TEST(PageImagePrinter, CancelKeepsThePagesMadeSoFar) {
  TRvoPageImagePrinter p;
  p.BeginDoc(A4());
  p.NewPage();
  p.NewPage();
  p.Cancel();
  p.AbortDoc();
  EXPECT_TRUE(p.Finished());
  EXPECT_EQ(p.Pages().PageCount(), 2);
  EXPECT_EQ(p.Pages().StreamBytes(8, 1), std::string(1, '\2'));  // the header counts them
}

TEST(PageImagePrinter, LoadAndSaveWaitForTheRunToEnd) {
  std::string dir = test::TempDir();
  TRvoPageImagePrinter made;
  MakePages(made, 2, true);
  made.Save(dir + "/two.RvoP");

  TRvoPageImagePrinter p;
  EXPECT_THROW(p.Save(dir + "/x.RvoP"), ERvoError);  // nothing made yet
  p.BeginDoc(A4());
  p.NewPage();
  EXPECT_THROW(p.Load(dir + "/two.RvoP"), ERvoError);
  EXPECT_THROW(p.Save(dir + "/x.RvoP"), ERvoError);
  EXPECT_NO_THROW(p.NewPage());  // the run goes on undisturbed
  p.EndDoc();
  EXPECT_EQ(p.Pages().PageCount(), 2);

  TRvoLoadResult r = p.Load(dir + "/two.RvoP");
  EXPECT_TRUE(r.Loaded);
  EXPECT_TRUE(p.Loaded());
  EXPECT_TRUE(p.Finished());
  EXPECT_EQ(p.PagesAvailable(), 2);
  EXPECT_EQ(p.PagesBegun(), 2);
  EXPECT_EQ(TextOf(*p.Pages().Page(2)), "Page 2");
  EXPECT_EQ(p.LoadedPaper().Orientation, TRvoOrientation::poLandscape);
  // A4 and A4Small have the same size; the later one in the paper table wins.
  EXPECT_EQ(p.LoadedPaper().Size, TRvoPaperSize::A4Small);
  EXPECT_NO_THROW(p.Save(dir + "/two.RvoP"));

  // A refused file leaves the printer as it was.
  test::WriteFile(dir + "/bad.RvoP", std::string(300, 'x'));
  r = p.Load(dir + "/bad.RvoP");
  EXPECT_FALSE(r.Loaded);
  EXPECT_EQ(p.PagesAvailable(), 2);
  EXPECT_TRUE(p.Loaded());
}

TEST(PageImagePrinter, PaperIsGuessedFromThePageSize) {
  EXPECT_EQ(GuessPaper(2159, 3556).Size, TRvoPaperSize::Legal);
  EXPECT_EQ(GuessPaper(2159, 3556).Orientation, TRvoOrientation::poPortrait);
  EXPECT_EQ(GuessPaper(2100, 1480).Size, TRvoPaperSize::A5);
  EXPECT_EQ(GuessPaper(2100, 1480).Orientation, TRvoOrientation::poLandscape);
  // 4 mm steps: 149 mm is still A5.
  EXPECT_EQ(GuessPaper(1490, 2100).Size, TRvoPaperSize::A5);
  EXPECT_EQ(GuessPaper(1234, 567).Size, TRvoPaperSize::Custom);
  EXPECT_EQ(GuessPaper(0, 0).Size, TRvoPaperSize::Custom);
}

}  // namespace
}  // namespace korvane::report
