// HTML pages: escaping, markup of fonts and colours, the template, pictures
// beside the page, and the settings of the format.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "export/ZelEFormats.h"
#include "export/ZelESpecs.h"
#include "export/formats/ZelE2HTML.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

// The table element of a page (from "<table" to "</table>").
std::string TablePart(const std::string& page) {
  size_t b = page.find("<table");
  size_t e = page.find("</table>");
  return b == std::string::npos || e == std::string::npos ? std::string() : page.substr(b, e + 8 - b);
}

using Html = TWriterRun<TZelExportToHTML>;

TEST_F(Html, TextIsEscapedLineEndsBreakAndEmptyCellsHoldASpace) {
  TOpenTable t("Name=A40,Notes=M20", {{TWriterValue("a<b&\"c\" 'd' |x|"), TWriterValue("one\r\ntwo\rthree\nfour")},
                                       {TWriterValue(""), std::nullopt}});
  w.AddTitle = false;
  const std::string table = TablePart(Run(t));
  EXPECT_NE(table.find(">a&lt;b&amp;&quot;c&quot; &#39;d&#39; |x|</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">one<br>two<br>three<br>four</td>"), std::string::npos) << table;
  EXPECT_NE(table.find(">&nbsp;</td>\r\n  <td width=\"160\">&nbsp;</td>\r\n</tr>"), std::string::npos) << table;
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Html, LettersBeyondAsciiStayAsTheyAre) {
  // UTF-8 text (the table is read as stored here): no byte of a character is
  // taken for an entity or a character of its own.
  const std::string text = "\xD0\xB0 \xC3\xA9 \xC2\xB1 \xC2\xB6 \xE2\x84\x99 |";  // а é ± ¶ ℙ |
  TOpenTable t("Name=A40", {{TWriterValue(text)}});
  w.AddTitle = false;
  const std::string page = Run(t);
  EXPECT_NE(page.find(">" + text + "</td>"), std::string::npos) << page;
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Html, CharactersNoPageHoldsAreReplacedAndCounted) {
  TOpenTable t("Notes=M20", {{TWriterValue(std::string("a\0b\x01" "c\x7F" "d\te", 9))}, {TWriterValue("clean")}});
  w.AddTitle = false;
  const std::string page = Run(t);
  EXPECT_NE(page.find(">ab\xEF\xBF\xBD" "c\xEF\xBF\xBD" "d\te</td>"), std::string::npos) << page;
  EXPECT_EQ(w.ChangedValues(), 1);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(w.Statistic.Message.find("1 values held characters an HTML page cannot hold"), std::string::npos)
      << w.Statistic.Message;

  std::string out;
  EXPECT_EQ(TZelExportToHTML::AppendHtmlText(out, "x\xC3(y\xEF\xB7\x90z\xC2\x85"), 3u);  // broken UTF-8, U+FDD0, U+0085
  EXPECT_EQ(out, "x\xEF\xBF\xBD(y\xEF\xBF\xBDz\xEF\xBF\xBD");
}

TEST_F(Html, HeaderAndFooterLinesMayBeHtmlButCellsNeverAre) {
  TOpenTable t("Notes=M20", {{TWriterValue("<b>not bold</b>")}});
  w.AddTitle = false;
  w.Header = {"<h1>Report & more</h1>"};
  w.Footer = {"<i>end</i>"};
  std::string page = Run(t);
  EXPECT_NE(page.find("<p>&lt;h1&gt;Report &amp; more&lt;/h1&gt;</p>\r\n<table"), std::string::npos) << page;
  EXPECT_NE(page.find("<p>&lt;i&gt;end&lt;/i&gt;</p>"), std::string::npos) << page;

  w.Settings().HeaderFooterWithHTML = true;
  page = Run(t);
  EXPECT_NE(page.find("\r\n<h1>Report & more</h1>\r\n<table"), std::string::npos) << page;
  EXPECT_NE(page.find("</table>\r\n\r\n<i>end</i>\r\n"), std::string::npos) << page;
  EXPECT_NE(page.find(">&lt;b&gt;not bold&lt;/b&gt;</td>"), std::string::npos) << page;
}

TEST_F(Html, FontsColoursWidthsAndAlignment) {
  TOpenTable t("Name=A10,Qty=I", {{TWriterValue("x"), TWriterValue(5)}});
  w.AddTitle = false;
  w.Options.Include(soColorsFonts);
  TZelEColumn& a = w.Columns.Add();
  a.FieldName = "Name";
  a.Font.Name = "Arial";
  a.Font.Size = 8;
  a.Font.Bold = true;
  a.Font.Color = 0x0000FF;  // red
  a.Color = clBlack;
  a.Width = 10;
  TZelEColumn& b = w.Columns.Add();
  b.FieldName = "Qty";
  b.Font.Name = "MS Sans Serif";
  b.Font.Size = 11;
  b.Color = 0xFF8000;  // blue-ish: 00BBGGRR
  b.Alignment = taRightJustify;
  const std::string table = TablePart(Run(t));
  EXPECT_NE(table.find("<td width=\"160\"><font face=\"Arial\" size=2 color=\"#ff0000\"><b>x</b></font></td>"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("<td bgcolor=\"#0080ff\" align=\"right\"><font>5</font></td>"), std::string::npos) << table;

  // Without soColorsFonts: no markup, no colours.
  w.Options.Exclude(soColorsFonts);
  EXPECT_NE(TablePart(Run(t)).find("<td width=\"160\">x</td>"), std::string::npos);

  EXPECT_EQ(TZelExportToHTML::ColorAttribute(clBlack, true), "");
  EXPECT_EQ(TZelExportToHTML::HtmlFontSize(12), "");
  EXPECT_EQ(TZelExportToHTML::HtmlFontSize(24), "6");
}

TEST_F(Html, TheTemplateTakesTheExportWhereItsBodyEnds) {
  TOpenTable t("Name=A10", {{TWriterValue("x")}});
  w.AddTitle = false;
  w.Settings().HTMLPattern = "<html><body>X</body></html>";
  std::string page = Run(t);
  EXPECT_EQ(page.rfind("<html><body>X\r\n<table", 0), 0u) << page;
  EXPECT_TRUE(page.size() > 16 && page.compare(page.size() - 16, 16, "</body></html>\r\n") == 0) << page;

  // The built-in page: UTF-8, the title, no charset of a code page.
  w.Settings().HTMLPattern.clear();
  page = Run(t);
  EXPECT_NE(page.find("charset=UTF-8"), std::string::npos);
  EXPECT_EQ(page.find("windows-"), std::string::npos);
  EXPECT_NE(page.find("<title>Data exported by ZelExport generator</title>"), std::string::npos);
  EXPECT_TRUE(page.compare(page.size() - 18, 18, "</body>\r\n</html>\r\n") == 0) << page;
}

TEST_F(Html, TheCellEventGetsTheExportedColumn) {
  TOpenTable t("A=A10,B=A10,C=A10", {{TWriterValue("a"), TWriterValue("b"), TWriterValue("c")}});
  t.Grid.At(1).Visible = false;  // C is the second exported column
  std::vector<std::string> seen;
  w.OnGetExtHTMLCellParamsEvent = [&](TZelExportToHTML&, const TZelEColumn* c, std::string& attrs) {
    seen.push_back(c ? c->FieldName : "-");
    if (c && c->FieldName == "C") attrs = "class=\"c\"";
  };
  w.OnGetExtHTMLRowParamsEvent = [](TZelExportToHTML&, std::string& attrs) { attrs = "valign=\"top\""; };
  w.OnGetExtHTMLTableParamsEvent = [](TZelExportToHTML&, std::string& attrs) { attrs += " id=\"t\""; };
  w.Header = {"h"};
  const std::string page = Run(t);
  EXPECT_EQ(seen, (std::vector<std::string>{"-", "A", "C", "A", "C"}));
  EXPECT_NE(page.find("<table border=\"1\" id=\"t\">"), std::string::npos) << page;
  EXPECT_NE(page.find("<tr valign=\"top\">\r\n  <td width=\"160\">a</td>\r\n  <td class=\"c\">c</td>"),
            std::string::npos)
      << page;
}

TEST(HtmlPictures, SignaturesAndSizes) {
  std::string png = std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x01\x2C\0\0\0\x64", 24);
  TZelEPictureInfo i = InspectPicture(png);
  EXPECT_EQ(i.Extension, ".png");
  EXPECT_EQ(i.Width, 300);
  EXPECT_EQ(i.Height, 100);
  i = InspectPicture(std::string("GIF89a\x10\0\x20\0", 10));
  EXPECT_EQ(i.Extension, ".gif");
  EXPECT_EQ(i.Width, 16);
  EXPECT_EQ(i.Height, 32);
  // A JPEG with an APP0 segment before its frame header.
  std::string jpg = std::string("\xFF\xD8\xFF\xE0\0\x04" "ab\xFF\xC0\0\x11\x08\x00\x30\x00\x40", 17);
  i = InspectPicture(jpg);
  EXPECT_EQ(i.Extension, ".jpg");
  EXPECT_EQ(i.Width, 64);
  EXPECT_EQ(i.Height, 48);
  // A bottom-up and a top-down bitmap.
  std::string bmp = PdxGraphicBmp(7, 5, 1);
  i = InspectPicture(std::string_view(bmp).substr(8));
  EXPECT_EQ(i.Extension, ".bmp");
  EXPECT_EQ(i.Width, 7);
  EXPECT_EQ(i.Height, 5);
  bmp[8 + 22] = '\xFB', bmp[8 + 23] = '\xFF', bmp[8 + 24] = '\xFF', bmp[8 + 25] = '\xFF';
  EXPECT_EQ(InspectPicture(std::string_view(bmp).substr(8)).Height, 5);
  // Unknown bytes are no picture; a picture without its leader is taken whole.
  std::string_view image;
  EXPECT_FALSE(GraphicImage("0123456789abcdef", image, i));
  std::string bare = PdxGraphicBmp(3, 3, 2).substr(8);
  ASSERT_TRUE(GraphicImage(bare, image, i));
  EXPECT_EQ(image, bare);
}

struct HtmlFiles : Html {
  void SetUp() override {
    Html::SetUp();
    dir = TempDir();
  }
  std::string dir;
};

TEST_F(HtmlFiles, PicturesGoBesideThePageWithOneCounterPerRun) {
  const std::string p1 = PdxGraphicBmp(10, 6, 1), p2 = PdxGraphicBmp(4, 9, 2), p3 = PdxGraphicBmp(5, 5, 3);
  TOpenTable t("Id=I,Pic=G", {{TWriterValue(1), TWriterValue(p1)},
                              {TWriterValue(2), std::nullopt},
                              {TWriterValue(3), TWriterValue(p2)},
                              {TWriterValue(4), TWriterValue(std::string("\x01\0\0\x01\x04\0\0\0junk", 12))},
                              {TWriterValue(5), TWriterValue(p3)}});
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/my page.htm";
  w.RowsPerFile = 3;
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"my page.htm", "my page001.htm", "my page001_img3.bmp",
                                                          "my page_img1.bmp", "my page_img2.bmp"}));
  EXPECT_EQ(ReadFile(dir + "/my page_img1.bmp"), p1.substr(8));
  EXPECT_EQ(ReadFile(dir + "/my page_img2.bmp"), p2.substr(8));
  EXPECT_EQ(ReadFile(dir + "/my page001_img3.bmp"), p3.substr(8));
  const std::string first = ReadFile(dir + "/my page.htm");
  EXPECT_NE(first.find("<img src=\"my%20page_img1.bmp\" width=\"10\" height=\"6\" alt=\"\">"), std::string::npos)
      << first;
  const std::string second = ReadFile(dir + "/my page001.htm");
  // A graphic BLOB that holds no picture is written as its bytes in hex.
  EXPECT_NE(second.find(">0100000104000000" "6a756e6b</td>"), std::string::npos) << second;
  EXPECT_NE(second.find("src=\"my%20page001_img3.bmp\""), std::string::npos) << second;
  EXPECT_EQ(w.Pictures().size(), 3u);

  // A cancelled run keeps neither page nor pictures, nor does it harm the old ones.
  w.FileName = dir + "/other.htm";
  w.RowsPerFile = 0;
  w.OnAfterRecord = [](TZelECustomBaseComponent&, bool& abort) { abort = true; };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(FolderEntries(dir).size(), 5u);
}

TEST_F(HtmlFiles, SettingsTravelByNameAndThroughSettingsFiles) {
  TZelEFormatSettingsSet set;
  TZelEFormatSettings* s = set.Of(teHTML);
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->Section(), "HTML");
  s->Set("HeaderFooterWithHTML", "yes", true);
  s->Set("HTMLPattern", "<html>\n<body></body>\n</html>", true);
  EXPECT_TRUE(set.Get<TZelEHTMLSettings>(teHTML).HeaderFooterWithHTML);
  // The template is kept in hexadecimal, line breaks and all.
  EXPECT_EQ(s->Get("HTMLPattern"), SpecHexEncode("<html>\n<body></body>\n</html>"));
  EXPECT_THROW(s->Set("HeaderFooterWithHTML", "maybe", true), EZelESettingError);
  EXPECT_EQ(ExportFormat(teHTML).Create()->TableType(), teHTML);
}

}  // namespace
}  // namespace korvane::test

namespace korvane::test {
namespace {

// Long BLOBs are written from pieces; the page and its pictures must be the
// ones a run holding each value whole writes.
TEST_F(HtmlFiles, LongBlobsStreamedInPiecesWriteWhatWholeValuesWrite) {
  const std::string memo = LongMemoText();
  const std::string bin = LongBinary(300 * 1024 + 7);
  const std::string bmp = PdxGraphicBmp(400, 300, 5).substr(8);  // a picture without the leader
  TOpenTable t("Name=A10,Notes=M20,Fmt=F10,Pic=G10,Raw=B10",
               {{TWriterValue("one"), TWriterValue(memo), TWriterValue("fmt\x01\\" + memo.substr(0, 300000)),
                 TWriterValue(LongJpegGraphic()), TWriterValue(std::string("\x01\x02", 2))},
                {TWriterValue("two"), TWriterValue("short"), std::nullopt, TWriterValue(bin), TWriterValue(bin)},
                {TWriterValue("three"), std::nullopt, std::nullopt, TWriterValue(bmp), std::nullopt}});
  w.DBGrid = &t.Grid;
  for (bool fonts : {false, true}) {
    SCOPED_TRACE(fonts ? "fonts" : "plain");
    if (fonts) {
      w.Options.Include(soColorsFonts);
      for (const char* n : {"Name", "Notes", "Fmt", "Pic", "Raw"}) {
        TZelEColumn& c = w.Columns.Add();
        c.FieldName = n;
        c.Font.Bold = c.Font.Underline = true;
      }
    }
    auto run = [&](int64_t above, const std::string& folder) {
      ::mkdir(folder.c_str(), 0700);
      w.StreamBlobsAbove = above;
      w.FileName = folder + "/page.htm";
      w.Execute();
      EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
      return w.Statistic.TotalErrors;
    };
    const std::string a = dir + (fonts ? "/whole-f" : "/whole"), b = dir + (fonts ? "/pieces-f" : "/pieces");
    const int errors = run(int64_t{1} << 40, a);
    EXPECT_GT(errors, 0);
    EXPECT_EQ(run(100, b), errors);
    const std::vector<std::string> files = FolderEntries(a);
    EXPECT_EQ(files, (std::vector<std::string>{"page.htm", "page_img1.jpg", "page_img2.bmp"}));
    ASSERT_EQ(FolderEntries(b), files);
    for (const std::string& f : files) {
      const std::string x = ReadFile(a + "/" + f), y = ReadFile(b + "/" + f);
      EXPECT_EQ(x.size(), y.size()) << f;
      EXPECT_TRUE(x == y) << f;
    }
    const std::string page = ReadFile(b + "/page.htm");
    EXPECT_NE(page.find("src=\"page_img1.jpg\" width=\"192\" height=\"144\""), std::string::npos);
    EXPECT_EQ(ReadFile(b + "/page_img2.bmp"), bmp);
  }
}

}  // namespace
}  // namespace korvane::test
