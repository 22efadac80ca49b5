// Excel, Word and the office-suite document on a recording suite: the helpers
// (column letters, number formats, widths, picture rows, version numbers,
// colour indexes, points, filter names, file URLs), cells at their own place in
// blocks of 1000 rows, text that stays text, merges below the used area, the
// stored format's limits refused before anything is written, failures that
// store nothing and end the suite, paragraphs in order around one inserted
// table of at most 63 columns, and the filter handed over by the monitor.

#include <gtest/gtest.h>

#include "export/ZelEMonitor.h"
#include "export/formats/ZelE2Excel.h"
#include "export/formats/ZelE2OOo.h"
#include "export/formats/ZelE2Word.h"
#include "export_test_util.h"
#include "office_fake.h"

namespace korvane::test {
namespace {

using office::TCell;

// --- helpers ---------------------------------------------------------------------

TEST(OfficeHelpers, ColumnLettersCountInBase26WithoutZero) {
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(1), "A");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(26), "Z");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(27), "AA");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(52), "AZ");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(702), "ZZ");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(703), "AAA");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(16384), "XFD");
  EXPECT_EQ(TZelExportToExcel::ColumnLetters(0), "");
}

TEST(OfficeHelpers, NumberFormatsByFieldTypeWithCurrencyPadding) {
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftInteger, 0, '.', "$"), "0");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftAutoInc, 3, '.', "$"), "0");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftFloat, 2, '.', "$"), "0.00");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftBCD, 0, '.', "$"), "");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftCurrency, 2, '.', "$"), "0.00$");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftCurrency, 4, ',', "EUR"), "0,0000EUR");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftCurrency, 0, '.', "$"), "0.0$");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftString, 2, '.', "$"), "@");
  EXPECT_EQ(TZelExportToExcel::GetNumberFormat(ftDate, 0, '.', "$"), "@");
  // As Calc reads codes: "." as the decimal point, the symbol quoted.
  EXPECT_EQ(TZelExportToExcel::CalcFormatCode("0,0000EUR", ',', "EUR"), "0.0000\"EUR\"");
  EXPECT_EQ(TZelExportToExcel::CalcFormatCode("0.00", '.', "$"), "0.00");
}

TEST(OfficeHelpers, VersionsWidthsAndPictureRows) {
  EXPECT_EQ(TZelExportToExcel::FileFormatNumber(evExcel7), 39);
  EXPECT_EQ(TZelExportToExcel::FileFormatNumber(evExcel5), 39);
  EXPECT_EQ(TZelExportToExcel::FileFormatNumber(evExcel9597), 43);
  EXPECT_EQ(TZelExportToExcel::FileFormatNumber(evExcel2007), 51);
  EXPECT_EQ(TZelExportToExcel::FileFormatNumber(evExcelAuto), 0);
  // Versions 43 and 51 pick the same store whatever the name; auto goes by extension.
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcel9597, "a.xlsx").Filter, "MS Excel 97");
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcel2007, "a.xls").Filter, "Calc MS Excel 2007 XML");
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcelAuto, "/d.x/A.XLS").Filter, "MS Excel 97");
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcelAuto, "a.ods").Filter, "calc8");
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcelAuto, "a.csv").Filter, "Calc MS Excel 2007 XML");
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcelAuto, "/d.xls/a").Filter, "Calc MS Excel 2007 XML");
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcelAuto, "a.xls").MaxRows, 65536);
  EXPECT_EQ(TZelExportToExcel::StoreFormat(evExcelAuto, "a.xls").MaxColumns, 256);
  // Versions Calc cannot write are refused by name.
  try {
    TZelExportToExcel::StoreFormat(evExcel5, "a.xls");
    ADD_FAILURE() << "Excel 5 accepted";
  } catch (const EZelExportError& e) {
    EXPECT_NE(std::string(e.what()).find("Excel 5"), std::string::npos) << e.what();
  }
  EXPECT_THROW(TZelExportToExcel::StoreFormat(evExcel2, "a.xls"), EZelExportError);
  // A width of 80 characters is that of 50; a picture 600 pixels high gets a row of 400 points.
  EXPECT_EQ(TZelExportToExcel::ColumnWidth100mm(80), TZelExportToExcel::ColumnWidth100mm(50));
  EXPECT_LT(TZelExportToExcel::ColumnWidth100mm(10), TZelExportToExcel::ColumnWidth100mm(11));
  EXPECT_EQ(TZelExportToExcel::PictureRowPoints(600), 400);
  EXPECT_EQ(TZelExportToExcel::PictureRowPoints(96), 72);
}

TEST(OfficeHelpers, WordColoursPointsAndFittedWidths) {
  EXPECT_EQ(WordColorIndex(0x000000), 1);
  EXPECT_EQ(WordColorIndex(0x0000FF), 6);  // red: its low byte
  EXPECT_EQ(WordColorIndex(0xFF0000), 2);  // blue
  EXPECT_EQ(WordColorIndex(0x00FFFF), 7);
  EXPECT_EQ(WordColorIndex(0xC0C0C0), 16);
  EXPECT_EQ(WordColorIndex(0xFFFFFF), 8);
  EXPECT_EQ(WordColorIndex(0x123456), 0);
  EXPECT_DOUBLE_EQ(ToPoints(emPoint, 10), 10);
  EXPECT_DOUBLE_EQ(ToPoints(emInch, 1), 72);
  EXPECT_DOUBLE_EQ(ToPoints(emCentimeters, 2.54), 72);
  EXPECT_DOUBLE_EQ(ToPoints(emPicas, 2), 24);
  EXPECT_EQ(PointsTo100mm(72), 2540);
  // 10, 20 and 30 characters (40, 80, 120 points) and the unused last slot into 120 points.
  EXPECT_EQ(FitColumnWidths({40, 80, 120, 0}, 120), (std::vector<double>{20, 40, 120, 0}));
  EXPECT_EQ(FitColumnWidths({40, 80, 120, 0}, 500), (std::vector<double>{40, 80, 120, 0}));
  EXPECT_EQ(FitColumnWidths({-5, 0, 0}, 10), (std::vector<double>{0, 0, 0}));
  // System colours are no colour; others are turned from $00BBGGRR into RGB.
  EXPECT_EQ(OfficeColor(0x000000FF), 0xFF0000);
  EXPECT_EQ(OfficeColor(0xFF000005), -1);
}

TEST(OfficeHelpers, FilterNamesAndTheirExtensions) {
  std::vector<std::string> names{"stale"};
  TZelExportToOpenOffice::ListFilterNames(names);
  ASSERT_EQ(names.size(), 98u);
  EXPECT_EQ(names.front(), "AportisDoc Palm DB");
  EXPECT_EQ(names.back(), "xpm_Export");
  EXPECT_EQ(std::count(names.begin(), names.end(), "MS Word 97"), 1);
  // Of those, seven store a text document; writer8 and MS Word 2007 XML are added.
  int usable = 0;
  for (const std::string& f : TZelExportToOpenOffice::TextDocumentFilters())
    usable += std::count(names.begin(), names.end(), f) ? 1 : 0;
  EXPECT_EQ(usable, 7);
  EXPECT_EQ(TZelExportToOpenOffice::TextDocumentFilters().size(), 9u);
  EXPECT_EQ(TZelExportToOpenOffice::FilterExtension("MS Word 97"), ".doc");
  EXPECT_EQ(TZelExportToOpenOffice::FilterExtension("writer8"), ".odt");
  EXPECT_EQ(TZelExportToOpenOffice::FilterExtension("writer_pdf_Export"), ".pdf");
  EXPECT_EQ(TZelExportToWord::FilterOfName("x.DOCX"), "MS Word 2007 XML");
  EXPECT_EQ(TZelExportToWord::FilterOfName("x.rtf"), "Rich Text Format");
  EXPECT_EQ(TZelExportToWord::FilterOfName("x.odt"), "writer8");
  EXPECT_EQ(TZelExportToWord::FilterOfName("x"), "MS Word 97");
  TZelExportToOpenOffice o;
  std::string ext;
  o.GetDefaultExt(ext);
  EXPECT_EQ(ext, ".DOC");
}

TEST(OfficeHelpers, FileUrlsEncodeWhatAPathHolds) {
  EXPECT_EQ(office::FileUrl("/tmp/report#1.odt"), "file:///tmp/report%231.odt");
  EXPECT_EQ(office::FileUrl("/tmp/a%41b.odt"), "file:///tmp/a%2541b.odt");
  EXPECT_EQ(office::FileUrl("/a b/\xC3\xA9?.doc"), "file:///a%20b/%C3%A9%3F.doc");
  const std::string rel = office::FileUrl("x.doc");
  EXPECT_EQ(rel.rfind("file:///", 0), 0u);
  EXPECT_EQ(rel.find("file:////"), std::string::npos);
  EXPECT_EQ(rel.substr(rel.size() - 6), "/x.doc");
}

TEST(OfficeHelpers, TextIsCutBetweenCharacters) {
  std::string s = "ab\xC3\xA9" "cd";
  EXPECT_FALSE(CutToCharacters(s, 5));
  EXPECT_TRUE(CutToCharacters(s, 3));
  EXPECT_EQ(s, "ab\xC3\xA9");
}

TEST(OfficeHelpers, TheProfileSaysTheVersionIsSetUp) {
  const std::string dir = TempDir() + "/profile";
  office::PrepareProfile(dir, "7.4");
  std::ifstream f(dir + "/user/registrymodifications.xcu");
  std::stringstream ss;
  ss << f.rdbuf();
  EXPECT_NE(ss.str().find("/org.openoffice.Setup/Product"), std::string::npos);
  EXPECT_NE(ss.str().find("ooSetupLastVersion\" oor:op=\"fuse\"><value>7.4</value>"), std::string::npos);
  office::TProcessOptions o;
  o.Profile = "/tmp/p#1";
  o.PipeName = "korvane-42";
  const std::vector<std::string> args = office::SofficeArguments(o);
  for (const char* a : {"--headless", "--invisible", "--norestore", "--nologo", "--nodefault", "--nolockcheck",
                        "-env:UserInstallation=file:///tmp/p%231", "--accept=pipe,name=korvane-42;urp;"})
    EXPECT_NE(std::find(args.begin(), args.end(), a), args.end()) << a;
}

// --- Excel on the recording suite ----------------------------------------------------

struct ExcelRun : TWriterRun<TZelExportToExcel> {
  TFakeOfficeScope fake;
  void SetUp() override {
    TWriterRun::SetUp();
    w.FileName = "out.xlsx";
  }
  TFakeSheetState& Sheet() {
    auto s = fake.Office.Books.back()->Find(w.KeyGenerator);
    EXPECT_TRUE(s);
    return *s;
  }
  const TCell* At(int r, int c) {
    auto& cells = Sheet().Cells;
    auto it = cells.find({r, c});
    return it == cells.end() ? nullptr : &it->second;
  }
};

TEST_F(ExcelRun, TextStaysTextAndNumbersAreNumbers) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.AddTitle = true;
  w.Header = {"=1+2", "=HYPERLINK(\"http://x\";\"y\")", "=SUM(A1:A2)"};
  w.Footer = {"-SUM(1)"};
  const std::string out = Run(t);
  EXPECT_EQ(out, "workbook Calc MS Excel 2007 XML\n");
  // Header lines stand in column 1, exactly as given.
  ASSERT_TRUE(At(0, 1) && At(1, 1) && At(2, 1));
  EXPECT_EQ(*At(0, 1), TCell::OfText("=1+2"));
  EXPECT_EQ(*At(1, 1), TCell::OfText("=HYPERLINK(\"http://x\";\"y\")"));
  EXPECT_EQ(*At(2, 1), TCell::OfText("=SUM(A1:A2)"));
  EXPECT_EQ(*At(3, 0), TCell::OfText("Name"));
  EXPECT_EQ(*At(4, 0), TCell::OfText("apple"));
  EXPECT_EQ(*At(4, 1), TCell::OfNumber(3));
  EXPECT_EQ(*At(4, 2), TCell::OfNumber(1.5));
  EXPECT_EQ(*At(6, 2), TCell::OfNumber(-4));
  EXPECT_EQ(At(6, 1), nullptr);  // null
  EXPECT_EQ(*At(7, 1), TCell::OfText("-SUM(1)"));
  EXPECT_EQ(Sheet().ColumnFormats[0], "@");
  EXPECT_EQ(Sheet().ColumnFormats[1], "0");
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  // The workbook was stored once and closed; the suite ended with the run.
  EXPECT_TRUE(fake.Office.Books.back()->Closed);
  EXPECT_EQ(fake.Office.Started, 1);
  EXPECT_EQ(fake.Office.Ended, 1);
}

TEST_F(ExcelRun, DisplayTextsAreTextInTextColumns) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.Options.Include(soFieldMask);
  Run(t);
  EXPECT_EQ(*At(0, 1), TCell::OfText("3"));
  EXPECT_EQ(Sheet().ColumnFormats[1], "@");
}

TEST_F(ExcelRun, CellsGoInBlocksOfAThousandRowsEachAtItsPlace) {
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 2500; ++i) rows.push_back({TWriterValue(i), TWriterValue("r" + std::to_string(i))});
  TOpenTable t("N=I,S=A10", rows);
  Run(t);
  EXPECT_EQ(Sheet().Blocks, (std::vector<std::pair<int, int>>{{0, 1000}, {1000, 1000}, {2000, 500}}));
  EXPECT_EQ(*At(2499, 0), TCell::OfNumber(2499));
  EXPECT_EQ(*At(1234, 1), TCell::OfText("r1234"));
  // Row lines are drawn once a block, not once a row.
  EXPECT_EQ(std::count_if(Sheet().Calls.begin(), Sheet().Calls.end(),
                          [](const std::string& c) { return c.rfind("Lines", 0) == 0; }),
            3);
}

TEST_F(ExcelRun, ReversedLayoutPutsEachRecordInItsOwnColumn) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.Layout = elReversedColumnar;
  w.AddTitle = true;
  Run(t);
  EXPECT_EQ(*At(0, 0), TCell::OfText("Name"));
  EXPECT_EQ(*At(0, 1), TCell::OfText("apple"));
  EXPECT_EQ(*At(0, 2), TCell::OfText("pear"));
  EXPECT_EQ(*At(0, 3), TCell::OfText("plum"));
  EXPECT_EQ(*At(1, 1), TCell::OfNumber(3));
  EXPECT_EQ(*At(1, 2), TCell::OfNumber(0));
  EXPECT_EQ(*At(2, 3), TCell::OfNumber(-4));
}

TEST_F(ExcelRun, NumbersLibreOfficeRoundsAreCounted) {
  TOpenTable t("X=N", {{TWriterValue(0.16999999999999998)}, {TWriterValue(0.25)}});
  Run(t);
  EXPECT_EQ(*At(0, 0), TCell::OfNumber(0.16999999999999998));
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  ASSERT_EQ(w.Statistic.Notes.size(), 1u);
  EXPECT_NE(w.Statistic.Notes[0].find("15 significant digits"), std::string::npos);
}

TEST_F(ExcelRun, LongTextsAreCutAndCounted) {
  TOpenTable t("M=M10", {{TWriterValue(std::string(40000, 'x'))}, {TWriterValue("short")}});
  Run(t);
  EXPECT_EQ(At(0, 0)->Text.size(), kOfficeMaxCellText);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
}

TEST_F(ExcelRun, SettingsShapeTheSheet) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.AddTitle = true;
  w.Header = {"h"};
  TZelEExcelSettings& s = w.ExcelSettings();
  s.StartRow = 2;
  s.StartColumn = 1;
  s.FreezeFixed = true;
  s.SheetPassword = "pw";
  s.DeleteDefaultSheets = true;
  w.KeyGenerator = "Data";
  w.AutoFitColumns = true;
  Run(t);
  EXPECT_EQ(fake.Office.Books.back()->Sheets.size(), 1u);  // "Sheet1" deleted
  EXPECT_EQ(*At(2, 2), TCell::OfText("h"));
  EXPECT_EQ(*At(3, 1), TCell::OfText("Name"));
  EXPECT_EQ(*At(4, 1), TCell::OfText("apple"));
  const auto& calls = Sheet().Calls;
  for (const char* c : {"Freeze 4", "Protect pw", "Fit 1-3", "Show 1-3"})
    EXPECT_NE(std::find(calls.begin(), calls.end(), c), calls.end()) << c;
}

struct ExcelFiles : ExcelRun {
  std::string dir;
  void SetUp() override {
    ExcelRun::SetUp();
    dir = TempDir();
  }
  void Execute(TOpenTable& t, const std::string& name = "out.xlsx") {
    w.DBGrid = &t.Grid;
    w.FileName = dir + "/" + name;
    w.Execute();
  }
};

TEST_F(ExcelFiles, AMergeStartsBelowTheUsedAreaOfTheSheet) {
  TOpenTable t(kThreeSpec, ThreeRows());
  {
    std::ofstream(dir + "/out.xlsx") << "earlier";
  }
  // The sheet's used area ends at row 7 (it may begin further down than row 0).
  auto s = std::make_shared<TFakeSheetState>();
  s->Name = w.KeyGenerator;
  s->UsedEnd = 7;
  fake.Office.Existing.Sheets = {s};
  w.Options.Include(soMergeData);
  Execute(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(fake.Office.Opened, (std::vector<std::string>{dir + "/out.xlsx"}));
  EXPECT_EQ(*At(7, 0), TCell::OfText("apple"));
  EXPECT_EQ(At(6, 0), nullptr);
  EXPECT_EQ(ReadFile(dir + "/out.xlsx"), "workbook Calc MS Excel 2007 XML\n");
}

TEST_F(ExcelFiles, AMergeIntoAnEmptySheetStartsAtTheTop) {
  TOpenTable t(kThreeSpec, ThreeRows());
  {
    std::ofstream(dir + "/out.xls") << "earlier";
  }
  auto s = std::make_shared<TFakeSheetState>();
  s->Name = w.KeyGenerator;
  fake.Office.Existing.Sheets = {s};
  w.Options.Include(soMergeData);
  Execute(t, "out.xls");
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(*At(0, 0), TCell::OfText("apple"));
}

TEST_F(ExcelFiles, ASheetTooSmallIsRefusedBeforeAnythingIsWritten) {
  TOpenTable t(kThreeSpec, ThreeRows());
  {
    std::ofstream(dir + "/out.xls") << "earlier";
  }
  w.ExcelSettings().StartRow = 65534;
  Execute(t, "out.xls");
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("65536 rows"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find(".xlsx"), std::string::npos) << w.Statistic.Message;
  EXPECT_TRUE(fake.Office.Books.back()->Sheets.back()->Blocks.empty());
  EXPECT_TRUE(fake.Office.Books.back()->StoredFilter.empty());
  EXPECT_EQ(ReadFile(dir + "/out.xls"), "earlier");
  EXPECT_EQ(fake.Office.Ended, 1);

  w.ExcelSettings().StartRow = 0;
  w.ExcelSettings().StartColumn = 254;
  Execute(t, "out.xls");
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("256 columns"), std::string::npos) << w.Statistic.Message;
}

TEST_F(ExcelFiles, AFailedStoreKeepsNothingAndEndsTheSuite) {
  TOpenTable t(kThreeSpec, ThreeRows());
  {
    std::ofstream(dir + "/out.xlsx") << "earlier";
  }
  fake.Office.FailStore = true;
  Execute(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("disk full"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.xlsx"}));
  EXPECT_EQ(ReadFile(dir + "/out.xlsx"), "earlier");
  EXPECT_TRUE(fake.Office.Books.back()->Closed);
  EXPECT_EQ(fake.Office.Started, fake.Office.Ended);
}

TEST_F(ExcelFiles, AFailingRecordStoresNothing) {
  TOpenTable t(kThreeSpec, ThreeRows());
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool&) {
    if (++n == 2) throw EZelExportError("record 2 broke");
  };
  Execute(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("record 2 broke"), std::string::npos) << w.Statistic.Message;
  EXPECT_TRUE(fake.Office.Books.back()->StoredFilter.empty());
  EXPECT_TRUE(FolderEntries(dir).empty());
  EXPECT_EQ(fake.Office.Ended, 1);
}

TEST_F(ExcelFiles, OldVersionsAreRefusedByName) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.ExcelSettings().ExcelVersion = evExcel7;
  Execute(t, "out.xls");
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("Excel 95"), std::string::npos) << w.Statistic.Message;
  EXPECT_TRUE(FolderEntries(dir).empty());
}

// --- Word and the office-suite document ---------------------------------------------------

struct WordRun : TWriterRun<TZelExportToWord> {
  TFakeOfficeScope fake;
  TFakeDocState& Doc() { return *fake.Office.Docs.back(); }
};

TEST_F(WordRun, ParagraphsStandInOrderAroundTheTable) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.AddTitle = true;
  w.Header = {"first", "=1+2"};
  w.Footer = {"end 1", "end 2"};
  w.FileName = "x.docx";
  EXPECT_EQ(Run(t), "document MS Word 2007 XML\n");
  ASSERT_EQ(Doc().Parts.size(), 5u);
  EXPECT_EQ(Doc().Parts[0], "P first");
  EXPECT_EQ(Doc().Parts[1], "P =1+2");
  EXPECT_EQ(Doc().Parts[2].substr(0, 2), "T ");
  EXPECT_EQ(Doc().Parts[3], "P end 1");
  EXPECT_EQ(Doc().Parts[4], "P end 2");
  const std::string& xml = Doc().Parts[2];
  EXPECT_EQ(std::count(xml.begin(), xml.end(), '\0'), 0);
  // Four rows (titles and three records) of three cells.
  size_t rows = 0;
  for (size_t at = xml.find("<table:table-row>"); at != std::string::npos; at = xml.find("<table:table-row>", at + 1)) ++rows;
  EXPECT_EQ(rows, 4u);
  EXPECT_NE(xml.find(">Name</text:p>"), std::string::npos);
  EXPECT_NE(xml.find(">apple</text:p>"), std::string::npos);
  EXPECT_NE(xml.find(">-4</text:p>"), std::string::npos);
  EXPECT_EQ(fake.Office.Ended, 1);
}

TEST_F(WordRun, SeventyColumnsGiveATableOf63AndSaySo) {
  std::string spec;
  TWriterRow row;
  for (int i = 0; i < 70; ++i) {
    spec += (i ? ",F" : "F") + std::to_string(i) + "=I";
    row.push_back(TWriterValue(i));
  }
  TOpenTable t(spec, {row});
  Run(t);
  const std::string& xml = Doc().Parts.back();
  size_t cols = 0;
  for (size_t at = xml.find("<table:table-column "); at != std::string::npos; at = xml.find("<table:table-column ", at + 1)) ++cols;
  EXPECT_EQ(cols, 63u);
  EXPECT_NE(xml.find(">62</text:p>"), std::string::npos);  // column 63 is written
  EXPECT_EQ(xml.find(">63</text:p>"), std::string::npos);
  EXPECT_EQ(w.Statistic.TotalErrors, 7);
  ASSERT_EQ(w.Statistic.Notes.size(), 1u);
  EXPECT_NE(w.Statistic.Notes[0].find("7 columns were left out"), std::string::npos) << w.Statistic.Notes[0];
}

TEST(OdfTable, CellTextKeepsBlanksBreaksAndTabs) {
  TZelEOdfTable t(2, true, false);
  EXPECT_EQ(t.SetText(0, 0, " a  b\tc\r\nd ", office::TStyle{}), 0u);
  EXPECT_EQ(t.SetText(0, 1, std::string("x\0y<&>", 6), office::TStyle{}), 1u);
  t.SetText(1, 0, "wide", office::TStyle{}, 2);
  const std::string xml = ZipEntry(t.Document(), "content.xml");
  EXPECT_NE(xml.find("<text:s text:c=\"1\"/>a<text:s text:c=\"2\"/>b<text:tab/>c<text:line-break/>d<text:s text:c=\"1\"/>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find(">xy&lt;&amp;&gt;</text:p>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("table:number-columns-spanned=\"2\""), std::string::npos);
  EXPECT_NE(xml.find("<table:covered-table-cell/>"), std::string::npos);
  const std::string odt = t.Document();
  EXPECT_EQ(odt.substr(30, 8), "mimetype");
  EXPECT_EQ(ZipEntry(odt, "mimetype"), "application/vnd.oasis.opendocument.text");
  EXPECT_NE(ZipEntry(odt, "META-INF/manifest.xml").find("content.xml"), std::string::npos);
}

struct OOoFiles : TWriterRun<TZelExportToOpenOffice> {
  TFakeOfficeScope fake;
  std::string dir;
  void SetUp() override {
    TWriterRun::SetUp();
    dir = TempDir();
  }
};

TEST_F(OOoFiles, TheMonitorHandsOverTheFilter) {
  TOpenTable t(kThreeSpec, ThreeRows());
  TZelExportMonitor m;
  m.SetServices(&services);
  m.SetTableType(teOpenOffice);
  m.FilterName = "writer8";
  m.DBGrid = &t.Grid;
  m.AnimatedStatus = false;
  m.FileName = dir + "/report#1.odt";
  m.Run();
  ASSERT_EQ(m.Statistic.Result, erCompleted) << m.Statistic.Message;
  EXPECT_EQ(fake.Office.Docs.back()->StoredFilter, "writer8");
  EXPECT_EQ(ReadFile(dir + "/report#1.odt"), "document writer8\n");
}

TEST_F(OOoFiles, AFilterThatStoresNoTextFailsWithNoFile) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.FilterName = "BMP - MS Windows";
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/x.bmp";
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("cannot store a text document"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("\"writer8\""), std::string::npos) << w.Statistic.Message;
  EXPECT_TRUE(FolderEntries(dir).empty());
  EXPECT_TRUE(fake.Office.Docs.empty());
  EXPECT_EQ(fake.Office.Started, 1);
  EXPECT_EQ(fake.Office.Ended, 1);
}

TEST_F(OOoFiles, AMergeOpensTheFileAndLetsTheSuiteTellItsKind) {
  TOpenTable t(kThreeSpec, ThreeRows());
  {
    std::ofstream(dir + "/x.doc") << "earlier";
  }
  w.Options.Include(soMergeData);
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/x.doc";
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(fake.Office.Opened, (std::vector<std::string>{dir + "/x.doc"}));
  EXPECT_TRUE(fake.Office.Docs.back()->Opened);
  EXPECT_EQ(fake.Office.Docs.back()->StoredFilter, "MS Word 97");
}

TEST(OfficeFormats, TheTableNamesWhatIsMissing) {
  {
    TFakeOfficeScope fake;
    EXPECT_TRUE(ExportFormat(teExcel).Built());
    EXPECT_TRUE(ExportFormat(teOpenOffice).Built());
    auto w = CreateWriter(teWord);
    EXPECT_TRUE(dynamic_cast<TZelExportToWord*>(w.get()));
  }
  // Without the suite the reason names the package.
  const std::string why = ExportFormat(teExcel).Unavailable();
  if (!why.empty()) {
    EXPECT_NE(why.find("libreoffice"), std::string::npos) << why;
  }
}

}  // namespace
}  // namespace korvane::test
