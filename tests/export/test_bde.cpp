// Paradox table target: new tables keep the source's fields, values, file version,
// block size, language driver and auto-increment values; appending rewrites the
// table with the new records after the old ones; refusals and failures leave the
// table as it was; the dBase table type goes through the dBase writer.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/pdxwriter.h"
#include "export/ZelEFormats.h"
#include "export/formats/ZelE2BDE.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

// Every record of a table as dump writes it, one line each.
std::vector<std::string> Records(const std::string& path) {
  TPdx t;
  t.SetTableName(path);
  t.Open();
  std::vector<std::string> out;
  alignas(8) char buf[kAlphaBufferSize + 8];
  for (t.First(); !t.Eof(); t.Next()) {
    std::string line;
    for (int i = 0; i < t.FieldCount(); ++i) {
      if (i) line += '|';
      const TField& f = t.Fields(i);
      if (f.IsBlob()) {
        line += f.BlobData();
      } else if (f.GetData(buf)) {
        AppendValueText(line, f, buf);
      }
    }
    out.push_back(line);
  }
  return out;
}

// A table file opened with a grid over it.
struct TOpened {
  TPdx Table;
  TDataSource Source;
  TGridColumns Grid;
  explicit TOpened(const std::string& path) {
    Table.SetTableName(path);
    Table.Open();
    Source.SetDataSet(&Table);
    Grid.SetDataSource(&Source);
    Grid.RebuildFromFields();
  }
};

struct Bde : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
  }
  // Exports the table's grid into path.
  template <class T>
  void Run(T& t, const std::string& path) {
    w.DBGrid = &t.Grid;
    w.FileName = path;
    w.Execute();
  }
  TZelExportToBDE w;
  TRecordingServices services;
};

TEST_F(Bde, NewTableKeepsTheSourcesFieldsVersionBlockSizeLanguageAndValues) {
  TPdxWriterOptions o;
  o.FileVersion = 10;
  o.BlockSizeKB = 4;
  o.Language = TPdxLanguageDriver::Cyrillic866();
  const std::vector<TPdxWriterField> fields = {{"Name", pdxtype::kAlpha, 12}, {"Count", pdxtype::kShort, 0},
                                               {"Big", pdxtype::kLong, 0},    {"Price", pdxtype::kCurrency, 0},
                                               {"Ratio", pdxtype::kNumber, 0}, {"Day", pdxtype::kDate, 0},
                                               {"At", pdxtype::kTime, 0},      {"Stamp", pdxtype::kTimestamp, 0},
                                               {"Ok", pdxtype::kLogical, 0},   {"Exact", pdxtype::kBcd, 4},
                                               {"Raw", pdxtype::kBytes, 3},    {"Note", pdxtype::kMemo, 20},
                                               {"Pic", pdxtype::kBlob, 10}};
  const std::string memo(300, 'm');
  const std::vector<TWriterRow> rows = {
      {TWriterValue("\x8F\xE0\xA8\xA2\xA5\xE2"), TWriterValue(-7), TWriterValue(123456789), TWriterValue(12.5),
       TWriterValue(0.1), TWriterValue(PdxDayNumber(1999, 12, 31)), TWriterValue(PdxTimeOfDay(23, 59, 59, 999)),
       TWriterValue(PdxTimestamp(2024, 2, 29, 12, 0, 0, 5)), TWriterValue(true), TWriterValue(PdxBcdFromString("-12.3456")),
       TWriterValue(std::string("\0\x01\xFF", 3)), TWriterValue(memo), TWriterValue(std::string("\x01\x02\0\x03", 4))},
      TWriterRow(13, std::nullopt)};
  const std::string src = MakeTable(fields, rows, o, "src.db");
  TOpened t(src);
  TPdx& source = t.Table;
  const std::string out = Folder(src) + "/copy.db";
  Run(t, out);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(w.Statistic.TotalErrors, 0);
  EXPECT_EQ(w.Statistic.TotalCount, 2);

  TPdx copy;
  copy.SetTableName(out);
  copy.Open();
  EXPECT_EQ(copy.Header().FileVersion(), 10);
  EXPECT_EQ(copy.Header().BlockSizeKB(), 4);
  EXPECT_EQ(copy.Header().SortOrder(), 0xC0);
  EXPECT_EQ(copy.Header().DosCodePage(), 866);
  EXPECT_EQ(copy.SortOrderName(), "cyrr");
  ASSERT_EQ(copy.FieldCount(), source.FieldCount());
  for (int i = 0; i < copy.FieldCount(); ++i) {
    EXPECT_EQ(copy.FieldDefs()[static_cast<size_t>(i)].Name, source.FieldDefs()[static_cast<size_t>(i)].Name);
    EXPECT_EQ(copy.FieldInfo()[static_cast<size_t>(i)].Type, source.FieldInfo()[static_cast<size_t>(i)].Type);
    EXPECT_EQ(copy.FieldInfo()[static_cast<size_t>(i)].Size, source.FieldInfo()[static_cast<size_t>(i)].Size);
  }
  copy.Close();
  source.Close();
  EXPECT_EQ(Records(out), Records(src));
  EXPECT_EQ(w.Statistic.FilesWritten.size(), 2u);  // the table and its memo file
}

TEST_F(Bde, NewTableKeepsAutoIncrementValuesAndGoesOnAfterTheLargest) {
  TPdxWriterOptions o;
  o.AutoIncValue = 40;  // numbers up to 40 were given out before
  const std::string src = MakeTable("Id=+,Name=A10",
                                    {{TWriterValue(5), TWriterValue("e")}, {TWriterValue(3), TWriterValue("c")},
                                     {TWriterValue(9), TWriterValue("i")}},
                                    o, "src.db");
  TOpened t(src);
  const std::string out = Folder(src) + "/copy.db";
  Run(t, out);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(Records(out), (std::vector<std::string>{"5|e", "3|c", "9|i"}));
  TPdx copy;
  copy.SetTableName(out);
  copy.Open();
  EXPECT_EQ(copy.Header().AutoIncValue(), 40u);
}

TEST_F(Bde, AppendingRewritesTheTableMatchingByNameThenPositionAndNumbersNewRecords) {
  // The existing table: fields in another order, an auto-increment field no column fills.
  const std::string dir = Folder(MakeTable("A=A5", {}, {}, "dummy.db"));
  const std::string target = dir + "/t.db";
  TPdxWriterOptions o;
  o.AutoIncValue = 7;
  TPdxWriter::Write(target, {{"Qty", pdxtype::kLong, 0}, {"Id", pdxtype::kAutoInc, 0}, {"Other", pdxtype::kAlpha, 10}},
                    {{TWriterValue(1), TWriterValue(7), TWriterValue("old")}}, o);
  // Source columns: Qty (by name, field 1), Name (no such field: the field at its
  // position, 2, which is Id, an auto-increment the table fills), Price (position 3: Other).
  TOpenTable t(kThreeSpec, ThreeRows());
  std::vector<TGridColumn> cols = t.Grid.Columns();
  std::swap(cols[0], cols[1]);  // Qty, Name, Price
  t.Grid.SetColumns(cols);
  w.Options.Include(soMergeData);
  Run(t, target);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(Records(target),
            (std::vector<std::string>{"1|7|old", "3|8|1.5", "0|9|2.25", "|10|-4"}));
  TPdx table;
  table.SetTableName(target);
  table.Open();
  EXPECT_EQ(table.Header().AutoIncValue(), 10u);
}

TEST_F(Bde, TwoColumnsForOneFieldFailBeforeTheFirstRecordNamingTheSecond) {
  const std::string dir = Folder(MakeTable("A=A5", {}, {}, "dummy.db"));
  const std::string target = dir + "/t.db";
  TPdxWriter::Write(target, {{"Price", pdxtype::kNumber, 0}, {"Name", pdxtype::kAlpha, 10}},
                    {{TWriterValue(1.0), TWriterValue("old")}});
  const std::string before = FileBytes(target);
  // Name fills field 2 by name; Qty has no field of its name and falls on field 2 by position.
  TOpenTable t(kThreeSpec, ThreeRows());
  w.Options.Include(soMergeData);
  Run(t, target);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("\"Qty\""), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("No record was written"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(FileBytes(target), before);
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"dummy.db", "t.db"}));
}

TEST_F(Bde, CancelledOrFailedRunsLeaveTheTableAsItWas) {
  const std::string dir = Folder(MakeTable("A=A5", {}, {}, "dummy.db"));
  const std::string target = dir + "/t.db";
  TPdxWriter::Write(target, {{"Name", pdxtype::kAlpha, 10}, {"Qty", pdxtype::kLong, 0}, {"Price", pdxtype::kNumber, 0}},
                    {{TWriterValue("old"), TWriterValue(1), TWriterValue(2.0)}});
  const std::string before = FileBytes(target);
  TOpenTable t(kThreeSpec, ThreeRows());
  // Cancelled at the second record, appending and replacing.
  for (bool merge : {true, false}) {
    w.Options.Set(soMergeData, merge);
    w.OnProgress = [](TZelECustomBaseComponent&, int cur, int, bool& abort) { abort = cur == 1; };
    Run(t, target);
    EXPECT_EQ(w.Statistic.Result, erCanceled);
    EXPECT_EQ(FileBytes(target), before);
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"dummy.db", "t.db"}));
  }
  // Price 1.5 does not fit a long integer field: the run fails naming record and column.
  const std::string other = dir + "/u.db";
  TPdxWriter::Write(other, {{"Price", pdxtype::kLong, 0}}, {{TWriterValue(2)}});
  const std::string otherBefore = FileBytes(other);
  w.Columns.Add().FieldName = "Price";
  w.OnProgress = nullptr;
  w.Options.Include(soMergeData);
  Run(t, other);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("Record 1"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("\"Price\""), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(FileBytes(other), otherBefore);
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"dummy.db", "t.db", "u.db"}));
}

TEST_F(Bde, AppendingToAKeyedOrEncryptedTableIsRefused) {
  TOpenTable t(kThreeSpec, ThreeRows());
  w.Options.Include(soMergeData);
  // Key fields in the header.
  const std::string keyed = MakeTable(kThreeSpec, ThreeRows(), {}, "keyed.db");
  PatchBytes(keyed, 35, std::string(1, '\x01'));
  const std::string before = FileBytes(keyed);
  Run(t, keyed);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("keyed"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(FileBytes(keyed), before);
  // A primary index beside it, in any case.
  const std::string indexed = MakeTable(kThreeSpec, ThreeRows(), {}, "ix.db");
  std::ofstream(Folder(indexed) + "/IX.PX") << "index";
  Run(t, indexed);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("keyed"), std::string::npos) << w.Statistic.Message;
  // Encrypted: the header's encryption word set.
  const std::string enc = MakeTable(kThreeSpec, ThreeRows(), {}, "enc.db");
  PatchLe32(enc, 0x5C, 0x12345678);
  const std::string encBefore = FileBytes(enc);
  Run(t, enc);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("encrypted"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(FileBytes(enc), encBefore);
}

TEST_F(Bde, ReplacingATableRemovesItsIndexesChecksAndStaleMemoFile) {
  TOpenTable t(kThreeSpec, ThreeRows());
  const std::string dir = Folder(t.Path);
  const std::string target = dir + "/Old.DB";
  for (const char* side : {"Old.DB", "OLD.PX", "old.X02", "Old.YG0", "Old.VAL", "Old.MB", "Older.PX", "Old.txt"})
    std::ofstream(dir + "/" + side) << "old";
  EXPECT_EQ(TZelExportToBDE::TableSideFiles(target),
            (std::vector<std::string>{dir + "/OLD.PX", dir + "/Old.VAL", dir + "/Old.YG0", dir + "/old.X02"}));
  Run(t, target);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"Old.DB", "Old.txt", "Older.PX", "t.db"}));
  EXPECT_EQ(Records(target), Records(t.Path));
}

TEST_F(Bde, TextGoesIntoTheCodePageAskedForAndMissingCharactersAreCounted) {
  // cp1252 text: "Grüße €"; code page 850 has ü and ß but no euro sign.
  TOpenTable t("Name=A20,Note=M30", {{TWriterValue("Gr\xFC\xDF" "e \x80"), TWriterValue("\xFC")}});
  auto decoder = TTextDecoder::For(1252);
  t.Table.OnEncode = [decoder](TDataSet&, const TField&, const std::string& s) {
    return decoder->Decode(s, DecodeMode::Replace);
  };
  w.CodePage = 850;
  const std::string out = Folder(t.Path) + "/cp.db";
  Run(t, out);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(w.Statistic.TotalErrors, 1);
  ASSERT_EQ(w.Statistic.Notes.size(), 1u);
  EXPECT_NE(w.Statistic.Notes[0].find("code page 850"), std::string::npos);
  TPdx copy;
  copy.SetTableName(out);
  copy.Open();
  EXPECT_EQ(copy.Header().DosCodePage(), 850);
  EXPECT_EQ(copy.SortOrderName(), "intl850");
  copy.Close();
  EXPECT_EQ(Records(out), (std::vector<std::string>{"Gr\x81\xE1" "e ?|\x81"}));
}

TEST_F(Bde, ConstantAndSystemVariableColumnsBecomeFieldsOfTheirOwn) {
  TOpenTable t(kThreeSpec, ThreeRows());
  TZelEColumn& name = w.Columns.Add();
  name.FieldName = "Name";
  TZelEColumn& k = w.Columns.Add();
  k.ColumnKind = ckConstant;
  k.FieldName = "Gr\xC3\xBC\xC3\x9F" "e";  // UTF-8: into the table's code page 437 as well
  k.Width = 8;
  TZelEColumn& row = w.Columns.Add();
  row.ColumnKind = ckSysVar;
  row.FieldName = "ROWNO";
  row.DataType = ctInteger;
  const std::string out = Folder(t.Path) + "/k.db";
  Run(t, out);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  ASSERT_EQ(w.TargetFields().size(), 3u);
  EXPECT_EQ(w.TargetFields()[1].Def.Type, pdxtype::kAlpha);
  EXPECT_EQ(w.TargetFields()[1].Def.Size, 8);
  EXPECT_EQ(w.TargetFields()[2].Def.Type, pdxtype::kLong);
  EXPECT_EQ(w.TargetFields()[1].Def.Name, "Gr\x81\xE1" "e");
  EXPECT_EQ(Records(out), (std::vector<std::string>{"apple|Gr\x81\xE1" "e|1", "pear|Gr\x81\xE1" "e|2",
                                                    "plum|Gr\x81\xE1" "e|3"}));
}

TEST_F(Bde, TableTypesDBaseWritesThroughTheDBaseWriterFoxProAndAsciiAreRefused) {
  EXPECT_EQ(TZelExportToBDE::ResolveTableType(ttDefault, "a/b.dbf"), ttDBase);
  EXPECT_EQ(TZelExportToBDE::ResolveTableType(ttDefault, "a/b.TXT"), ttASCII);
  EXPECT_EQ(TZelExportToBDE::ResolveTableType(ttDefault, "a/b.db"), ttParadox);
  EXPECT_EQ(TZelExportToBDE::ResolveTableType(ttDBase, "a/b.db"), ttDBase);
  TOpenTable t(kThreeSpec, ThreeRows());
  const std::string dir = Folder(t.Path);
  w.SetBDETableType(ttDBase);
  Run(t, dir + "/d.dbf");
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  const std::string dbf = FileBytes(dir + "/d.dbf");
  ASSERT_GT(dbf.size(), 8u);
  EXPECT_EQ(dbf[0], '\x03');
  EXPECT_EQ(dbf[4], '\x03');  // three records
  // Appending to a dBase table is refused before anything is written.
  w.Options.Include(soMergeData);
  Run(t, dir + "/d.dbf");
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(FileBytes(dir + "/d.dbf"), dbf);
  w.Options.Exclude(soMergeData);
  for (TBDETableType type : {ttFoxPro, ttASCII}) {
    w.SetBDETableType(type);
    Run(t, dir + "/x.out");
    EXPECT_EQ(w.Statistic.Result, erFailed);
    EXPECT_NE(w.Statistic.Message.find(type == ttFoxPro ? "FoxPro" : "ASCII"), std::string::npos);
  }
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"d.dbf", "t.db"}));
}

TEST_F(Bde, TheFormatTableOffersTheTargetWithItsTableTypeSetting) {
  const TZelEFormat& f = ExportFormat(teParadox);
  ASSERT_TRUE(f.Built());
  auto writer = f.Create();
  EXPECT_NE(dynamic_cast<TZelExportToBDE*>(writer.get()), nullptr);
  TZelEFormatSettingsSet set;
  TZelEFormatSettings* s = set.Of(teParadox);
  ASSERT_NE(s, nullptr);
  s->Set("BDETableType", "dbase", true);
  EXPECT_EQ(set.Get<TZelEBDESettings>(teParadox).TableType, ttDBase);
}

}  // namespace
}  // namespace korvane::test
