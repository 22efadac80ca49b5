// The list builder and the report run, drawn onto a recording printer with fixed
// text measures (16 tenths of a millimetre per character at 8 points).
#include <gtest/gtest.h>

#include <cmath>

#include "engine/pdx.h"
#include "report/RvoListBuilder.h"
#include "report_test_util.h"
#include "support/fixtures.h"

using namespace korvane;
using namespace korvane::report;
using korvane::test::TFixedMetrics;
using korvane::test::TRecordingPrinter;

namespace {

struct TOpenTable {
  TPdx table;
  explicit TOpenTable(const std::string& path) {
    table.SetTableName(path);
    table.Open();
  }
};

std::vector<TWriterRow> NumberedRows(int n) {
  std::vector<TWriterRow> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({std::string("name") + std::to_string(i), i});
  return rows;
}

std::unique_ptr<TRvoRep> Build(TRvoMetrics& m, TDataSet& ds, const std::string& title = "T",
                               std::vector<TRvoLeftOutField>* leftOut = nullptr,
                               const std::vector<std::string>& names = {}) {
  TRvoListBuilder b(m);
  return BuildListReport(b, ds, names, title, leftOut);
}

// Labels of the column header band, in child order.
std::vector<TRvoLabel*> HeaderLabels(const TRvoRep& r) {
  std::vector<TRvoLabel*> out;
  for (const auto& p : r.FindBand(TRvoBandType::rbColumnHeader)->Printables())
    out.push_back(dynamic_cast<TRvoLabel*>(p.get()));
  return out;
}

}  // namespace

TEST(RvoListBuilder, SkipsBlobsAndUnusableNamesAndPlacesColumns) {
  TOpenTable t(test::MakeTable("Name=A20,Two Words=I,Memo=M20,Count=I,A-B=S,Pic=G20", {}));
  TFixedMetrics m;
  std::vector<TRvoLeftOutField> out;
  auto r = Build(m, t.table, "T", &out);
  ASSERT_TRUE(r);
  auto labels = HeaderLabels(*r);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0]->Caption(), "Name");
  EXPECT_EQ(labels[1]->Caption(), "Count");
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0].Name, "Two Words");
  EXPECT_EQ(out[0].Why, TRvoLeftOutField::UnusableName);
  EXPECT_EQ(out[1].Why, TRvoLeftOutField::Blob);
  EXPECT_EQ(out[2].Name, "A-B");
  EXPECT_EQ(out[3].Why, TRvoLeftOutField::Blob);

  // Left edges 1 and w + 11 pixels; the label is as wide as "X" × the display width.
  const int w = r->NativeToPx(labels[0]->Width);
  EXPECT_NEAR(labels[0]->Width, 20 * 16, 1e-9);
  EXPECT_EQ(r->NativeToPx(labels[0]->Left), 1);
  EXPECT_EQ(r->NativeToPx(labels[1]->Left), w + 11);
  // Each detail cell lies under its label, shows its field and is aligned like it.
  const auto& cells = r->FindBand(TRvoBandType::rbDetail)->Printables();
  ASSERT_EQ(cells.size(), 2u);
  auto* c1 = dynamic_cast<TRvoExpr*>(cells[1].get());
  EXPECT_EQ(c1->Expression(), "[Count]");
  EXPECT_DOUBLE_EQ(c1->Left, labels[1]->Left);
  EXPECT_DOUBLE_EQ(c1->Width, labels[1]->Width);
  EXPECT_EQ(c1->Alignment, taRightJustify);
  EXPECT_TRUE(labels[0]->Frame.DrawBottom);
  // Rows are 1.5 label heights; the footer reads the page number on the right.
  const int h = r->NativeToPx(labels[0]->Height);
  EXPECT_EQ(r->NativeToPx(r->FindBand(TRvoBandType::rbDetail)->Height), static_cast<int>(std::nearbyint(1.5 * h)));
  EXPECT_TRUE(r->HasBand(TRvoBandType::rbTitle));
  EXPECT_EQ(r->Page.Orientation, TRvoOrientation::poPortrait);
  EXPECT_EQ(labels[0]->Name, "RvoLabel2");  // the title label is RvoLabel1
}

TEST(RvoListBuilder, SwitchesToLandscapeAndLeavesOutWhatStillDoesNotFit) {
  // 16 per character: A70 is 1120 wide; two pass portrait's 1900, and A255 (4080)
  // passes landscape's 2770 too, while the later A20 still fits.
  TOpenTable t(test::MakeTable("A=A70,B=A70,Wide=A255,C=A20", {}));
  TFixedMetrics m;
  std::vector<TRvoLeftOutField> out;
  auto r = Build(m, t.table, "", &out);
  EXPECT_EQ(r->Page.Orientation, TRvoOrientation::poLandscape);
  auto labels = HeaderLabels(*r);
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[2]->Caption(), "C");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].Name, "Wide");
  EXPECT_EQ(out[0].Why, TRvoLeftOutField::TooWide);
  EXPECT_FALSE(r->HasBand(TRvoBandType::rbTitle));  // empty title: no title band
  for (auto* l : labels) EXPECT_LE(l->Left + l->Width, r->ColumnWidth());
}

TEST(RvoListBuilder, HeaderWidthsComeFromTheGridColumnShowingTheField) {
  TOpenTable t(test::MakeTable("A=A10,B=I", {}));
  TFixedMetrics m;
  auto r = Build(m, t.table);
  TDataSource src;
  src.SetDataSet(&t.table);
  TGridColumns grid;
  grid.SetDataSource(&src);
  grid.RebuildFromFields();
  grid.At(1).Width = 200;  // B
  grid.Move(1, 0);         // B shown first: a lookup by position would pick A
  ApplyGridWidths(*r, t.table, grid);
  auto labels = HeaderLabels(*r);
  EXPECT_NEAR(labels[1]->Width, r->PxToNative(200), 1e-9);
  EXPECT_NEAR(labels[0]->Width, r->PxToNative(grid[1].Width), 1e-9);
  // A header wider than its column stops 4 pixels before the next one.
  grid.At(1).Width = 100;  // A (shown second), whose column is 61 pixels wide
  ApplyGridWidths(*r, t.table, grid);
  EXPECT_NEAR(labels[0]->Left + labels[0]->Width, labels[1]->Left - r->PxToNative(4), 1e-9);
  grid.At(0).Width = 5000;  // B, the last column: not past the band
  ApplyGridWidths(*r, t.table, grid);
  EXPECT_LE(labels[1]->Left + labels[1]->Width, r->FindBand(TRvoBandType::rbColumnHeader)->Width() + 1e-9);
  // Detail cells keep their widths.
  EXPECT_NEAR(r->FindBand(TRvoBandType::rbDetail)->Printables()[1]->Width, 11 * 16, 1e-9);
}

TEST(RvoRun, PagesOneToNCarryHeaderFooterAndEveryRecordInOrder) {
  TOpenTable t(test::MakeTable("Name=A20,N=I", NumberedRows(130)));
  TFixedMetrics m;
  auto r = Build(m, t.table, "My title");
  TRecordingPrinter p;
  r->Run(p);
  ASSERT_GE(p.pages.size(), 3u);
  EXPECT_EQ(p.begins, 1);
  EXPECT_EQ(p.ends, 1);
  EXPECT_EQ(p.Status(), TRvoPrinterStatus::Finished);
  EXPECT_EQ(r->Stats().Records, 130);
  int next = 1;
  const double paperLength = r->PaperLength();
  for (size_t i = 0; i < p.pages.size(); ++i) {
    const auto& pg = p.pages[i];
    EXPECT_EQ(pg.begun, 1);
    EXPECT_EQ(pg.ended, 1);  // each page ended once
    EXPECT_EQ(pg.Count("My title"), i == 0 ? 1 : 0);
    EXPECT_EQ(pg.Count("Name"), 1) << "column header on page " << i + 1;
    EXPECT_EQ(pg.Count("Page " + std::to_string(i + 1)), 1) << "footer on page " << i + 1;
    double footerTop = paperLength, lastDetail = 0;
    for (const auto& tx : pg.texts) {
      if (tx.text.rfind("Page ", 0) == 0) footerTop = tx.y;
      if (tx.text == "name" + std::to_string(next)) {
        ++next;
        lastDetail = tx.y + 32;
      }
    }
    EXPECT_LE(lastDetail, footerTop) << "a detail line overlaps the footer on page " << i + 1;
  }
  EXPECT_EQ(next, 131) << "records missing or out of order";
  EXPECT_EQ(p.available.back(), static_cast<int>(p.pages.size()));
  // The footer sits right-aligned at the right margin.
  const auto& foot = p.pages[0].texts.back();
  EXPECT_NEAR(foot.x + 6 * 16, r->PaperWidth() - r->Page.RightMargin, 1e-6);
}

TEST(RvoRun, TheCursorGoesBackAndViewsSeeNoWalk) {
  TOpenTable t(test::MakeTable("Name=A20,N=I", NumberedRows(40)));
  struct TCounter : TDataSetObserver {
    int events = 0;
    void DataSetEvent(TDataSet&, TDataEvent) override { ++events; }
  } view;
  t.table.SetRecNo(17);
  t.table.AddObserver(&view);
  TFixedMetrics m;
  auto r = Build(m, t.table);
  const int before = view.events;
  TRecordingPrinter p;
  r->Run(p);
  EXPECT_EQ(t.table.RecNo(), 17);
  EXPECT_FALSE(t.table.ControlsDisabled());
  EXPECT_LE(view.events - before, 1);  // one refresh at the end, not one per record
  t.table.RemoveObserver(&view);
}

TEST(RvoRun, ATitleWiderThanThePageIsCutAtItsEdgeNotRunOffIt) {
  TOpenTable t(test::MakeTable("Name=A20,N=I", NumberedRows(2)));
  TFixedMetrics m;
  // 14-point characters are 28 wide: 100 of them need 2800 of A4's 1900.
  auto r = Build(m, t.table, std::string(100, 'T'));
  TRecordingPrinter p;
  r->Run(p);
  ASSERT_EQ(p.pages.size(), 1u);
  const auto& title = p.pages[0].texts.front();
  EXPECT_EQ(title.text, std::string(1900 / 28, 'T'));
  EXPECT_GE(title.x, r->Page.LeftMargin - 1e-9);
  EXPECT_LE(title.x + 28.0 * static_cast<double>(title.text.size()), r->PaperWidth() - r->Page.RightMargin + 1e-9);
}

TEST(RvoRun, ABandExactlyAsTallAsTheSpaceLeftStillFits) {
  TOpenTable t(test::MakeTable("Name=A8,N=I", NumberedRows(7)));
  TFixedMetrics m;
  TRvoRep r(m);
  r.Page.PaperSize = TRvoPaperSize::Custom;
  r.Page.CustomWidth = 1000;
  r.Page.CustomLength = 400;
  r.Page.TopMargin = r.Page.BottomMargin = 50;
  r.SetHasBand(TRvoBandType::rbDetail, true);
  r.FindBand(TRvoBandType::rbDetail)->Height = 100;
  r.DataSet = &t.table;
  TRecordingPrinter p;
  r.Run(p);
  // 300 of space: exactly three lines a page.
  EXPECT_EQ(p.pages.size(), 3u);
  EXPECT_EQ(r.PageCount(), 3);
}

TEST(RvoRun, AnEmptyTablePrintsTitleOneEmptyLineAndTheFooter) {
  TOpenTable t(test::MakeTable("Name=A20,N=I", {}));
  TFixedMetrics m;
  auto r = Build(m, t.table, "Empty");
  TRecordingPrinter p;
  r->Run(p);
  ASSERT_EQ(p.pages.size(), 1u);
  EXPECT_EQ(p.pages[0].Joined(), "Empty|Page 1");
}

TEST(RvoRun, NullsPrintEmptyAndNumbersAreNeverCut) {
  TOpenTable t(test::MakeTable("S=A20,I=I,F=N,L=L",
                               {{std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                                {std::string("x"), 0, -123456789.12, false},
                                {std::string("y"), 7, 1.23456789012346E20, true}}));
  TFixedMetrics m;
  auto r = Build(m, t.table, "");
  TRecordingPrinter p;
  r->Run(p);
  ASSERT_EQ(p.pages.size(), 1u);
  const std::string all = p.pages[0].Joined();
  // Row 1 prints nothing between the header and row 2: no "0" and no "False".
  EXPECT_EQ(all.substr(0, all.find("|x|")), "S|I|F|L") << all;
  // -123456789.12 needs 13 characters of the 10 a float cell has: rounded.
  EXPECT_NE(all.find("|x|0|-123456789|False|"), std::string::npos) << all;
  // The float field is 10 characters wide: rounded, in exponent form, never "1.2345678901".
  bool found = false;
  for (const auto& tx : p.pages[0].texts)
    if (tx.text.find('E') != std::string::npos && tx.text[0] == '1') {
      found = true;
      EXPECT_LE(tx.text.size(), 10u);
      EXPECT_NEAR(std::stod(tx.text) / 1.23456789012346E20, 1.0, 1e-3) << tx.text;
    }
  EXPECT_TRUE(found) << all;
  EXPECT_EQ(r->Stats().NumbersRounded, 2);
}

TEST(RvoRun, CancelKeepsThePagesMadeAndAbortsTheDocument) {
  TOpenTable t(test::MakeTable("Name=A20,N=I", NumberedRows(300)));
  TFixedMetrics m;
  auto r = Build(m, t.table);
  TRecordingPrinter p;
  p.cancelAfterPages = 2;
  r->Run(p);
  EXPECT_EQ(p.aborts, 1);
  EXPECT_EQ(p.ends, 0);
  EXPECT_LT(r->Stats().Records, 300);
  ASSERT_EQ(p.pages.size(), 3u);  // the page being made when Cancel came is closed too
  for (const auto& pg : p.pages) EXPECT_EQ(pg.ended, 1);
  EXPECT_TRUE(r->Available());
}

TEST(RvoRun, TinyPaperEndsWithOnePagePerRecordAndEachPageEndedOnce) {
  // A label printer: the column header and footer never leave room for a line.
  TOpenTable t(test::MakeTable("Name=A20,N=I", NumberedRows(5)));
  TFixedMetrics m;
  TRvoListBuilder b(m);
  b.PaperSize = TRvoPaperSize::Custom;
  b.CustomWidth = 400;
  b.CustomLength = 300;
  auto r = BuildListReport(b, t.table, {}, "T");
  TRecordingPrinter p;
  r->Run(p);
  ASSERT_LE(p.pages.size(), 7u);
  int footers = 0;
  for (const auto& pg : p.pages) {
    EXPECT_EQ(pg.ended, 1);
    for (const auto& tx : pg.texts) footers += tx.text.rfind("Page ", 0) == 0;
  }
  EXPECT_EQ(footers, static_cast<int>(p.pages.size()));  // no footer drawn twice
  EXPECT_EQ(r->Stats().Records, 5);
}

TEST(RvoRun, APageOfSizeZeroDoesNotHang) {
  TOpenTable t(test::MakeTable("Name=A20,N=I", NumberedRows(3)));
  TFixedMetrics m;
  TRvoListBuilder b(m);
  b.PaperSize = TRvoPaperSize::Custom;
  b.CustomWidth = 0;
  b.CustomLength = 0;
  auto r = BuildListReport(b, t.table, {}, "T");
  TRecordingPrinter p;
  r->Run(p);
  EXPECT_LE(p.pages.size(), 4u);
}

TEST(RvoPrinter, StatusAndRangeRules) {
  TRecordingPrinter p(TRvoDestination::Printer);
  EXPECT_THROW(p.NewPage(), ERvoError);
  TRvoJobSettings s;
  s.FirstPage = 2;
  s.LastPage = 3;
  p.BeginDoc(s);
  EXPECT_THROW(p.BeginDoc(s), ERvoError);
  for (int i = 0; i < 5; ++i) p.NewPage();
  p.EndDoc();
  // Pages 1, 4 and 5 are laid out on a throwaway canvas; 2 and 3 reach the device.
  ASSERT_EQ(p.pages.size(), 2u);
  EXPECT_EQ(p.pages[0].number, 2);
  EXPECT_EQ(p.pages[1].number, 3);
  EXPECT_EQ(p.PageCount(), 5);
  EXPECT_EQ(p.PagesInRange(), 2);
  EXPECT_EQ(p.endPages, 2);
  EXPECT_EQ(p.available, (std::vector<int>{1, 2, 3, 4, 5}));
  try {
    p.BeginDoc(s);
    FAIL();
  } catch (const ERvoError& e) {
    EXPECT_STREQ(e.what(), "RvoPrinter not ready");
  }
  try {
    p.NewPage();
    FAIL();
  } catch (const ERvoError& e) {
    EXPECT_STREQ(e.what(), "Illegal call to NewPage");
  }
}

TEST(RvoPrinter, PageImagesKeepEveryPageWhateverTheRange) {
  TRecordingPrinter p(TRvoDestination::PageImages);
  TRvoJobSettings s;
  s.FirstPage = 2;
  s.LastPage = 2;
  s.PaperWidth = 1000;
  s.PaperLength = 500;
  p.BeginDoc(s);
  p.NewPage();
  p.NewPage();
  p.NewPage();
  p.AbortDoc();
  ASSERT_EQ(p.pages.size(), 3u);
  EXPECT_EQ(p.pages[2].ended, 1);
  EXPECT_EQ(p.pages[0].width, 1000);
  EXPECT_EQ(p.pages[0].height, 500);
}
