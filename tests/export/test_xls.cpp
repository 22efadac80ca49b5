// Excel 2.x sheets: the records before the cells, typed cells from the native
// values, dates Excel holds and those it does not, labels of at most 255 bytes
// in the declared code page, the sheet's limits refused before any byte, and
// cancelled and split runs.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/pdxwriter.h"
#include "export/formats/ZelE2XLS.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

// A sheet read back record by record.
struct TSheet {
  struct TRecord {
    uint16_t Id;
    std::string Body;
    uint16_t U16(size_t at) const {
      return static_cast<uint16_t>(static_cast<uint8_t>(Body[at]) | static_cast<uint8_t>(Body[at + 1]) << 8);
    }
    int Row() const { return U16(0); }
    int Col() const { return U16(2); }
    int Format() const { return static_cast<uint8_t>(Body[5]) & 0x3F; }
    int Font() const { return static_cast<uint8_t>(Body[5]) >> 6; }
    int XF() const { return static_cast<uint8_t>(Body[4]) & 0x3F; }
    double Number() const {
      double d;
      std::memcpy(&d, Body.data() + 7, 8);
      return d;
    }
    std::string Label() const { return Body.substr(8, static_cast<uint8_t>(Body[7])); }
  };
  std::vector<TRecord> Records;
  bool Whole = true;  // the records fill the bytes exactly

  explicit TSheet(const std::string& bytes) {
    size_t at = 0;
    while (at + 4 <= bytes.size()) {
      const uint16_t id = static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
      const size_t n = static_cast<uint8_t>(bytes[at + 2]) | static_cast<uint8_t>(bytes[at + 3]) << 8;
      if (at + 4 + n > bytes.size()) break;
      Records.push_back({id, bytes.substr(at + 4, n)});
      at += 4 + n;
    }
    Whole = at == bytes.size();
  }
  std::vector<const TRecord*> Of(uint16_t id) const {
    std::vector<const TRecord*> out;
    for (const TRecord& r : Records)
      if (r.Id == id) out.push_back(&r);
    return out;
  }
  // The cell record at row, col (nullptr when there is none).
  const TRecord* At(int row, int col) const {
    for (const TRecord& r : Records)
      if (r.Id >= 1 && r.Id <= 5 && r.Row() == row && r.Col() == col) return &r;
    return nullptr;
  }
};

struct Xls : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
  }
  TSheet Run(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    TZelEStringStream out;
    w.ExportToStream(&out);
    EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
    return TSheet(out.Data());
  }
  TZelExportToXLS w;
  TRecordingServices services;
};

TEST_F(Xls, EverythingThatDescribesTheCellsComesBeforeThem) {
  TOpenTable t("A=A10,N=I", {{TWriterValue("x"), TWriterValue(1)}, {TWriterValue("y"), TWriterValue(2)}});
  w.Header = {"head"};
  w.Footer = {"foot"};
  w.AddTitle = true;
  const TSheet s = Run(t);
  ASSERT_TRUE(s.Whole);
  std::vector<uint16_t> ids;
  for (const auto& r : s.Records)
    if (ids.empty() || ids.back() != r.Id) ids.push_back(r.Id);
  // BOF, CODEPAGE, FONT, FORMAT, XF, DIMENSIONS, COLWIDTH, cells, EOF.
  ASSERT_GE(ids.size(), 8u);
  EXPECT_EQ(std::vector<uint16_t>(ids.begin(), ids.begin() + 7),
            (std::vector<uint16_t>{0x0009, 0x0042, 0x0031, 0x001E, 0x0043, 0x0000, 0x0024}));
  EXPECT_EQ(ids.back(), 0x000A);
  EXPECT_EQ(s.Records[0].Body, std::string("\x02\x00\x10\x00", 4));
  EXPECT_EQ(s.Records[1].U16(0), 1252);
  // Fifty formats in index order, "General" in 23 to 36.
  const auto formats = s.Of(0x001E);
  ASSERT_EQ(formats.size(), 50u);
  EXPECT_EQ(formats[0]->Body.substr(1), "General");
  EXPECT_EQ(formats[1]->Body.substr(1), "0");
  EXPECT_EQ(formats[23]->Body.substr(1), "General");
  EXPECT_EQ(formats[36]->Body.substr(1), "General");
  EXPECT_EQ(formats[49]->Body.substr(1), "@");
  EXPECT_EQ(formats[14]->Body.substr(1), "m/d/yyyy");
  EXPECT_EQ(formats[22]->Body.substr(1), "m/d/yyyy hh:mm:ss");
  // Every cell names a cell format that exists, with its number format.
  const auto xfs = s.Of(0x0043);
  for (const auto& r : s.Records)
    if (r.Id >= 1 && r.Id <= 5) {
      ASSERT_LT(static_cast<size_t>(r.XF()), xfs.size());
      EXPECT_EQ(static_cast<uint8_t>(xfs[static_cast<size_t>(r.XF())]->Body[2]) & 0x3F, r.Format());
    }
  // Header, title, two records, footer: five rows; two columns.
  const auto dim = s.Of(0x0000);
  ASSERT_EQ(dim.size(), 1u);
  EXPECT_EQ(dim[0]->U16(2), 5);
  EXPECT_EQ(dim[0]->U16(6), 2);
  EXPECT_EQ(s.At(0, 1)->Label(), "head");
  EXPECT_EQ(s.At(1, 0)->Label(), "A");
  EXPECT_EQ(s.At(4, 1)->Label(), "foot");
}

TEST_F(Xls, NumbersAreTypedFromTheValue) {
  TOpenTable t("S=S,I=I,N=N,C=$,L=L", {{TWriterValue(-32767), TWriterValue(70000), TWriterValue(0.125),
                                        TWriterValue(12.5), TWriterValue(true)},
                                       {TWriterValue(-10000), TWriterValue(65535), TWriterValue(-3.0),
                                        std::nullopt, TWriterValue(false)},
                                       {TWriterValue(5), TWriterValue(-5), std::nullopt, TWriterValue(0.0),
                                        std::nullopt}});
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.ThousandSeparator = '.';
  const TSheet s = Run(t);
  EXPECT_EQ(s.At(0, 0)->Id, 0x0003);
  EXPECT_EQ(s.At(0, 0)->Number(), -32767);
  EXPECT_EQ(s.At(1, 0)->Number(), -10000);
  EXPECT_EQ(s.At(2, 0)->Id, 0x0002);  // INTEGER only for 0 to 65535
  EXPECT_EQ(s.At(2, 0)->U16(7), 5);
  EXPECT_EQ(s.At(0, 1)->Number(), 70000);
  EXPECT_EQ(s.At(0, 1)->Format(), 1);
  EXPECT_EQ(s.At(1, 1)->Id, 0x0002);
  EXPECT_EQ(s.At(2, 1)->Number(), -5);
  EXPECT_EQ(s.At(0, 2)->Number(), 0.125);  // whatever the separators
  EXPECT_EQ(s.At(0, 2)->Format(), 0);
  EXPECT_EQ(s.At(0, 3)->Number(), 12.5);
  EXPECT_EQ(s.At(0, 3)->Format(), 7);
  EXPECT_EQ(s.At(2, 3)->Number(), 0.0);
  EXPECT_EQ(s.At(1, 3), nullptr);  // null: no cell
  EXPECT_EQ(s.At(0, 4)->Id, 0x0005);
  EXPECT_EQ(s.At(0, 4)->Body.substr(7), std::string("\x01\x00", 2));
  EXPECT_EQ(s.At(1, 4)->Body.substr(7), std::string("\x00\x00", 2));
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  // Format texts keep "." and ",": readers show them in their own separators.
  EXPECT_EQ(s.Of(0x001E)[4]->Body.substr(1), "#,##0.00");

  // BlankIfZero empties only the zero.
  w.BlankIfZero = true;
  const TSheet b = Run(t);
  EXPECT_EQ(b.At(2, 3), nullptr);
  EXPECT_EQ(b.At(0, 3)->Number(), 12.5);
}

TEST_F(Xls, DatesExcelHoldsAreSerialsOthersTheirText) {
  TOpenTable t("D=D,T=T,W=@", {{TWriterValue(-366), TWriterValue(PdxTimeOfDay(12, 0, 0, 0)),
                                TWriterValue(PdxTimestamp(2020, 1, 2, 6, 0, 0))},
                               {TWriterValue(PdxDayNumber(1899, 12, 31)), std::nullopt,
                                TWriterValue(PdxTimestamp(1899, 12, 31, 6, 0, 0))},
                               {TWriterValue(PdxDayNumber(1900, 3, 1)), std::nullopt, std::nullopt},
                               {TWriterValue(PdxDayNumber(2079, 6, 7)), std::nullopt, std::nullopt},
                               {TWriterValue(PdxDayNumber(9999, 12, 31)), std::nullopt, std::nullopt}});
  const TSheet s = Run(t);
  EXPECT_EQ(s.At(0, 0)->Label(), "-0001-12-31");
  EXPECT_EQ(s.At(1, 0)->Label(), "1899-12-31");
  EXPECT_EQ(s.At(2, 0)->Id, 0x0003);
  EXPECT_EQ(s.At(2, 0)->Number(), 61);
  EXPECT_EQ(s.At(2, 0)->Format(), 14);
  EXPECT_EQ(s.At(3, 0)->Number(), 65538);  // beyond a 16-bit integer
  EXPECT_EQ(s.At(4, 0)->Number(), 2958465);
  EXPECT_EQ(s.At(0, 1)->Number(), 0.5);
  EXPECT_EQ(s.At(0, 1)->Format(), 18);
  EXPECT_EQ(s.At(0, 2)->Number(), 43832.25);
  EXPECT_EQ(s.At(0, 2)->Format(), 22);
  EXPECT_EQ(s.At(1, 2)->Label(), "1899-12-31 06:00:00");
  // Written whole as text: noted, not counted as changed.
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  ASSERT_FALSE(w.Statistic.Notes.empty());
  EXPECT_NE(w.Statistic.Notes[0].find("3 dates"), std::string::npos) << w.Statistic.Notes[0];
}

TEST_F(Xls, LabelsHoldAt255BytesOfTheCodePage) {
  TOpenTable t("A=A255,M=M10,B=B", {{TWriterValue(std::string(255, 'a')), TWriterValue(std::string(256, 'm')),
                                     TWriterValue(std::string(200, '\x01'))},
                                    {TWriterValue(std::string(254, 'a') + "\xE9"), TWriterValue(std::string(255, 'm')),
                                     std::nullopt}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  const TSheet s = Run(t);
  EXPECT_EQ(s.At(0, 0)->Body.size(), 263u);
  EXPECT_EQ(s.At(0, 0)->Label(), std::string(255, 'a'));
  // 255 characters of 256 UTF-8 bytes: 255 bytes of the code page, whole.
  EXPECT_EQ(s.At(1, 0)->Label(), std::string(254, 'a') + "\xE9");
  // 256 bytes: cut to 255 and counted; 255: whole.
  EXPECT_EQ(s.At(0, 1)->Label(), std::string(255, 'm'));
  EXPECT_EQ(s.At(1, 1)->Label(), std::string(255, 'm'));
  // Binary data as hex, cut at a whole byte and counted.
  EXPECT_EQ(s.At(0, 2)->Label().size(), 254u);
  EXPECT_EQ(s.At(0, 2)->Label().substr(0, 4), "0101");
  EXPECT_EQ(s.At(1, 2), nullptr);
  EXPECT_EQ(w.Statistic.TotalErrors, 2);

  // Another code page: declared, the text in it, the currency symbol too.
  TOpenTable c("A=A10", {{TWriterValue("Zo\xEB")}});
  c.Table.OnEncode = MakeUtf8Encoder(1252);
  w.CodePage = 1251;
  w.DataFormats.CurrencyString = "\xE2\x82\xAC";  // euro sign
  const TSheet r = Run(c);
  EXPECT_EQ(r.Of(0x0042)[0]->U16(0), 1251);
  EXPECT_EQ(r.At(0, 0)->Label(), "Zo?");
  EXPECT_EQ(r.Of(0x001E)[7]->Body.substr(1), "\"\x88\"#,##0.00");
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
}

TEST_F(Xls, LimitsAreRefusedBeforeTheFirstByte) {
  std::vector<TWriterRow> rows(16384, TWriterRow{TWriterValue(1)});
  TOpenTable t("A=I", rows);
  w.DBGrid = &t.Grid;
  TZelEStringStream out;
  w.AddTitle = true;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("at most 16384 rows"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("rows per file"), std::string::npos);
  EXPECT_NE(w.Statistic.Message.find("16383 or fewer"), std::string::npos);
  EXPECT_TRUE(out.Data().empty());

  TOpenTable c("A=I", {{TWriterValue(1)}});
  std::vector<TGridColumn> cols(257, c.Grid.Columns()[0]);
  c.Grid.SetColumns(cols);
  w.DBGrid = &c.Grid;
  TZelEStringStream out2;
  w.ExportToStream(&out2);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("at most 256 columns"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("fewer columns"), std::string::npos);
  EXPECT_TRUE(out2.Data().empty());

  // Exactly the sheet: written.
  w.AddTitle = false;
  w.DBGrid = &t.Grid;
  TZelEStringStream out3;
  w.ExportToStream(&out3);
  EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(TSheet(out3.Data()).Of(0x0000)[0]->U16(2), 16384);
}

TEST_F(Xls, FontsOfTheRunAtMostFourWithColorsAndFonts) {
  TOpenTable t("A=A10,B=A10,C=A10,D=A10,E=A10", {{TWriterValue("a"), TWriterValue("b"), TWriterValue("c"),
                                                  TWriterValue("d"), TWriterValue("e")}});
  std::vector<TGridColumn> cols = t.Grid.Columns();
  for (size_t i = 0; i < cols.size(); ++i) {
    cols[i].Font.Name = "Arial";
    cols[i].Font.Size = 8 + static_cast<int>(i);
    cols[i].Font.Bold = i == 1;
  }
  t.Grid.SetColumns(cols);
  TSheet s = Run(t);
  EXPECT_EQ(s.Of(0x0031).size(), 1u);  // without colours and fonts: one
  w.Options.Include(soColorsFonts);
  s = Run(t);
  const auto fonts = s.Of(0x0031);
  ASSERT_EQ(fonts.size(), 4u);
  EXPECT_EQ(fonts[0]->U16(0), 160);
  EXPECT_EQ(fonts[1]->U16(0), 180);
  EXPECT_EQ(fonts[1]->U16(2), 1);  // bold
  EXPECT_EQ(s.Of(0x0043).size(), 4u * 6u);
  EXPECT_EQ(s.At(0, 0)->Font(), 0);
  EXPECT_EQ(s.At(0, 1)->Font(), 1);
  EXPECT_EQ(s.At(0, 3)->Font(), 3);
  EXPECT_EQ(s.At(0, 4)->Font(), 0);  // a fifth font: font 0
}

TEST_F(Xls, ATextAHandlerPutInPlaceIsReadWithTheRunsSeparators) {
  TOpenTable t("N=N,D=D", {{TWriterValue(1.5), TWriterValue(PdxDayNumber(2020, 1, 2))},
                           {TWriterValue(2.5), TWriterValue(PdxDayNumber(2020, 1, 3))},
                           {TWriterValue(3.5), TWriterValue(PdxDayNumber(2020, 1, 4))}});
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.ThousandSeparator = '.';
  int n = 0;
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* field, std::string& text, TFontSpec&, TAlignment&,
                          TColor&, TCellType&) {
    if (!field) return;
    ++n;
    if (n == 1) text = "1.234,5";
    if (n == 3) text = "n/a";
    if (n == 4) text = "tomorrow";
  };
  const TSheet s = Run(t);
  EXPECT_EQ(s.At(0, 0)->Number(), 1234.5);
  EXPECT_EQ(s.At(1, 0)->Label(), "n/a");
  EXPECT_EQ(s.At(1, 1)->Label(), "tomorrow");
  EXPECT_EQ(s.At(2, 0)->Number(), 3.5);  // not replaced: the value itself
  EXPECT_EQ(s.At(2, 1)->Format(), 14);
  EXPECT_EQ(w.Statistic.TotalErrors, 2);
}

struct XlsFiles : Xls {
  std::string dir;
  void SetUp() override {
    Xls::SetUp();
    dir = TempDir();
  }
  void Execute(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    w.FileName = dir + "/out.xls";
    w.Execute();
  }
};

TEST_F(XlsFiles, ACancelledRunLeavesNoFile) {
  TOpenTable t("A=A10", {{TWriterValue("a")}, {TWriterValue("b")}, {TWriterValue("c")}, {TWriterValue("d")}});
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++n == 3; };
  Execute(t);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_TRUE(FolderEntries(dir).empty());
}

TEST_F(XlsFiles, EachSplitFileIsAWholeSheetOfItsRows) {
  TOpenTable t("A=I", {{TWriterValue(1)}, {TWriterValue(2)}, {TWriterValue(3)}, {TWriterValue(4)}, {TWriterValue(5)}});
  w.RowsPerFile = 2;
  w.AddTitle = true;
  Execute(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.xls", "out001.xls", "out002.xls"}));
  const char* names[] = {"out", "out001", "out002"};
  for (int i = 0; i < 3; ++i) {
    const TSheet s(ReadFile(dir + "/" + names[i] + ".xls"));
    EXPECT_TRUE(s.Whole) << names[i];
    EXPECT_EQ(s.Records.front().Id, 0x0009) << names[i];
    EXPECT_EQ(s.Records.back().Id, 0x000A) << names[i];
    EXPECT_EQ(s.Of(0x0000)[0]->U16(2), i < 2 ? 3 : 2) << names[i];
    EXPECT_EQ(s.At(0, 0)->Label(), "A") << names[i];
    EXPECT_EQ(s.At(1, 0)->U16(7), 2 * i + 1) << names[i];
  }
}

}  // namespace
}  // namespace korvane::test
