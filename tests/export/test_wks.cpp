// Lotus and Quattro worksheets: records whose lengths are the bytes written,
// numbers from the native values with the general format, labels cut and
// counted, the range of the cells written, code pages, and sheets too large
// refused before anything is written.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "engine/pdxwriter.h"
#include "export/formats/ZelE2WKS.h"
#include "export/formats/ZelE2WQ.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

struct TRecord {
  int Opcode;
  std::string Body;
  uint8_t Byte(size_t i) const { return static_cast<uint8_t>(Body.at(i)); }
  int Word(size_t i) const { return Byte(i) | Byte(i + 1) << 8; }
  int Row() const { return Word(3); }
  int Col() const { return Word(1); }
  double Number() const {
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k) bits = bits << 8 | Byte(5 + static_cast<size_t>(k));
    return std::bit_cast<double>(bits);
  }
};

// The records of a file; a record whose length runs past the end fails the test.
std::vector<TRecord> Records(const std::string& bytes) {
  std::vector<TRecord> out;
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    auto u = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const int op = u(at) | u(at + 1) << 8;
    const size_t len = u(at + 2) | u(at + 3) << 8;
    EXPECT_LE(at + 4 + len, bytes.size()) << "record " << op << " at " << at;
    out.push_back({op, bytes.substr(at + 4, len)});
    at += 4 + len;
  }
  EXPECT_EQ(at, bytes.size());
  return out;
}

std::vector<TRecord> Cells(const std::vector<TRecord>& all) {
  std::vector<TRecord> out;
  for (const TRecord& r : all)
    if (r.Opcode >= 12 && r.Opcode <= 15) out.push_back(r);
  return out;
}

template <class W>
struct Sheet : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
  }
  std::vector<TRecord> Run(TOpenTable& t, TZelEResult check = erCompleted) {
    w.DBGrid = &t.Grid;
    TZelEStringStream out;
    w.ExportToStream(&out);
    EXPECT_EQ(w.Statistic.Result, check) << w.Statistic.Message;
    bytes = out.Data();
    return Records(bytes);
  }
  W w;
  TRecordingServices services;
  std::string bytes;
};
using Lotus = Sheet<TZelExportToWKS>;
using Quattro = Sheet<TZelExportToQuattro>;

TEST_F(Lotus, IntegersInRangeAreIntegersOthersNumbersAllInTheGeneralFormat) {
  TOpenTable t("I=I,N=N", {{TWriterValue(40000), TWriterValue(12.5)},
                           {TWriterValue(-32767), TWriterValue(-3.0)},
                           {TWriterValue(32768), TWriterValue(1e300)},
                           {TWriterValue(-32768), std::nullopt}});
  const std::vector<TRecord> cells = Cells(Run(t));
  ASSERT_EQ(cells.size(), 8u);
  EXPECT_EQ(cells[0].Opcode, 14);
  EXPECT_EQ(cells[0].Body.size(), 13u);
  EXPECT_EQ(cells[0].Number(), 40000.0);
  EXPECT_EQ(cells[1].Number(), 12.5);
  EXPECT_EQ(cells[2].Opcode, 13);
  EXPECT_EQ(cells[2].Body.size(), 7u);
  EXPECT_EQ(static_cast<int16_t>(cells[2].Word(5)), -32767);
  EXPECT_EQ(cells[4].Opcode, 14);
  EXPECT_EQ(cells[5].Number(), 1e300);
  EXPECT_EQ(cells[6].Opcode, 14);
  EXPECT_EQ(cells[6].Number(), -32768.0);
  // A null is a blank cell, not 0.
  EXPECT_EQ(cells[7].Opcode, 12);
  EXPECT_EQ(cells[7].Body.size(), 5u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(cells[i].Byte(0), 0xF1) << i;
  EXPECT_EQ(cells[3].Row(), 1);
  EXPECT_EQ(cells[3].Col(), 1);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Lotus, DatesBooleansAndDecimalsADoubleDoesNotHoldAreLabels) {
  TOpenTable t("D=D,L=L,B=#4,C=#2", {{TWriterValue(738000), TWriterValue(true),
                                     TWriterValue("12345678901234567890.1234"), TWriterValue("-12.50")}});
  const std::vector<TRecord> cells = Cells(Run(t));
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[0].Opcode, 15);
  EXPECT_EQ(cells[0].Body[5], '\'');
  EXPECT_EQ(cells[0].Body.back(), '\0');
  EXPECT_NE(cells[0].Body.find("2021"), std::string::npos) << cells[0].Body;
  EXPECT_EQ(cells[1].Body.substr(6), "True" + std::string(1, '\0'));
  EXPECT_EQ(cells[2].Opcode, 15);
  EXPECT_EQ(cells[2].Body.substr(6, 25), "12345678901234567890.1234");
  EXPECT_EQ(cells[3].Opcode, 14);
  EXPECT_EQ(cells[3].Number(), -12.5);
}

TEST_F(Lotus, EmptyExportHasBofRangeAndEof) {
  TOpenTable t("A=A10", {});
  const std::vector<TRecord> r = Run(t);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].Opcode, 0);
  EXPECT_EQ(r[0].Word(0), 0x0404);
  EXPECT_EQ(r[1].Opcode, 6);
  EXPECT_EQ(r[1].Body, std::string(8, '\0'));
  EXPECT_EQ(r[2].Opcode, 1);
  EXPECT_TRUE(r[2].Body.empty());
}

TEST_F(Lotus, RangeStatesTheCellsWritten) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.AddTitle = true;
  int n = 0;
  w.OnBeforeRecord = [&](TZelECustomBaseComponent&, bool& accept) { accept = ++n != 2; };
  const std::vector<TRecord> r = Run(t);
  ASSERT_GE(r.size(), 2u);
  ASSERT_EQ(r[1].Opcode, 6);
  EXPECT_EQ(r[1].Word(0), 0);
  EXPECT_EQ(r[1].Word(2), 0);
  EXPECT_EQ(r[1].Word(4), 2);  // three columns
  EXPECT_EQ(r[1].Word(6), 2);  // titles and two records
}

TEST_F(Lotus, LongLabelsAreCutBeforeTheirLengthIsTakenAndCounted) {
  const std::string text = "a;b \"q\" \r\nline2 " + std::string(300, 'x');
  TOpenTable t("A=A255,B=A20", {{TWriterValue(text.substr(0, 255)), TWriterValue("a;b \"q\"\r\nz")}});
  const std::vector<TRecord> cells = Cells(Run(t));
  ASSERT_EQ(cells.size(), 2u);
  // Format, column, row, prefix, 253 characters, NUL.
  EXPECT_EQ(cells[0].Body.size(), 5u + 1 + 253 + 1);
  EXPECT_EQ(cells[0].Body.substr(6, 253), text.substr(0, 253));
  EXPECT_EQ(cells[1].Body.substr(6), "a;b \"q\"\r\nz" + std::string(1, '\0'));
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  ASSERT_EQ(w.Statistic.Notes.size(), 1u);
  EXPECT_NE(w.Statistic.Notes[0].find("253"), std::string::npos) << w.Statistic.Notes[0];
}

TEST_F(Lotus, NulBytesBecomeBlanksAndCountBinaryIsHexCutAndCounted) {
  TOpenTable t("M=M10,Y=Y8", {{TWriterValue(std::string("ab\0cd\0e", 7)), TWriterValue(std::string("\x01\xAB\0\xFF", 4))},
                              {TWriterValue(std::string(200, 'm')), std::nullopt}});
  const std::vector<TRecord> cells = Cells(Run(t));
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[0].Body.substr(6), std::string("ab cd e\0", 8));
  EXPECT_EQ(cells[1].Body.substr(6, 8), "01ab00ff");
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  ASSERT_EQ(w.Statistic.Notes.size(), 1u);
  EXPECT_NE(w.Statistic.Notes[0].find("NUL"), std::string::npos);
}

TEST_F(Lotus, LabelsInCodePage850UnlessAnotherIsAsked) {
  TOpenTable t("A=A30,B=A5", {{TWriterValue("Zo\xEB \xE9 \xF8 \xA3 \xDF"), TWriterValue("x")}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  std::vector<TRecord> cells = Cells(Run(t));
  EXPECT_EQ(cells[0].Body.substr(6), "Zo\x89 \x82 \x9B \x9C \xE1" + std::string(1, '\0'));
  EXPECT_EQ(w.RunCodePage(), 850);
  w.CodePage = 1252;
  cells = Cells(Run(t));
  EXPECT_EQ(cells[0].Body.substr(6), "Zo\xEB \xE9 \xF8 \xA3 \xDF" + std::string(1, '\0'));
}

TEST_F(Lotus, TooManyRowsOrColumnsRefusedBeforeTheFirstByte) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.Header.assign(8190, "h");
  Run(t, erFailed);
  EXPECT_TRUE(bytes.empty());
  EXPECT_NE(w.Statistic.Message.find("8192 rows"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("8193"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("rows per file"), std::string::npos);

  // 8192 rows fit.
  w.Header.assign(8189, "h");
  const std::vector<TRecord> r = Run(t);
  EXPECT_EQ(r[1].Word(6), 8191);

  // One record per column: 257 columns.
  w.Header.assign(254, "h");
  w.Layout = elReversedColumnar;
  Run(t, erFailed);
  EXPECT_TRUE(bytes.empty());
  EXPECT_NE(w.Statistic.Message.find("256 columns"), std::string::npos) << w.Statistic.Message;
}

TEST_F(Lotus, RowsOfDetailTablesBeyondTheSheetStopTheExport) {
  TOpenTable main(kThreeSpec, ThreeRows());
  TOpenTable detail("Part=A5", {{TWriterValue("d1")}, {TWriterValue("d2")}});
  TZelEDataLevel& level = AddDataLevel(w.DetailSources);
  level.ColumnSource = csDataSet;
  level.DataSet = &detail.Table;
  w.Header.assign(8185, "h");
  Run(main, erFailed);
  EXPECT_NE(w.Statistic.Message.find("8192 rows"), std::string::npos) << w.Statistic.Message;
  // Without the detail rows it fits.
  w.DetailSources.clear();
  Run(main);
}

TEST_F(Quattro, WidthRecordsFormatsAndLabelsWithALengthByte) {
  TOpenTable t("A=A10,B=N,C=A255", {{TWriterValue("abc"), TWriterValue(12.5), TWriterValue(std::string(255, 'z'))}});
  w.Columns.Add().FieldName = "A";
  w.Columns[0].Width = 10;
  w.Columns.Add().FieldName = "B";
  w.Columns[1].Width = 0;
  w.Columns.Add().FieldName = "C";
  w.Columns[2].Width = 300;
  const std::vector<TRecord> r = Run(t);
  ASSERT_GE(r.size(), 2u);
  EXPECT_EQ(r[0].Word(0), 0x5120);
  std::vector<TRecord> widths;
  for (const TRecord& x : r)
    if (x.Opcode == 8) widths.push_back(x);
  ASSERT_EQ(widths.size(), 2u);
  EXPECT_EQ(widths[0].Body, std::string("\0\0\x0C", 3));
  EXPECT_EQ(widths[1].Body, std::string("\x02\0\xFF", 3));
  const std::vector<TRecord> cells = Cells(r);
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[0].Body, std::string("\0\0\0\0\0'\x03" "abc", 10));
  EXPECT_EQ(cells[1].Opcode, 14);
  EXPECT_EQ(cells[1].Byte(0), 0xF1);
  EXPECT_EQ(cells[1].Number(), 12.5);
  EXPECT_EQ(cells[2].Body.size(), 5u + 2 + 255);
  EXPECT_EQ(cells[2].Byte(6), 255);
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
}

TEST_F(Quattro, LongLabelsCutAndCountedCodePage437ByDefault) {
  TOpenTable t("M=M10,A=A30", {{TWriterValue(std::string(300, 'q')), TWriterValue("Zo\xEB \xE9 \xF8 \xA3 \xDF")}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  const std::vector<TRecord> cells = Cells(Run(t));
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].Body.size(), 5u + 2 + 255);
  EXPECT_EQ(cells[1].Body.substr(6), "\x0B" "Zo\x89 \x82 ? \x9C \xE1");
  EXPECT_EQ(w.RunCodePage(), 437);
  EXPECT_EQ(w.Statistic.TotalErrors, 2);  // one cut, one "?"
}

}  // namespace
}  // namespace korvane::test
