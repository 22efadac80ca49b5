// Delimited and fixed-width text, and the value texts of a run (explicit format
// settings, never the process's or the user's regional ones).

#include <gtest/gtest.h>

#include "export/ZelEMonitor.h"
#include "export/formats/ZelE2TXT.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

using Text = TTextRun;

TEST_F(Text, QualifierEnclosesStringsAndDoublesItselfInside) {
  TOpenTable t("Name=A20,Amount=N", {{TWriterValue("O\"Hara"), TWriterValue(12.5)}});
  w.Separator = ';';
  w.TextQualifier = '"';
  w.AddTitle = true;
  EXPECT_EQ(Run(t), "\"Name\";\"Amount\"\r\n\"O\"\"Hara\";12.5\r\n");

  // A decimal comma with a comma separator: the number is enclosed.
  w.Separator = ',';
  w.Options.Include(soFieldMask);
  w.DataFormats.DecimalSeparator = ',';
  w.AddTitle = false;
  EXPECT_EQ(Run(t), "\"O\"\"Hara\",\"12,5\"\r\n");

  // tqAny without a qualifier encloses nothing.
  w.TextQualifier = 0;
  w.Settings().TextQualifying = tqAny;
  EXPECT_EQ(Run(t), "O\"Hara,12,5\r\n");
}

TEST_F(Text, ValuesAReaderWouldSplitAreAlwaysEnclosed) {
  TOpenTable t("Name=A20,N=I,Notes=M20", {{TWriterValue("a;b"), TWriterValue(7), TWriterValue("x\r\ny")}});
  w.Separator = ';';
  w.TextQualifier = '\'';
  w.Settings().TextQualifying = tqNoNumber;
  // A constant column of a number type holding the separator, a qualifier and a line end.
  TZelEColumn& c = w.Columns.Add();
  c.ColumnKind = ckConstant;
  c.DataType = ctInteger;
  c.FieldName = "1;2";
  TZelEColumn& d = w.Columns.Add();
  d.ColumnKind = ckConstant;
  d.DataType = ctInteger;
  d.FieldName = "it's";
  TZelEColumn& e = w.Columns.Add();
  e.ColumnKind = ckConstant;
  e.DataType = ctInteger;
  e.FieldName = "12";
  for (const char* n : {"N", "Notes"}) w.Columns.Add().FieldName = n;
  EXPECT_EQ(Run(t), "'1;2';'it''s';12;7;'x\r\ny'\r\n");
}

TEST_F(Text, WithoutAQualifierValuesThatSplitTheirRowAreCounted) {
  TOpenTable t("Name=A20,Notes=M20", {{TWriterValue("plain"), TWriterValue("one line")},
                                      {TWriterValue("a\tb"), TWriterValue("x\r\ny")},
                                      {TWriterValue("ok"), TWriterValue("two\nlines")},
                                      {TWriterValue("fine"), TWriterValue("also fine")}});
  w.TextQualifier = 0;
  w.Header = {"a header\twith a tab is the user's own"};
  EXPECT_EQ(Run(t), "a header\twith a tab is the user's own\r\nplain\tone line\r\na\tb\tx\r\ny\r\nok\ttwo\nlines\r\n"
                    "fine\talso fine\r\n");
  EXPECT_EQ(w.SplittingValues(), 3);
  EXPECT_EQ(w.SplitRows(), 2);
  EXPECT_EQ(w.Statistic.TotalErrors, 3);
  EXPECT_NE(w.Statistic.Message.find("3 values hold the field separator or a line break"), std::string::npos)
      << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("2 rows are no longer one line"), std::string::npos) << w.Statistic.Message;

  // With a qualifier they are enclosed and nothing is counted.
  w.TextQualifier = '"';
  Run(t);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  EXPECT_TRUE(w.Statistic.Notes.empty());
}

TEST_F(Text, NulBytesNeverReachTheFileAndAreCounted) {
  TOpenTable t("Notes=M20", {{TWriterValue(std::string("a\0b\0c", 5))}, {TWriterValue("clean")}});
  w.TextQualifier = '"';
  const std::string out = Run(t);
  EXPECT_EQ(out, "\"abc\"\r\n\"clean\"\r\n");
  EXPECT_EQ(w.NulValues(), 1);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(w.Statistic.Message.find("1 values held NUL bytes"), std::string::npos) << w.Statistic.Message;
}

TEST_F(Text, NoNumberQualifiesDatesButNotIntegers) {
  TOpenTable t("D=D,N=I", {{TWriterValue(PdxDayNumber(2024, 1, 31)), TWriterValue(5)}});
  w.TextQualifier = '"';
  w.Settings().TextQualifying = tqNoNumber;
  w.Options.Include(soFieldMask);
  w.DataFormats = TZelEDataFormats::MainWindowDefaults();
  EXPECT_EQ(Run(t), "\"31/01/2024\"\t5\r\n");
}

TEST_F(Text, FixedWidthPadsAndNeverCuts) {
  TOpenTable t("A=A10,B=I", {{TWriterValue("ab"), TWriterValue(7)}, {TWriterValue("abcdefg"), TWriterValue(1234)}});
  w.Fixed = true;
  w.Separator = 0;
  TZelEColumn& a = w.Columns.Add();
  a.FieldName = "A";
  a.Width = 5;
  TZelEColumn& b = w.Columns.Add();
  b.FieldName = "B";
  b.Width = 3;
  b.Alignment = taRightJustify;
  w.Header = {"to"};
  EXPECT_EQ(Run(t), "to \r\nab     7\r\nabcdefg1234\r\n");  // the header is padded to column 1's width

  // Centred text of length 4 in width 10, and separators in fixed mode.
  TOpenTable c("A=A10", {{TWriterValue("abcd")}, {TWriterValue("abcdefghij")}});
  w.Columns.Clear();
  w.Header.clear();
  TZelEColumn& m = w.Columns.Add();
  m.FieldName = "A";
  m.Width = 10;
  m.Alignment = taCenter;
  w.Columns.Add() = m;
  w.Separator = '|';
  EXPECT_EQ(Run(c), "   abcd   |   abcd   \r\n abcdefghij | abcdefghij \r\n");
}

TEST_F(Text, FixedWidthCountsCharactersNotBytes) {
  TOpenTable t("A=A10,B=A3", {{TWriterValue("\xE9t\xE9"), TWriterValue("x")}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  w.Fixed = true;
  w.Separator = 0;
  EXPECT_EQ(Run(t), "\xC3\xA9t\xC3\xA9       x  \r\n");
}

TEST_F(Text, TabularFormHasNoSeparatorAfterTheValue) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.Layout = elTabularForm;
  w.Separator = ';';
  t.Grid.At(2).Visible = false;
  EXPECT_EQ(Run(t), "apple\r\n3\r\npear\r\n0\r\nplum\r\n\r\n");
  w.AddTitle = true;
  EXPECT_EQ(Run(t), "Name;apple\r\nQty;3\r\nName;pear\r\nQty;0\r\nName;plum\r\nQty;\r\n");
}

TEST_F(Text, HeaderFooterAndCtrlZ) {
  TOpenTable t(kThreeSpec, {ThreeRows()[0]});
  w.Separator = ',';
  w.Header = {"a,b", ""};
  w.Footer = {"end"};
  w.Settings().AddCtrlZ = true;
  w.RecordSeparator = "\n";
  EXPECT_EQ(Run(t), "a,b\n\napple,3,1.5\nend\n\x1A");
}

TEST_F(Text, BlankRowAfterTitlesHasNoSeparators) {
  TOpenTable t(kThreeSpec, {ThreeRows()[0]});
  w.AddTitle = true;
  w.Options.Include(soBlankRowAfterCaptions);
  w.Separator = ',';
  EXPECT_EQ(Run(t), "Name,Qty,Price\r\n\r\napple,3,1.5\r\n");
}

TEST_F(Text, EbcdicConvertsSeparatorsAndQualifiersToo) {
  TOpenTable t("A=A10,B=A10", {{TWriterValue("A"), TWriterValue("9")}});
  w.CharacterSet = csEBCDIC;
  w.Separator = ';';
  w.TextQualifier = '"';
  EXPECT_EQ(Run(t), "\x7F\xC1\x7F\x5E\x7F\xF9\x7F\r\n");
}

TEST_F(Text, MergeAppendsToTheFile) {
  TOpenTable t(kThreeSpec, {ThreeRows()[0]});
  std::string dir = TempDir();
  WriteFile(dir + "/m.csv", "old\r\n");
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/m.csv";
  w.Options.Include(soMergeData);
  w.Separator = ',';
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(ReadFile(dir + "/m.csv"), "old\r\napple,3,1.5\r\n");
  EXPECT_EQ(w.GetTextKind(), 2);
}

// --- value texts -----------------------------------------------------------

TEST_F(Text, PlainNumbersAreRegionalDisplayNumbersFollowTheDataFormats) {
  TOpenTable t("N=N,C=$", {{TWriterValue(1234.5), TWriterValue(1234.5)}});
  services.Regional.DecimalSeparator = ',';
  services.Regional.ThousandSeparator = '.';
  services.Regional.CurrencyString = "EUR";
  w.DataFormats = TZelEDataFormats::MainWindowDefaults();
  w.Separator = ';';
  // The original values in the user's regional form; the formats page does not apply.
  EXPECT_EQ(Run(t), "1234,5;1234,50\r\n");
  w.Options.Include(soFieldMask);
  EXPECT_EQ(Run(t), "1234.5;\xC2\xA3" "1,234.50\r\n");
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.ThousandSeparator = ' ';
  w.DataFormats.CurrencyString = "$";
  EXPECT_EQ(Run(t), "1234,5;$1 234,50\r\n");
}

TEST_F(Text, DatePatternsFollowTheDataFormats) {
  TOpenTable t("D=D,T=T,S=@,S2=@",
               {{TWriterValue(PdxDayNumber(2024, 1, 5)), TWriterValue(PdxTimeOfDay(9, 5, 7)),
                 TWriterValue(PdxTimestamp(2024, 1, 5, 13, 4, 0)), TWriterValue(PdxTimestamp(2024, 1, 5, 0, 0, 0))}});
  w.Options.Include(soFieldMask);
  w.DataFormats = TZelEDataFormats::MainWindowDefaults();
  w.Separator = ',';
  EXPECT_EQ(Run(t), "05/01/2024,09:05:07,05/01/2024 13:04:00,05/01/2024\r\n");
  // No separator means none, not a NUL byte.
  w.DataFormats.DateOrder = doYMD;
  w.DataFormats.DateSeparator = 0;
  w.DataFormats.TimeSeparator = 0;
  w.DataFormats.FourDigitYear = true;
  EXPECT_EQ(Run(t), "20240105,090507,20240105 130400,20240105\r\n");
  EXPECT_EQ(w.DataFormats.GetDateFormat(), "YYYYMMDD");
  // The plain texts (without the display option) are the regional ones, separators included.
  w.Options.Exclude(soFieldMask);
  services.Regional.ShortDateFormat = "yyyy/mm/dd";
  services.Regional.LongTimeFormat = "hh:nn:ss";
  services.Regional.DateSeparator = '-';
  std::string plain = Run(t);
  EXPECT_EQ(plain.find('\0'), std::string::npos);
  EXPECT_EQ(plain, "2024-01-05,09:05:07,2024-01-05 13:04:00,2024-01-05\r\n");

  w.Options.Include(soFieldMask);
  w.DataFormats.CustomDateTimeFormat = "dd-mmm-yyyy";
  // A date pattern never cuts a time stamp's time.
  EXPECT_EQ(Run(t), "05-Jan-2024,090507,05-Jan-2024 130400,05-Jan-2024\r\n");
  w.DataFormats.CustomDateTimeFormat = "yyyy-mm-dd\"T\"hh:nn";
  // One that shows a time is the date and the date-time pattern as it stands.
  EXPECT_EQ(Run(t), "2024-01-05T0000,090507,2024-01-05T1304,2024-01-05T0000\r\n");
  EXPECT_EQ(w.DataFormats.GetTimeFormat(), "HHNNSS");
}

TEST_F(Text, DisplayTextsOfMemosBooleansAndBlankZeros) {
  TOpenTable t("M=M20,L=L,N=I,S=A5",
               {{TWriterValue("memo\ttext"), TWriterValue(true), TWriterValue(0), std::nullopt},
                {TWriterValue(""), TWriterValue(false), TWriterValue(5), TWriterValue("x")}});
  w.Separator = '|';
  w.Options.Include(soFieldMask);
  w.DataFormats.BooleanTrue = "Yes";
  w.DataFormats.BooleanFalse = "No";
  EXPECT_EQ(Run(t), "memo\ttext|Yes|0|\r\n|No|5|x\r\n");
  w.Options.Exclude(soFieldMask);
  EXPECT_EQ(Run(t), "memo\ttext|True|0|\r\n|False|5|x\r\n");

  w.BlankIfZero = true;
  std::vector<std::string> cells;
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* f, std::string& text, TFontSpec&, TAlignment&,
                          TColor&, TCellType& ct) {
    if (f && (f->FieldName() == "N" || f->FieldName() == "S")) cells.push_back(text + ":" + std::to_string(ct));
  };
  EXPECT_EQ(Run(t), "memo\ttext|True||\r\n|False|5|x\r\n");
  // A zero or null number is blank; any other keeps its type (5 stays an integer cell).
  EXPECT_EQ(cells, (std::vector<std::string>{":0", ":3", "5:1", "x:3"}));
}

TEST_F(Text, DetailTablesFollowTheirRecordIndented) {
  TOpenTable main(kThreeSpec, {ThreeRows()[0], ThreeRows()[1]});
  TOpenTable detail("Part=A5,N=I", {{TWriterValue("d1"), TWriterValue(1)}, {TWriterValue("d2"), TWriterValue(2)}});
  TZelEDataLevel& level = AddDataLevel(w.DetailSources);
  EXPECT_EQ(level.Caption, "Detail0");
  level.ColumnSource = csDataSet;
  level.DataSet = &detail.Table;
  level.ShiftCount = 2;
  w.Separator = ',';
  const std::string table = "    d1,    1\r\n    d2,    2\r\n";
  // An empty line before each detail table, then the main row ends.
  EXPECT_EQ(Run(main), "apple,3,1.5\r\n" + table + "\r\npear,0,2.25\r\n" + table + "\r\n");
  EXPECT_EQ(w.Statistic.LevelNumber, 0);
  EXPECT_EQ(level.Columns.Count(), 0);  // filled for the run only
}

TEST(TextNames, FormatExtensionRules) {
  TZelExportToText w;
  w.FileName = "/data/out.txt";
  w.SetTableType(teClipboard);
  EXPECT_EQ(w.FileName, "/data/out");
  w.SetTableType(teHTML);
  EXPECT_EQ(w.FileName, "/data/out.HTM");
  w.FileName = "/data.d/out";
  w.SetTableType(teText);
  EXPECT_EQ(w.FileName, "/data.d/out.TXT");
  EXPECT_TRUE(ExportFormat(teText).Built());
  EXPECT_EQ(std::string(TableTypeName(teQuattro)), "Quattro");
  TTableTypeExport t;
  EXPECT_TRUE(TableTypeFromName("text", t));
  EXPECT_EQ(t, teText);
  EXPECT_FALSE(TableTypeFromName("teText", t));
}

TEST(TextNames, RunAppendsTheExtensionOnlyWhenThereIsNone) {
  TRecordingServices services;
  TOpenTable t(kThreeSpec, {ThreeRows()[0]});
  std::string dir = TempDir();
  TZelExportToText w;
  w.SetServices(&services);
  w.AnimatedStatus = false;
  w.DBGrid = &t.Grid;
  w.FileName = dir + "/plain";
  w.Execute();
  EXPECT_EQ(w.FileName, dir + "/plain.TXT");
  w.FileName = dir + "/data.csv";
  w.Execute();
  EXPECT_EQ(w.FileName, dir + "/data.csv");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"data.csv", "plain.TXT"}));
}

TEST(TextMonitor, MonitorRunsTheTextWriterAndNamesTheTable) {
  TRecordingServices services;
  TOpenTable t(kThreeSpec, ThreeRows(), "orders.db");
  TZelExportMonitor m;
  m.SetServices(&services);
  m.AnimatedStatus = false;
  m.DBGrid = &t.Grid;
  std::string dir = TempDir();
  m.FileName = dir + "/o.csv";
  m.Separator = ',';
  std::string seen;
  m.OnBeforeExecute = [&](TZelECustomBaseComponent& c) { seen = c.TableName; };
  m.Run();
  EXPECT_EQ(m.Statistic.Result, erCompleted) << m.Statistic.Message;
  EXPECT_EQ(seen, "orders");
  EXPECT_EQ(ReadFile(dir + "/o.csv"), "apple,3,1.5\r\npear,0,2.25\r\nplum,,-4\r\n");

  // A format that is not built fails with a message that says so.
  m.SetTableType(teAccess);
  m.Run();
  EXPECT_EQ(m.Statistic.Result, erFailed);
  EXPECT_NE(m.Statistic.Message.find("Access"), std::string::npos);
}

TEST(TextMonitor, DefaultTableNameIsTheBaseNameWithoutExtension) {
  TPdx table;
  table.SetTableName("/home/j.smith/orders.db");
  TZelExportMonitor m;
  m.ColumnSource = csDataSet;
  m.DataSet = &table;
  EXPECT_EQ(m.DefaultTableName(), "orders");
  table.SetTableName("/data/my.orders.db");
  EXPECT_EQ(m.DefaultTableName(), "my.orders");
  table.SetTableName("plain");
  EXPECT_EQ(m.DefaultTableName(), "plain");
}

}  // namespace
}  // namespace korvane::test

namespace korvane::test {
namespace {

// Long BLOBs are written from pieces read twice; the file must be the one a
// run holding each value whole writes, whatever the settings.
TEST_F(Text, LongBlobsStreamedInPiecesWriteWhatWholeValuesWrite) {
  // Memo text crossing the 256 KB read pieces with two- and three-byte
  // characters, separators, qualifiers, line breaks and NULs.
  std::string memo;
  for (int i = 0; memo.size() < 700 * 1024; ++i) {
    memo += "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC;\t\"q\"";
    if (i % 97 == 0) memo += "\r\n";
    if (i % 1013 == 0) memo += std::string(1, '\0');
  }
  std::string bin(300 * 1024 + 7, '\0');
  for (size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>(i * 31 + 7);
  TOpenTable t("Name=A10,Notes=M20,Fmt=F10,Pic=G10,Raw=B10",
               {{TWriterValue("one"), TWriterValue(memo), TWriterValue("fmt\x01\\" + memo.substr(0, 300000)),
                 TWriterValue(bin), TWriterValue(std::string("\x01\x02", 2))},
                {TWriterValue("two"), TWriterValue("short;memo"), std::nullopt, std::nullopt, TWriterValue(bin)}});

  struct TCase {
    const char* name;
    std::function<void(TZelExportToText&)> set;
  };
  const std::vector<TCase> cases = {
      {"default", [](TZelExportToText& x) { x.TextQualifier = '"'; }},
      {"no qualifier", [](TZelExportToText& x) { x.TextQualifier = 0; }},
      {"all qualified", [](TZelExportToText& x) {
         x.TextQualifier = '\'';
         x.Settings().TextQualifying = tqAny;
       }},
      {"fixed", [](TZelExportToText& x) {
         x.TextQualifier = 0;
         x.Fixed = true;
       }},
      {"oem", [](TZelExportToText& x) {
         x.TextQualifier = '"';
         x.CharacterSet = csASCII_MSDOS;
       }},
      {"ebcdic", [](TZelExportToText& x) {
         x.TextQualifier = '"';
         x.Separator = ';';
         x.CharacterSet = csEBCDIC;
       }},
  };
  for (const TCase& c : cases) {
    c.set(w);
    w.StreamBlobsAbove = int64_t{1} << 40;
    const std::string whole = Run(t);
    const int errors = w.Statistic.TotalErrors;
    w.StreamBlobsAbove = 100;
    const std::string pieces = Run(t);
    EXPECT_EQ(pieces.size(), whole.size()) << c.name;
    EXPECT_TRUE(pieces == whole) << c.name;
    EXPECT_EQ(w.Statistic.TotalErrors, errors) << c.name;
  }
}

}  // namespace
}  // namespace korvane::test
