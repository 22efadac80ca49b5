// SPSS data files: the dictionary (formats, names, string widths, the code
// page), the compressed case data, the case count completed at the end, and
// what readers need that earlier writers got wrong.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/pdxwriter.h"
#include "engine/sysutils.h"
#include "export/formats/ZelE2SPSS.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

int32_t Le32At(const std::string& s, size_t at) {
  int32_t v = 0;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

// A data file read back: its header, variables, the records 7 and the data.
struct TSav {
  std::string Bytes;
  struct TVar {
    int32_t Type;
    uint32_t Format;
    std::string Name, Label;
  };
  std::vector<TVar> Vars;
  int Continuations = 0;
  std::vector<int32_t> IntegerInfo;
  std::string Encoding;
  std::string Data;  // after the dictionary

  explicit TSav(std::string bytes) : Bytes(std::move(bytes)) {
    size_t at = 176;
    while (at + 4 <= Bytes.size()) {
      const int32_t rec = Le32At(Bytes, at);
      if (rec == 2) {
        TVar v{Le32At(Bytes, at + 4), static_cast<uint32_t>(Le32At(Bytes, at + 16)), Bytes.substr(at + 24, 8), {}};
        const bool label = Le32At(Bytes, at + 8) != 0;
        at += 32;
        if (label) {
          const int32_t n = Le32At(Bytes, at);
          v.Label = Bytes.substr(at + 4, static_cast<size_t>(n));
          at += 4 + static_cast<size_t>((n + 3) / 4 * 4);
        }
        if (v.Type < 0)
          ++Continuations;
        else
          Vars.push_back(v);
      } else if (rec == 7) {
        const int32_t sub = Le32At(Bytes, at + 4), size = Le32At(Bytes, at + 8), count = Le32At(Bytes, at + 12);
        if (sub == 3)
          for (int i = 0; i < count; ++i) IntegerInfo.push_back(Le32At(Bytes, at + 16 + 4 * static_cast<size_t>(i)));
        if (sub == 20) Encoding = Bytes.substr(at + 16, static_cast<size_t>(count));
        at += 16 + static_cast<size_t>(size * count);
      } else if (rec == 999) {
        Data = Bytes.substr(at + 8);
        break;
      } else {
        break;
      }
    }
  }
  int32_t ValuesPerCase() const { return Le32At(Bytes, 68); }
  int32_t Cases() const { return Le32At(Bytes, 80); }
  // The command bytes of the data block at byte offset at.
  std::vector<int> Commands(size_t at = 0) const {
    std::vector<int> out;
    for (size_t i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(Data[at + i]));
    return out;
  }
  double Slot(size_t at) const {
    double d = 0;
    std::memcpy(&d, Data.data() + at, 8);
    return d;
  }
};

const std::string kEnd("\xFC\0\0\0\0\0\0\0", 8);

struct Spss : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
  }
  TSav Run(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    TZelEStringStream out;
    w.ExportToStream(&out);
    EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
    return TSav(out.Data());
  }
  TZelExportToSPSS w;
  TRecordingServices services;
};

TEST_F(Spss, IntegersAreF11AndCompressedOrWholeAndTheLastBlockEndsInZeros) {
  TOpenTable t("A=I", {{TWriterValue(5)}, {TWriterValue(200)}, {TWriterValue(-100)}});
  const TSav s = Run(t);
  EXPECT_EQ(s.Bytes.substr(0, 4), "$FL2");
  EXPECT_EQ(s.ValuesPerCase(), 1);
  EXPECT_EQ(s.Cases(), 3);
  ASSERT_EQ(s.Vars.size(), 1u);
  EXPECT_EQ(s.Vars[0].Format, TZelExportToSPSS::Format(5, 11, 0));  // F11.0, not IB2.0
  EXPECT_EQ(s.Commands(), (std::vector<int>{105, 253, 253, 0, 0, 0, 0, 0}));
  ASSERT_EQ(s.Data.size(), 8u + 16u + 8u);
  EXPECT_EQ(s.Slot(8), 200.0);
  EXPECT_EQ(s.Slot(16), -100.0);
  EXPECT_EQ(s.Data.substr(24), kEnd);
}

TEST_F(Spss, AStringOfWidth20HasTwoContinuationRecordsAndThreeCommandsPerValue) {
  TOpenTable t("S=A20", {{TWriterValue("abc")}, {TWriterValue("0123456789abcdefghij")}, {std::nullopt}});
  const TSav s = Run(t);
  ASSERT_EQ(s.Vars.size(), 1u);
  EXPECT_EQ(s.Vars[0].Type, 20);
  EXPECT_EQ(s.Vars[0].Format, 0x00011400u);  // A20
  EXPECT_EQ(s.Continuations, 2);
  EXPECT_EQ(s.ValuesPerCase(), 3);
  // abc, blanks, blanks | 01234567, 89abcdef, ghij | blanks, blanks (then the next block).
  EXPECT_EQ(s.Commands(), (std::vector<int>{253, 254, 254, 253, 253, 253, 254, 254}));
  EXPECT_EQ(s.Data.substr(8, 8), "abc     ");
  EXPECT_EQ(s.Data.substr(32, 8), "ghij    ");
  EXPECT_EQ(s.Commands(40), (std::vector<int>{254, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.Data.substr(48), kEnd);
}

TEST_F(Spss, DatesTimesBooleansAndEmptyNumbersAreNumericWithRealFormats) {
  TOpenTable t("D=D,T=T,W=@,L=L,N=N",
               {{TWriterValue(PdxDayNumber(1582, 10, 15)), TWriterValue(PdxTimeOfDay(10, 20, 30, 500)),
                 TWriterValue(PdxTimestamp(1582, 10, 14, 0, 0, 1)), TWriterValue(true), std::nullopt},
                {TWriterValue(0), std::nullopt, std::nullopt, TWriterValue(false), TWriterValue(2.5)}});
  const TSav s = Run(t);
  ASSERT_EQ(s.Vars.size(), 5u);
  EXPECT_EQ(s.Vars[0].Format, TZelExportToSPSS::Format(20, 11, 0));  // DATE11
  EXPECT_EQ(s.Vars[1].Format, TZelExportToSPSS::Format(21, 8, 0));   // TIME8
  EXPECT_EQ(s.Vars[2].Format, TZelExportToSPSS::Format(22, 20, 0));  // DATETIME20
  EXPECT_EQ(s.Vars[3].Format, TZelExportToSPSS::Format(5, 1, 0));    // F1.0
  for (const auto& v : s.Vars) EXPECT_EQ(v.Type, 0) << v.Name;
  // 15 Oct 1582 is one day; 10:20:30.5; the first second; true 1; null missing.
  EXPECT_EQ(s.Commands(), (std::vector<int>{253, 253, 101, 101, 255, 253, 255, 255}));
  EXPECT_EQ(s.Slot(8), 86400.0);
  EXPECT_EQ(s.Slot(16), 37230.5);
  // The second case: day 0 (-0001-12-31) is written whole and counted, as SPSS
  // shows no date before its calendar; false 0; 2.5 whole.
  EXPECT_EQ(s.Commands(32), (std::vector<int>{100, 253, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.Slot(24), -static_cast<double>(TZelExportToSPSS::kDayNumberOf15821014) * 86400);
  EXPECT_EQ(s.Slot(40), 2.5);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_EQ(s.Cases(), 2);
}

TEST_F(Spss, TheSpssCalendarBeginsOn14October1582) {
  TDateTime d = 0;
  ASSERT_TRUE(TryEncodeDate(1582, 10, 14, d));
  EXPECT_EQ(static_cast<int64_t>(d) + kDayNumberOf18991230, TZelExportToSPSS::kDayNumberOf15821014);
}

TEST_F(Spss, BlankIfZeroEmptiesZerosOnly) {
  TOpenTable t("I=I", {{TWriterValue(0)}, {TWriterValue(1)}});
  w.BlankIfZero = true;
  const TSav s = Run(t);
  EXPECT_EQ(s.Commands(), (std::vector<int>{255, 101, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Spss, NamesAreBuiltThenMadeUnique) {
  EXPECT_EQ(TZelExportToSPSS::VariableName("Total Sum", 1), "TOTAL_SU");
  EXPECT_EQ(TZelExportToSPSS::VariableName("2ND-NAME", 1), "V2ND_NAM");
  EXPECT_EQ(TZelExportToSPSS::VariableName("by", 1), "VBY");
  EXPECT_EQ(TZelExportToSPSS::VariableName("Zo\xC3\xAB.", 1), "ZO__");
  EXPECT_EQ(TZelExportToSPSS::VariableName("a$#@.b", 1), "A$#@.B");
  EXPECT_EQ(TZelExportToSPSS::VariableName("", 7), "V7");
  TOpenTable t("Amount=I,Amount2=I,Total Sum=I,Total_Sum=I,LongColumnName9=I,LongColumnName=I",
               {{TWriterValue(1), TWriterValue(3), TWriterValue(4), TWriterValue(5), TWriterValue(6), TWriterValue(7)}});
  // The same field twice.
  std::vector<TGridColumn> cols = t.Grid.Columns();
  cols.insert(cols.begin() + 1, cols[0]);
  t.Grid.SetColumns(cols);
  const TSav s = Run(t);
  std::vector<std::string> names;
  for (const auto& v : s.Vars) names.push_back(v.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"AMOUNT  ", "AMOUNT1 ", "AMOUNT2 ", "TOTAL_SU", "TOTAL_S1", "LONGCOLU",
                                             "LONGCOL1"}));
  // The titles are the labels.
  EXPECT_EQ(s.Vars[3].Label, "Total Sum");
}

TEST_F(Spss, TextIsInTheCodePageTheFileNames) {
  TOpenTable t("S=A10", {{TWriterValue("Zo\xEB")}});
  t.Table.OnEncode = MakeUtf8Encoder(1252);
  TSav s = Run(t);
  EXPECT_EQ(s.Data.substr(8, 8), "Zo\xEB     ");
  ASSERT_EQ(s.IntegerInfo.size(), 8u);
  EXPECT_EQ(s.IntegerInfo[7], 1252);
  EXPECT_EQ(s.Encoding, "windows-1252");
  // Another code page: named, and "?" counted for what it lacks.
  w.CodePage = 1251;
  s = Run(t);
  EXPECT_EQ(s.Data.substr(8, 8), "Zo?     ");
  EXPECT_EQ(s.IntegerInfo[7], 1251);
  EXPECT_EQ(s.Encoding, "windows-1251");
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_EQ(TZelExportToSPSS::EncodingName(936), "GBK");
  EXPECT_EQ(TZelExportToSPSS::EncodingName(866), "IBM866");
  EXPECT_EQ(TZelExportToSPSS::CharacterCode(936), 54936);
}

TEST_F(Spss, StringWidthIsOneAndTheSameInDictionaryAndData) {
  TOpenTable t("S=A30,M=M10,Y=Y4", {{TWriterValue("x"), TWriterValue(std::string(300, 'm')), std::nullopt}});
  std::vector<TGridColumn> cols = t.Grid.Columns();
  cols[0].Width = 0;    // no width: the field's size
  cols[1].Width = 400;  // beyond a string: 255
  t.Grid.SetColumns(cols);
  const TSav s = Run(t);
  ASSERT_EQ(s.Vars.size(), 3u);
  EXPECT_EQ(s.Vars[0].Type, 30);
  EXPECT_EQ(s.Vars[1].Type, 255);
  EXPECT_EQ(s.Vars[2].Type, 8);  // hex of 4 bytes
  EXPECT_EQ(s.ValuesPerCase(), 4 + 32 + 1);
  EXPECT_EQ(s.Continuations, 3 + 31 + 0);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);  // the memo cut to 255
}

TEST_F(Spss, TitleHeaderAndFooterRowsAreNoCases) {
  TOpenTable t("A=I", {{TWriterValue(1)}, {TWriterValue(2)}});
  w.AddTitle = true;
  w.Options.Include(soBlankRowAfterCaptions);
  w.Header = {"header"};
  w.Footer = {"footer"};
  const TSav s = Run(t);
  EXPECT_EQ(s.Cases(), 2);
  EXPECT_EQ(s.Commands(), (std::vector<int>{101, 102, 0, 0, 0, 0, 0, 0}));
}

struct SpssFiles : Spss {
  std::string dir;
  void SetUp() override {
    Spss::SetUp();
    dir = TempDir();
  }
  void Execute(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    w.FileName = dir + "/out.sav";
    w.Execute();
  }
};

TEST_F(SpssFiles, ACancelledRunLeavesNoFile) {
  TOpenTable t("A=I", {{TWriterValue(1)}, {TWriterValue(2)}, {TWriterValue(3)}, {TWriterValue(4)}});
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++n == 3; };
  Execute(t);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_TRUE(FolderEntries(dir).empty());
}

TEST_F(SpssFiles, EachSplitFileCountsItsOwnCases) {
  TOpenTable t("A=I", {{TWriterValue(1)}, {TWriterValue(2)}, {TWriterValue(3)}});
  w.RowsPerFile = 2;
  Execute(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.sav", "out001.sav"}));
  const TSav a(ReadFile(dir + "/out.sav")), b(ReadFile(dir + "/out001.sav"));
  EXPECT_EQ(a.Cases(), 2);
  EXPECT_EQ(a.Commands(), (std::vector<int>{101, 102, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(b.Cases(), 1);
  EXPECT_EQ(b.Commands(), (std::vector<int>{103, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(b.Data.substr(8), kEnd);
}

}  // namespace
}  // namespace korvane::test

namespace korvane::test {
namespace {

TEST_F(Spss, AHandlersTextIsReadAsANumberOrWrittenMissingAndCounted) {
  TOpenTable t("N=N,L=L,D=D", {{TWriterValue(3.5), TWriterValue(true), TWriterValue(PdxDayNumber(2024, 1, 31))}});
  w.DataFormats.DecimalSeparator = ',';
  w.DataFormats.ThousandSeparator = '.';
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* field, std::string& text, TFontSpec&, TAlignment&,
                          TColor&, TCellType&) {
    if (!field) return;
    if (field->FieldName() == "N") text = "1.234,5";
    if (field->FieldName() == "L") text = "False";
    if (field->FieldName() == "D") text = "tomorrow";
  };
  const TSav s = Run(t);
  // 1234.5 whole, false compressed as 0, the date missing.
  EXPECT_EQ(s.Commands(), (std::vector<int>{253, 100, 255, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.Slot(8), 1234.5);
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  EXPECT_NE(w.Statistic.Message.find("1 cell texts given by the OnGetCellParams handler"), std::string::npos)
      << w.Statistic.Message;
}

}  // namespace
}  // namespace korvane::test
