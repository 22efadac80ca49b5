// dBase tables: header and record sizes, counts that match the records written,
// numbers that keep their sign and digits, dates a dBase date holds, memo blocks,
// field names, the code page of the text and the refusals.

#include <gtest/gtest.h>

#include "engine/pdxwriter.h"
#include "export/ZelECodePage.h"
#include "export/formats/ZelE2DBF.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

// A table file read back: its header and records.
struct TDbf {
  std::string Bytes;
  struct TField {
    std::string Name;
    char Type;
    int Length, Decimals;
  };
  std::vector<TField> Fields;
  uint32_t Count = 0;
  int HeaderLength = 0, RecordLength = 0;

  explicit TDbf(std::string bytes) : Bytes(std::move(bytes)) {
    if (Bytes.size() < 33) return;
    auto u = [&](size_t i) { return static_cast<uint8_t>(Bytes[i]); };
    Count = u(4) | u(5) << 8 | u(6) << 16 | static_cast<uint32_t>(u(7)) << 24;
    HeaderLength = u(8) | u(9) << 8;
    RecordLength = u(10) | u(11) << 8;
    for (size_t at = 32; at + 32 < static_cast<size_t>(HeaderLength); at += 32)
      Fields.push_back({std::string(Bytes.c_str() + at), Bytes[at + 11], u(at + 16), u(at + 17)});
  }
  uint8_t Byte(size_t i) const { return static_cast<uint8_t>(Bytes[i]); }
  // Field f of record r (from 0), as stored.
  std::string Value(int r, int f) const {
    size_t at = static_cast<size_t>(HeaderLength + r * RecordLength + 1);
    for (int i = 0; i < f; ++i) at += static_cast<size_t>(Fields[static_cast<size_t>(i)].Length);
    return Bytes.substr(at, static_cast<size_t>(Fields[static_cast<size_t>(f)].Length));
  }
  // Whole records and the end mark, nothing more.
  bool Complete() const {
    return Bytes.size() == static_cast<size_t>(HeaderLength) + Count * static_cast<size_t>(RecordLength) + 1 &&
           Bytes.back() == '\x1A' && Bytes[static_cast<size_t>(HeaderLength) - 1] == '\x0D';
  }
};

struct Dbf : TWriterRun<TZelExportToDBF> {
  TDbf Run(TOpenTable& t) { return TDbf(TWriterRun::Run(t)); }
  // Sets the titles of the grid's columns.
  static void Titles(TOpenTable& t, const std::vector<std::string>& titles) {
    std::vector<TGridColumn> cols = t.Grid.Columns();
    for (size_t i = 0; i < titles.size() && i < cols.size(); ++i) cols[i].Title.Caption = titles[i];
    t.Grid.SetColumns(cols);
  }
};

TEST_F(Dbf, HeaderAndRecordSizesAndCountOfThreeTextColumns) {
  TOpenTable t("A=A20,B=A20,C=A20", {{TWriterValue("x"), TWriterValue("y"), TWriterValue("z")},
                                     {TWriterValue("p"), std::nullopt, TWriterValue("r")}});
  w.Header = {"a header line"};
  w.Footer = {"a footer line"};
  w.AddTitle = true;
  const TDbf d = Run(t);
  EXPECT_EQ(d.Byte(0), 0x03);
  EXPECT_EQ(d.HeaderLength, 129);
  EXPECT_EQ(d.RecordLength, 61);
  EXPECT_EQ(d.Count, 2u);
  EXPECT_TRUE(d.Complete());
  EXPECT_EQ(d.Byte(29), 0x03);  // ANSIINTL: code page 1252
  EXPECT_EQ(d.Value(1, 0), "p" + std::string(19, ' '));
  EXPECT_EQ(d.Value(1, 1), std::string(20, ' '));
  EXPECT_EQ(w.MemoData(), nullptr);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Dbf, RecordCountIsTheRecordsWrittenEvenWhenSomeAreSkipped) {
  TOpenTable t("A=I", {{TWriterValue(1)}, {TWriterValue(2)}, {TWriterValue(3)}});
  int n = 0;
  w.OnBeforeRecord = [&](TZelECustomBaseComponent&, bool& accept) { accept = ++n != 2; };
  const TDbf d = Run(t);
  EXPECT_EQ(d.Count, 2u);
  EXPECT_TRUE(d.Complete());
  EXPECT_EQ(d.Value(1, 0), "          3");
}

TEST_F(Dbf, MemosGoIntoBlocksOfTheMemoFile) {
  const std::string long600(600, 'm');
  TOpenTable t("A=A20,M=M10", {{TWriterValue("a"), TWriterValue("first")},
                               {TWriterValue("b"), TWriterValue(long600)},
                               {TWriterValue("c"), std::nullopt},
                               {TWriterValue("d"), TWriterValue("   ")},
                               {TWriterValue("e"), TWriterValue("last")}});
  const TDbf d = Run(t);
  EXPECT_EQ(d.Byte(0), 0x83);
  ASSERT_EQ(d.Fields.size(), 2u);
  EXPECT_EQ(d.Fields[1].Type, 'M');
  EXPECT_EQ(d.Value(0, 1), "         1");
  EXPECT_EQ(d.Value(1, 1), "         2");  // 600 bytes: blocks 2 and 3
  EXPECT_EQ(d.Value(2, 1), std::string(10, ' '));
  EXPECT_EQ(d.Value(3, 1), "         4");  // blanks are a value
  EXPECT_EQ(d.Value(4, 1), "         5");
  const std::string* memo = w.MemoData();
  ASSERT_NE(memo, nullptr);
  ASSERT_EQ(memo->size(), 6u * 512);
  EXPECT_EQ(static_cast<uint8_t>((*memo)[0]), 6);  // next free block
  EXPECT_EQ(memo->substr(512, 7), "first\x1A\x1A");
  EXPECT_EQ(memo->substr(1024, 600), long600);
  EXPECT_EQ(memo->substr(1624, 2), "\x1A\x1A");
  EXPECT_EQ(memo->substr(4 * 512, 5), "   \x1A\x1A");
  EXPECT_EQ(memo->substr(5 * 512, 6), "last\x1A\x1A");
}

TEST_F(Dbf, BinaryDataIsHexInTheMemoFileAndAMemoMarkIsCounted) {
  TOpenTable t("B=B,Y=Y4,M=M10", {{TWriterValue(std::string("\x01\xFF", 2)), TWriterValue(std::string("\x00\xAB\x10\x20", 4)),
                                   TWriterValue("a\x1A" "b")}});
  const TDbf d = Run(t);
  EXPECT_EQ(d.Fields[0].Type, 'M');
  EXPECT_EQ(d.Fields[1].Type, 'M');  // bytes too
  const std::string* memo = w.MemoData();
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->substr(512, 6), "01ff\x1A\x1A");
  EXPECT_EQ(memo->substr(1024, 10), "00ab1020\x1A\x1A");
  EXPECT_EQ(memo->substr(1536, 5), "a?b\x1A\x1A");
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
}

TEST_F(Dbf, NumbersKeepSignDigitsAndDecimals) {
  TOpenTable t("S=S,I=I,N=N,C=$,P=N,Z=N",
               {{TWriterValue(-32767), TWriterValue(-2147483647), TWriterValue(3.5), TWriterValue(12.5),
                 TWriterValue(3.5), TWriterValue(0.0)},
                {TWriterValue(-10000), TWriterValue(7), TWriterValue(-0.125), TWriterValue(-1234567.89),
                 std::nullopt, std::nullopt}});
  const TDbf d = Run(t);
  ASSERT_EQ(d.Fields.size(), 6u);
  EXPECT_EQ(d.Fields[0].Length, 6);
  EXPECT_EQ(d.Fields[1].Length, 11);
  EXPECT_EQ(d.Fields[2].Length, 20);
  EXPECT_EQ(d.Fields[2].Decimals, 6);
  EXPECT_EQ(d.Fields[3].Decimals, 2);
  EXPECT_EQ(d.Value(0, 0), "-32767");
  EXPECT_EQ(d.Value(1, 0), "-10000");
  EXPECT_EQ(d.Value(0, 1), "-2147483647");
  EXPECT_EQ(d.Value(0, 2), std::string(12, ' ') + "3.500000");
  EXPECT_EQ(d.Value(1, 2), std::string(11, ' ') + "-0.125000");
  EXPECT_EQ(d.Value(0, 3), std::string(15, ' ') + "12.50");
  EXPECT_EQ(d.Value(1, 3), std::string(9, ' ') + "-1234567.89");
  EXPECT_EQ(d.Value(1, 4), std::string(20, ' '));  // null: no value, not 0
  EXPECT_EQ(d.Value(0, 5), std::string(12, ' ') + "0.000000");
  EXPECT_EQ(w.Statistic.TotalErrors, 0);

  // With BlankIfZero the zero is empty too.
  w.BlankIfZero = true;
  EXPECT_EQ(Run(t).Value(0, 5), std::string(20, ' '));
}

TEST_F(Dbf, NumbersThatDoNotFitAreCounted) {
  std::string out;
  EXPECT_FALSE(TZelExportToDBF::FormatNumber(out, 1e20, 6, 20));
  EXPECT_EQ(out, std::string(20, '*'));
  EXPECT_FALSE(TZelExportToDBF::FormatNumber(out, 0.1234567, 6, 20));  // rounded
  EXPECT_EQ(out, std::string(12, ' ') + "0.123457");
  EXPECT_TRUE(TZelExportToDBF::FormatNumber(out, 1e14, 2, 20));
  EXPECT_EQ(out, "  100000000000000.00");
  EXPECT_TRUE(TZelExportToDBF::FormatDecimal(out, "-12.5", 2, 8));
  EXPECT_EQ(out, "  -12.50");
  EXPECT_FALSE(TZelExportToDBF::FormatDecimal(out, "1.125", 2, 8));
  EXPECT_FALSE(TZelExportToDBF::FormatDecimal(out, "123456789", 0, 8));

  TOpenTable t("N=N", {{TWriterValue(1e20)}, {TWriterValue(2.0)}});
  const TDbf d = Run(t);
  EXPECT_EQ(d.Value(0, 0), std::string(20, '*'));
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  ASSERT_FALSE(w.Statistic.Notes.empty());
  EXPECT_NE(w.Statistic.Notes[0].find("asterisks"), std::string::npos);
}

TEST_F(Dbf, DatesOfTheYears1To9999OthersBlankAndCounted) {
  TOpenTable t("D=D,T=T,W=@,L=L",
               {{TWriterValue(PdxDayNumber(1, 1, 1)), TWriterValue(PdxTimeOfDay(10, 20, 30, 500)),
                 TWriterValue(PdxTimestamp(2020, 1, 2, 3, 4, 5)), TWriterValue(true)},
                {TWriterValue(0), std::nullopt, std::nullopt, TWriterValue(false)},
                {TWriterValue(PdxDayNumber(1899, 12, 31)), std::nullopt, std::nullopt, std::nullopt},
                {TWriterValue(PdxDayNumber(1900, 3, 1)), std::nullopt, std::nullopt, std::nullopt},
                {TWriterValue(PdxDayNumber(2079, 6, 7)), std::nullopt, std::nullopt, std::nullopt},
                {TWriterValue(PdxDayNumber(9999, 12, 31)), std::nullopt, std::nullopt, std::nullopt},
                {TWriterValue(PdxDayNumber(9999, 12, 31) + 1), std::nullopt, std::nullopt, std::nullopt}});
  const TDbf d = Run(t);
  EXPECT_EQ(d.Fields[0].Type, 'D');
  EXPECT_EQ(d.Value(0, 0), "00010101");
  EXPECT_EQ(d.Value(1, 0), "        ");  // -0001-12-31 (day 0)
  EXPECT_EQ(d.Value(2, 0), "18991231");
  EXPECT_EQ(d.Value(3, 0), "19000301");
  EXPECT_EQ(d.Value(4, 0), "20790607");
  EXPECT_EQ(d.Value(5, 0), "99991231");
  EXPECT_EQ(d.Value(6, 0), "        ");
  EXPECT_EQ(w.Statistic.TotalErrors, 2);
  // Times and time stamps whole, as text.
  EXPECT_EQ(d.Value(0, 1), "10:20:30.500");
  EXPECT_EQ(d.Value(0, 2), "2020-01-02 03:04:05    ");
  EXPECT_EQ(d.Value(0, 3), "T");
  EXPECT_EQ(d.Value(1, 3), "F");
  EXPECT_EQ(d.Value(2, 3), " ");
}

TEST_F(Dbf, FieldNamesAreSafeUniqueAndTenCharactersLong) {
  EXPECT_EQ(TZelExportToDBF::FieldName("First name"), "First_name");
  EXPECT_EQ(TZelExportToDBF::FieldName("2nd-Name"), "F2nd_Name");
  EXPECT_EQ(TZelExportToDBF::FieldName("Zoë ü"), "Zo___");
  EXPECT_EQ(TZelExportToDBF::FieldName("A very long title"), "A_very_lon");
  EXPECT_EQ(TZelExportToDBF::FieldName(""), "");
  std::vector<std::string> used;
  for (const char* n : {"Amount", "Amount", "AMOUNT", "LongColumn", "LongColumn", "Long9", "Long9"})
    used.push_back(TZelExportToDBF::UniqueName(n, used));
  EXPECT_EQ(used, (std::vector<std::string>{"Amount", "Amount1", "AMOUNT2", "LongColumn", "LongColum1", "Long9",
                                            "Long10"}));

  TOpenTable t("A=I,B=I,C=I,D=I", {{TWriterValue(1), TWriterValue(2), TWriterValue(3), TWriterValue(4)}});
  Titles(t, {"Order", "order", "", "<b>Customer #"});
  const TDbf d = Run(t);
  EXPECT_EQ(d.Fields[0].Name, "Order");
  EXPECT_EQ(d.Fields[1].Name, "order1");
  EXPECT_EQ(d.Fields[2].Name, "FIELD3");
  EXPECT_EQ(d.Fields[3].Name, "F_b_Custom");
}

TEST_F(Dbf, TextWidthIsTheLargerOfColumnAndFieldAndHoldsTheCodePage) {
  TOpenTable t("A=A30,B=A5", {{TWriterValue("Zo\xEB and a text of thirty.."), TWriterValue("\xE9t\xE9")}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  std::vector<TGridColumn> cols = t.Grid.Columns();
  cols[0].Width = 8;  // a narrowed grid column
  t.Grid.SetColumns(cols);
  TDbf d = Run(t);
  EXPECT_EQ(d.Fields[0].Length, 30);
  EXPECT_EQ(d.Value(0, 0), "Zo\xEB and a text of thirty..    ");
  EXPECT_EQ(d.Byte(29), 0x03);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);

  // Another code page: its language byte, and "?" counted for what it lacks.
  w.CodePage = 866;
  d = Run(t);
  EXPECT_EQ(d.Byte(29), 0x26);
  EXPECT_EQ(d.Value(0, 0).substr(0, 3), "Zo?");
  EXPECT_EQ(w.Statistic.TotalErrors, 2);
  ASSERT_FALSE(w.Statistic.Notes.empty());
  EXPECT_NE(w.Statistic.Notes[0].find("code page 866"), std::string::npos);

  // The MS-DOS origin: the DOS counterpart of the Windows code page.
  w.CodePage = 0;
  w.CharacterSet = csASCII_MSDOS;
  d = Run(t);
  EXPECT_EQ(d.Byte(29), 0x02);
  EXPECT_EQ(d.Value(0, 0).substr(0, 3), "Zo\x89");
}

TEST_F(Dbf, CodePageConversionCutsBetweenCharacters) {
  EXPECT_EQ(WindowsCodePageOf(866), 1251);
  EXPECT_EQ(WindowsCodePageOf(437), 1252);
  EXPECT_EQ(WindowsCodePageOf(862), 1255);
  EXPECT_EQ(WindowsCodePageOf(1250), 1250);
  EXPECT_EQ(WindowsCodePageOf(10000), 1252);
  EXPECT_EQ(OutputCodePage(0, 866, csANSI_WINDOWS), 1251);
  EXPECT_EQ(OutputCodePage(0, 866, csASCII_MSDOS), 866);
  EXPECT_EQ(OutputCodePage(1250, 866, csASCII_MSDOS), 1250);

  TZelECodePageText sjis(932);
  std::string out;
  auto r = sjis.Append(out, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 5);  // three characters of two bytes
  EXPECT_EQ(out.size(), 4u);
  EXPECT_TRUE(r.Cut);
  TZelECodePageText latin(1252);
  out.clear();
  r = latin.Append(out, "\xE2\x82\xAC \xCE\xA9 \xFF");  // euro, omega, a byte that is not UTF-8
  EXPECT_EQ(out, "\x80 ? ?");
  EXPECT_EQ(r.Replaced, 2);
  EXPECT_FALSE(r.Cut);
}

TEST_F(Dbf, DisplayTextsAreTextFieldsAndMemosAreCutToThem) {
  TOpenTable t("A=A5,M=M10", {{TWriterValue("abc"), TWriterValue(std::string(40, 'x'))}});
  w.Options.Include(soFieldMask);
  const TDbf d = Run(t);
  EXPECT_EQ(d.Fields[1].Type, 'C');
  EXPECT_EQ(d.Byte(0), 0x03);
  EXPECT_EQ(d.Value(0, 1), std::string(static_cast<size_t>(d.Fields[1].Length), 'x'));
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
}

TEST_F(Dbf, MoreThan255FieldsAreRefusedBeforeAnyByte) {
  TOpenTable t("A=I", {{TWriterValue(1)}});
  std::vector<TGridColumn> cols(256, t.Grid.Columns()[0]);
  t.Grid.SetColumns(cols);
  w.DBGrid = &t.Grid;
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("at most 255 fields"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("fewer columns"), std::string::npos);
  EXPECT_TRUE(out.Data().empty());
}

struct DbfFiles : Dbf {
  std::string dir;
  void SetUp() override {
    Dbf::SetUp();
    dir = TempDir();
  }
  void Execute(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    w.FileName = dir + "/out.dbf";
    w.Execute();
  }
};

TEST_F(DbfFiles, ACancelledRunLeavesNoFile) {
  TOpenTable t("A=A10,M=M10", {{TWriterValue("a"), TWriterValue("m1")},
                               {TWriterValue("b"), TWriterValue("m2")},
                               {TWriterValue("c"), TWriterValue("m3")},
                               {TWriterValue("d"), TWriterValue("m4")}});
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++n == 3; };
  Execute(t);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_TRUE(FolderEntries(dir).empty());
}

TEST_F(DbfFiles, EachSplitFileHasItsCountEndMarkAndMemoFile) {
  TOpenTable t("A=A10,M=M10", {{TWriterValue("a"), TWriterValue("m1")},
                               {TWriterValue("b"), TWriterValue("m2")},
                               {TWriterValue("c"), TWriterValue("m3")},
                               {TWriterValue("d"), TWriterValue("m4")},
                               {TWriterValue("e"), TWriterValue("m5")}});
  w.RowsPerFile = 2;
  Execute(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir),
            (std::vector<std::string>{"out.dbf", "out.dbt", "out001.dbf", "out001.dbt", "out002.dbf", "out002.dbt"}));
  const uint32_t counts[] = {2, 2, 1};
  const char* names[] = {"out", "out001", "out002"};
  for (int i = 0; i < 3; ++i) {
    const TDbf d(ReadFile(dir + "/" + names[i] + ".dbf"));
    EXPECT_EQ(d.Count, counts[i]) << names[i];
    EXPECT_TRUE(d.Complete()) << names[i];
    EXPECT_EQ(d.Value(0, 1), "         1") << names[i];
    const std::string memo = ReadFile(dir + "/" + names[i] + ".dbt");
    EXPECT_EQ(memo.substr(512, 4), "m" + std::to_string(2 * i + 1) + "\x1A\x1A") << names[i];
  }
}

TEST_F(DbfFiles, AMemoFileOnlyBesideATableWithMemos) {
  TOpenTable t("A=A10", {{TWriterValue("a")}});
  Execute(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.dbf"}));
}

}  // namespace
}  // namespace korvane::test

namespace korvane::test {
namespace {

TEST_F(Dbf, AHandlersTextIsReadAsTheFieldsTypeOrLeftBlankAndCounted) {
  TOpenTable t("N=N,L=L,D=D,S=A10", {{TWriterValue(3.5), TWriterValue(false), TWriterValue(PdxDayNumber(2024, 1, 31)),
                                      TWriterValue("abc")},
                                     {TWriterValue(7.0), TWriterValue(true), std::nullopt, TWriterValue("def")}});
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.ThousandSeparator = '.';
  int n = 0;
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* field, std::string& text, TFontSpec&, TAlignment&,
                          TColor&, TCellType&) {
    if (!field || ++n > 4) return;  // the second record keeps its values
    const char* texts[] = {"1.234,5", "True", "tomorrow", "hello"};
    text = texts[n - 1];
  };
  const TDbf d = Run(t);
  EXPECT_EQ(d.Value(0, 0), std::string(9, ' ') + "1234.500000");
  EXPECT_EQ(d.Value(0, 1), "T");
  EXPECT_EQ(d.Value(0, 2), std::string(8, ' '));  // a date field cannot hold "tomorrow"
  EXPECT_EQ(d.Value(0, 3).substr(0, 5), "hello");
  EXPECT_EQ(d.Value(1, 0), std::string(12, ' ') + "7.000000");
  EXPECT_EQ(d.Value(1, 1), "T");
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(w.Statistic.Message.find("1 cell texts given by the OnGetCellParams handler"), std::string::npos)
      << w.Statistic.Message;
}

}  // namespace
}  // namespace korvane::test
