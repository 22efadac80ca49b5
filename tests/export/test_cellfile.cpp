// The cell-file writer base and the run loop, seen through a writer that logs
// every call: files and their names, layouts, title rows, character sets,
// cancelling, selected rows, statistics and the failure paths of a run.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "export/ZelEEngDB.h"
#include "export_test_util.h"
#include "platform/textcodec.h"

namespace korvane::test {
namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

std::vector<TWriterRow> Rows(int n) {
  std::vector<TWriterRow> rows;
  for (int i = 1; i <= n; ++i)
    rows.push_back({TWriterValue("r" + std::to_string(i)), TWriterValue(i), TWriterValue(i + 0.5)});
  return rows;
}

struct CellFile : ::testing::Test {
  explicit CellFile(int records = -1)
      : t(kThreeSpec, records < 0 ? ThreeRows() : Rows(records)) {}
  void SetUp() override {
    dir = TempDir();
    w.SetServices(&services);
    w.AnimatedStatus = false;
    w.DBGrid = &t.Grid;
    w.FileName = dir + "/out.txt";
  }
  TOpenTable t;
  TRecordingWriter w;
  TRecordingServices services;
  std::string dir;
};

struct CellFileFive : CellFile {
  CellFileFive() : CellFile(5) {}
};

TEST(CellFileNames, SplitNamesNumberBeforeTheExtension) {
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("ZelExport.TXT", 0), "ZelExport.TXT");
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("ZelExport.TXT", 1), "ZelExport001.TXT");
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("ZelExport.TXT", 99), "ZelExport099.TXT");
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("ZelExport.TXT", 100), "ZelExport100.TXT");
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("ZelExport.TXT", 1234), "ZelExport1234.TXT");
  // A dot in a folder name is not an extension.
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("/home/j.smith/out", 2), "/home/j.smith/out002");
  EXPECT_EQ(TZelExportToCellFile::SplitFileName("/a/b.c.csv", 3), "/a/b.c003.csv");
}

TEST_F(CellFileFive, RowsPerFileSplitsIntoNumberedFilesEachComplete) {
  w.RowsPerFile = 2;
  w.AddTitle = true;
  w.Header = {"H"};
  w.Footer = {"F"};
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  const std::string top = "H|\nName|Qty|Price|\n";
  EXPECT_EQ(ReadFile(dir + "/out.txt"), top + "r1|1|1.5|\nr2|2|2.5|\nF|\n");
  EXPECT_EQ(ReadFile(dir + "/out001.txt"), top + "r3|3|3.5|\nr4|4|4.5|\nF|\n");
  EXPECT_EQ(ReadFile(dir + "/out002.txt"), top + "r5|5|5.5|\nF|\n");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.txt", "out001.txt", "out002.txt"}));
  EXPECT_EQ(w.Statistic.FilesWritten.size(), 3u);
  // Each file is told the rows that go into it.
  EXPECT_EQ(w.Lines("Dimension"), (std::vector<std::string>{"Dimension 3,4", "Dimension 3,4", "Dimension 2,4"}));
  // Rows are counted within each file.
  EXPECT_EQ(w.Lines("Data 2,0"), (std::vector<std::string>{"Data 2,0 3F 'r1'", "Data 2,0 3F 'r3'", "Data 2,0 3F 'r5'"}));
}

TEST_F(CellFileFive, OnGetFileNameNamesEachFile) {
  w.RowsPerFile = 2;
  std::vector<int> numbers;
  w.OnGetFileName = [&](TZelECustomBaseComponent&, int n, std::string& name) {
    numbers.push_back(n);
    name = dir + "/part-" + std::to_string(n) + ".txt";
  };
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"part-0.txt", "part-1.txt", "part-2.txt"}));
  EXPECT_EQ(ReadFile(dir + "/part-2.txt"), "r5|5|5.5|\n");
}

TEST_F(CellFileFive, NoSplitWithoutRowsPerFileOrWithACallersStream) {
  w.Execute();
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.txt"}));

  TRecordingWriter s;
  s.DBGrid = &t.Grid;
  s.AnimatedStatus = false;
  s.RowsPerFile = 2;
  s.FileName = dir + "/other.txt";
  TZelEStringStream out;
  s.ExportToStream(&out);
  EXPECT_EQ(s.Statistic.Result, erCompleted);
  EXPECT_EQ(out.Data(), "r1|1|1.5|\nr2|2|2.5|\nr3|3|3.5|\nr4|4|4.5|\nr5|5|5.5|\n");
  EXPECT_EQ(s.Lines("CreateFile "), std::vector<std::string>{"CreateFile 0"});
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.txt"}));
}

TEST_F(CellFile, ColumnarTitlesAndBlankRowPutTheFirstRecordAfterThem) {
  w.AddTitle = true;
  w.Options.Include(soBlankRowAfterCaptions);
  w.Header = {"H"};
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Lines("Data 1,"), (std::vector<std::string>{"Data 1,0 3 'Name'", "Data 1,1 3 'Qty'", "Data 1,2 3 'Price'"}));
  EXPECT_EQ(w.Lines("Data 2,"), (std::vector<std::string>{"Data 2,0 0 ''", "Data 2,1 0 ''", "Data 2,2 0 ''"}));
  EXPECT_EQ(w.Lines("Data 3,0"), (std::vector<std::string>{"Data 3,0 3F 'apple'"}));
  EXPECT_EQ(w.Lines("Data 0,"), (std::vector<std::string>{"Data 0,1 3 'H'"}));
  // Integer cells are typed, the null one too; a float is a double.
  EXPECT_EQ(w.Lines("Data 3,1"), (std::vector<std::string>{"Data 3,1 1F '3'"}));
  EXPECT_EQ(w.Lines("Data 5,1"), (std::vector<std::string>{"Data 5,1 1F ''"}));
  EXPECT_EQ(w.Lines("Data 3,2"), (std::vector<std::string>{"Data 3,2 2F '1.5'"}));
}

TEST_F(CellFile, ReversedColumnarPutsEachRecordInAColumn) {
  w.Layout = elReversedColumnar;
  w.AddTitle = true;
  TZelEStringStream out;
  w.ExportToStream(&out);
  std::vector<std::string> data = w.Lines("Data");
  EXPECT_EQ(data[0], "Data 0,0 3 'Name'");
  EXPECT_EQ(data[3], "Data 0,1 3F 'apple'");
  EXPECT_EQ(data[4], "Data 1,1 1F '3'");
  EXPECT_EQ(data[11], "Data 2,3 2F '-4'");
  // Three columns by (titles + 3 records) rows, every column as wide as the widest.
  EXPECT_EQ(w.Lines("Dimension"), (std::vector<std::string>{"Dimension 3,5"}));
  EXPECT_EQ(w.Lines("Width").size(), 5u);
  EXPECT_EQ(w.Lines("Width")[0], "Width 0=11");
}

TEST_F(CellFile, TabularFormWritesOneRowPerFieldWithTitleAndValue) {
  w.Layout = elTabularForm;
  w.AddTitle = true;
  t.Grid.At(2).Visible = false;  // two exported columns
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Lines("Data"), (std::vector<std::string>{"Data 0,0 3 'Name'", "Data 0,1 3F 'apple'",
                                                       "Data 1,0 3 'Qty'", "Data 1,1 1F '3'",
                                                       "Data 2,0 3 'Name'", "Data 2,1 3F 'pear'",
                                                       "Data 3,0 3 'Qty'", "Data 3,1 1F '0'",
                                                       "Data 4,0 3 'Name'", "Data 4,1 3F 'plum'",
                                                       "Data 5,0 3 'Qty'", "Data 5,1 1F ''"}));
  EXPECT_EQ(w.Lines("EndRow").size(), 6u);
}

TEST_F(CellFileFive, TabularRowCounterRestartsInEveryFile) {
  w.Layout = elTabularForm;
  w.RowsPerFile = 2;
  w.Header = {"H"};
  t.Grid.At(1).Visible = false;
  t.Grid.At(2).Visible = false;
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  // One value per record; after the header line the rows of each file count from 1.
  EXPECT_EQ(w.Lines("Data 1,0"), (std::vector<std::string>{"Data 1,0 3F 'r1'", "Data 1,0 3F 'r3'", "Data 1,0 3F 'r5'"}));
  EXPECT_EQ(w.Lines("Data 2,0"), (std::vector<std::string>{"Data 2,0 3F 'r2'", "Data 2,0 3F 'r4'"}));
}

TEST_F(CellFile, EbcdicConvertsTitlesDataHeaderAndFooter) {
  TOpenTable e("Name=A10", {{TWriterValue("AZ09")}});
  w.DBGrid = &e.Grid;
  e.Grid.At(0).Title.Caption = "AZ09";
  w.AddTitle = true;
  w.Header = {"AZ09"};
  w.Footer = {"az!"};
  w.CharacterSet = csEBCDIC;
  TZelEStringStream out;
  w.ExportToStream(&out);
  const std::string ebc = "\xC1\xE9\xF0\xF9";
  EXPECT_EQ(out.Data(), ebc + "|\n" + ebc + "|\n" + ebc + "|\n" + "\x81\xA9\x5A|\n");
  // Bytes 0..31 stay; bytes from 127 on become 4Bh.
  EXPECT_EQ(AsciiToEbcdic(0x0D), 0x0D);
  EXPECT_EQ(AsciiToEbcdic(0x7F), 0x4B);
  EXPECT_EQ(AsciiToEbcdic(0xFF), 0x4B);
  EXPECT_EQ(ConvertCharacterSet("\xC3\xA9x", csEBCDIC, ""), "\x4B\xA7");  // one byte per character
}

TEST_F(CellFile, OemCharacterSetConvertsEveryKindOfCell) {
  TOpenTable e("Name=A10", {{TWriterValue("caf\xE9")}});
  e.Table.OnEncode = MakeUtf8Encoder(1252);
  w.DBGrid = &e.Grid;
  e.Grid.At(0).Title.Caption = "\xC3\xA9t\xC3\xA9";  // "été" in UTF-8
  w.AddTitle = true;
  w.Header = {"\xC3\xA9"};
  w.Footer = {"\xE2\x82\xAC"};  // the euro sign is not in code page 437
  w.CharacterSet = csASCII_MSDOS;
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(out.Data(), "\x82|\n\x82t\x82|\ncaf\x82|\n?|\n");
}

TEST_F(CellFile, AbortOnTheThirdRecordKeepsThreeRecordsInAStream) {
  TOpenTable five(kThreeSpec, Rows(5));
  w.DBGrid = &five.Grid;
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++n == 3; };
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(w.Statistic.Message, "Data export was canceled by user.");
  EXPECT_EQ(out.Data(), "r1|1|1.5|\nr2|2|2.5|\nr3|3|3.5|\n");
}

TEST_F(CellFile, CancelledRunLeavesTheEarlierFileAndNoTemporaryFile) {
  WriteFile(dir + "/out.txt", "earlier\n");
  w.ActionAfterExport = aeOpenView;
  int n = 0;
  w.OnAfterRecord = [&](TZelECustomBaseComponent&, bool& abort) { abort = ++n == 2; };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "earlier\n");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.txt"}));
  EXPECT_TRUE(w.Statistic.FilesWritten.empty());
  EXPECT_EQ(services.ShellOpens, 0);
}

TEST_F(CellFile, FileAppearsOnlyWhenTheRunCompletes) {
  WriteFile(dir + "/out.txt", "earlier\n");
  bool checked = false;
  w.OnCell = [&](int, int, const std::string&) {
    if (checked) return;
    checked = true;
    EXPECT_EQ(ReadFile(dir + "/out.txt"), "earlier\n");
  };
  w.Execute();
  EXPECT_TRUE(checked);
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "apple|3|1.5|\npear|0|2.25|\nplum||-4|\n");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.txt"}));
}

TEST_F(CellFile, MergeAppendsInPlaceAndAFailedMergeRestoresTheLength) {
  WriteFile(dir + "/out.txt", "earlier\n");
  w.Appendable = true;
  w.Options.Include(soMergeData);
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_TRUE(w.Merged());
  const std::string once = "earlier\napple|3|1.5|\npear|0|2.25|\nplum||-4|\n";
  EXPECT_EQ(ReadFile(dir + "/out.txt"), once);

  w.OnCell = [](int, int, const std::string& text) {
    if (text == "pear") throw EZelExportError("disk full");
  };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(w.Statistic.Message, "Error in data export.: disk full");
  EXPECT_EQ(ReadFile(dir + "/out.txt"), once);
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"out.txt"}));

  // A format that cannot append writes the file anew.
  w.OnCell = nullptr;
  w.Appendable = false;
  w.Execute();
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "apple|3|1.5|\npear|0|2.25|\nplum||-4|\n");
}

TEST_F(CellFile, TheTableBeingReadIsNeverTheOutput) {
  const std::string before = ReadFile(t.Path);
  w.FileName = t.Path;
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("is the table being exported"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(ReadFile(t.Path), before);
}

TEST_F(CellFile, DevicesAreWrittenInPlaceNotReplaced) {
  struct stat st;
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  w.FileName = "/dev/null";
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  struct stat after;
  ASSERT_EQ(::stat("/dev/null", &after), 0);
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(after.st_ino, st.st_ino);
  // Named as given: no extension is added to a device's name.
  EXPECT_EQ(w.Statistic.FilesWritten, std::vector<std::string>{"/dev/null"});
  // A folder is refused.
  ::mkdir((dir + "/d.txt").c_str(), 0777);
  w.FileName = dir + "/d.txt";
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
}

TEST_F(CellFile, SelectedRowsFollowTheBookmarkListAndTheCursorComesBack) {
  t.Table.First();
  t.Table.Next();  // record 2 is current
  t.Grid.SetSelectedRows({3, 1});
  w.SelectedRecord = true;
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(out.Data(), "plum||-4|\napple|3|1.5|\n");
  EXPECT_EQ(t.Table.RecNo(), 2);
  EXPECT_EQ(w.Statistic.TotalCount, 2);

  // No selected rows: the current record is the selection.
  t.Grid.SetSelectedRows({});
  TZelEStringStream current;
  w.ExportToStream(&current);
  EXPECT_EQ(current.Data(), "pear|0|2.25|\n");
  EXPECT_EQ(w.Statistic.Result, erCompleted);
  EXPECT_EQ(t.Table.RecNo(), 2);

  // The dataset engine exports the current record only.
  w.ColumnSource = csDataSet;
  w.DataSet = &t.Table;
  TZelEStringStream one;
  w.ExportToStream(&one);
  EXPECT_EQ(one.Data(), "pear|0|2.25|\n");
}

TEST_F(CellFile, RunStatisticsAndProgressEvents) {
  w.Header = {"a", "b"};
  w.Footer = {"z"};
  w.AddTitle = true;
  std::vector<std::string> progress;
  w.OnProgress = [&](TZelECustomBaseComponent&, int cur, int max, bool&) {
    progress.push_back(std::to_string(cur) + "/" + std::to_string(max));
  };
  int before = 0, after = 0;
  w.OnBeforeExecute = [&](TZelECustomBaseComponent&) { ++before; };
  w.OnAfterExecute = [&](TZelECustomBaseComponent&) { ++after; };
  w.OnBeforeRecord = [](TZelECustomBaseComponent& c, bool& accept) {
    accept = static_cast<TZelExportBaseComponent&>(c).Engine()->GetDataset()->RecNo() != 2;
  };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCompleted);
  EXPECT_EQ(w.Statistic.TotalCount, 2 + 1 + 3 + 1);
  EXPECT_EQ(w.Statistic.RecordsExported, 2);
  EXPECT_EQ(progress, (std::vector<std::string>{"0/3", "1/3", "3/3"}));
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(w.Statistic.Message, "The " + dir + "/out.txt file was successfully generated with exported data.");
  EXPECT_EQ(w.Statistic.FilesWritten, std::vector<std::string>{dir + "/out.txt"});
  // Columns filled from the grid do not outlive the run.
  EXPECT_EQ(w.Columns.Count(), 0);
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "a|\nb|\nName|Qty|Price|\napple|3|1.5|\nplum||-4|\nz|\n");
}

TEST_F(CellFile, ProgressAbortCancelsBeforeTheRecord) {
  w.OnProgress = [](TZelECustomBaseComponent&, int cur, int, bool& abort) { abort = cur == 1; };
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(out.Data(), "apple|3|1.5|\n");
}

// An engine that counts what the run asked of it and can fail on request.
class TCountingEngine : public TZelEDatasetDataEngine {
 public:
  using TZelEDatasetDataEngine::TZelEDatasetDataEngine;
  int Disabled = 0, Enabled = 0;
  bool FailFill = false;
  void DisableControls() override { ++Disabled; }
  void EnableControls() override { ++Enabled; }
  void FillColumns(TZelEColumns& c, TZelEColumnBands& b, bool rtl) override {
    if (FailFill) throw EZelExportError("no columns today");
    TZelEDatasetDataEngine::FillColumns(c, b, rtl);
  }
};

TEST_F(CellFile, FailedBeginUndoesOnlyTheStepsItDid) {
  // Fails before anything was changed: no cursor, no controls, user columns stay.
  w.ColumnSource = csDataSet;
  w.DataSet = nullptr;
  w.Columns.Add().FieldName = "Name";
  int after = 0;
  w.OnAfterExecute = [&](TZelECustomBaseComponent&) { ++after; };
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(w.Statistic.Message, "Error in data export.: Property Dataset is not specified.");
  EXPECT_EQ(services.BusyOn + services.BusyOff, 0);
  EXPECT_EQ(w.Columns.Count(), 1);
  EXPECT_EQ(after, 1);
  EXPECT_FALSE(Exists(dir + "/out.txt"));

  // Fails after controls and cursor were taken: both are given back once.
  TCountingEngine engine(&t.Table);
  engine.FailFill = true;
  w.Columns.Clear();
  w.ColumnSource = csDataEngine;
  w.DataEngine = &engine;
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(engine.Disabled, 1);
  EXPECT_EQ(engine.Enabled, 1);
  EXPECT_EQ(services.BusyOn, 1);
  EXPECT_EQ(services.BusyOff, 1);
  EXPECT_EQ(w.Statistic.Message, "Error in data export.: no columns today");
}

TEST_F(CellFile, NoRecordsWithoutExportIfEmptyWritesNothingAndOpensNothing) {
  TOpenTable empty(kThreeSpec, {});
  w.DBGrid = &empty.Grid;
  w.ExportIfEmpty = false;
  w.AddTitle = true;
  w.ActionAfterExport = aeOpenView;
  WriteFile(dir + "/out.txt", "earlier\n");
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCompleted);
  EXPECT_NE(w.Statistic.Message.find("no records"), std::string::npos) << w.Statistic.Message;
  EXPECT_TRUE(w.Statistic.FilesWritten.empty());
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "earlier\n");
  EXPECT_EQ(services.ShellOpens, 0);
  EXPECT_TRUE(w.Lines("CreateFile").empty());

  // With ExportIfEmpty the file holds the titles and is opened.
  w.ExportIfEmpty = true;
  w.Execute();
  EXPECT_EQ(w.Statistic.Result, erCompleted);
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "Name|Qty|Price|\n");
  EXPECT_EQ(services.ShellOpens, 1);
  // The file was written, but the run does not call that a success with data.
  EXPECT_EQ(w.Statistic.Message, "No record was exported: the " + dir + "/out.txt file holds no records.");
}

TEST_F(CellFile, CallersStreamRunStillEndsAfterAnException) {
  int after = 0;
  w.OnAfterExecute = [&](TZelECustomBaseComponent&) { ++after; };
  w.OnCell = [](int, int, const std::string& text) {
    if (text == "pear") throw EZelExportError("broken cell");
  };
  TZelEStringStream out;
  EXPECT_NO_THROW(w.ExportToStream(&out));
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_EQ(w.Statistic.Message, "Error in data export.: broken cell");
  EXPECT_EQ(after, 1);
  EXPECT_EQ(services.BusyOn, services.BusyOff);
  EXPECT_EQ(w.Columns.Count(), 0);
  EXPECT_EQ(w.Engine(), nullptr);
}

TEST_F(CellFileFive, RowAndColumnNumbersCountDataRowsAndOutputColumns) {
  w.Header = {"H"};
  w.AddTitle = true;
  w.Options.Include(soBlankRowAfterCaptions);
  w.RowsPerFile = 3;
  auto add = [&](const char* name, TZelEColumnKind kind, bool visible = true) {
    TZelEColumn& c = w.Columns.Add();
    c.FieldName = name;
    c.ColumnKind = kind;
    c.Visible = visible;
    c.Title.Caption = name;
  };
  add("Name", ckField);
  add("ROWNO", ckSysVar);
  add("Qty", ckField, false);
  add("colno", ckSysVar);
  add("COUNT", ckSysVar);
  add("GENERATOR", ckSysVar);
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  const std::string top = "H|\nName|ROWNO|colno|COUNT|GENERATOR|\n|||||\n";
  EXPECT_EQ(ReadFile(dir + "/out.txt"),
            top + "r1|1|3|8|ZelExport 4.99|\nr2|2|3|8|ZelExport 4.99|\nr3|3|3|8|ZelExport 4.99|\n");
  EXPECT_EQ(ReadFile(dir + "/out001.txt"), top + "r4|1|3|8|ZelExport 4.99|\nr5|2|3|8|ZelExport 4.99|\n");
  EXPECT_EQ(w.GetSysVarValue("rowno"), w.GetSysVarValue("ROWNO"));
  EXPECT_EQ(w.GetSysVarValue("nothing"), "");
}

TEST_F(CellFile, BandRowMergesTheColumnsOfABand) {
  TZelEColumnBand& b = w.Bands.Add();
  b.Caption = "Goods";
  for (const char* n : {"Name", "Qty", "Price"}) {
    TZelEColumn& c = w.Columns.Add();
    c.FieldName = n;
    c.Title.Caption = n;
    c.BandIndex = std::string(n) == "Price" ? -1 : 0;
  }
  w.AddTitle = true;
  w.Options.Include(soExportBands);
  TZelEStringStream out;
  w.ExportToStream(&out);
  EXPECT_EQ(w.Lines("Merged"), (std::vector<std::string>{"Merged 0,0 x2 'Goods'"}));
  EXPECT_EQ(w.Lines("Data 0,"), (std::vector<std::string>{"Data 0,0 3 'Goods'", "Data 0,2 0 ''"}));
  EXPECT_EQ(w.Lines("Data 1,1"), (std::vector<std::string>{"Data 1,1 3 'Qty'"}));
  EXPECT_EQ(w.Lines("Data 2,0"), (std::vector<std::string>{"Data 2,0 3F 'apple'"}));
  EXPECT_EQ(w.Statistic.TotalCount, 2 + 3);
}

TEST_F(CellFile, StyleColoursAlternateByOutputRow) {
  w.ExportStyle.SetStyle(esBrick);
  std::vector<TColor> colors;
  w.OnGetCellParams = [&](TZelECustomBaseComponent&, const TField* f, std::string&, TFontSpec&, TAlignment&,
                          TColor& bg, TCellType&) {
    if (f && f->FieldName() == "Name") colors.push_back(bg);
  };
  w.Header = {"H"};
  TZelEStringStream out;
  w.ExportToStream(&out);
  // Data rows are header lines + record number: 2, 3, 4.
  EXPECT_EQ(colors, (std::vector<TColor>{0x00A0BFBF, 0x00CFDFDF, 0x00A0BFBF}));
}

TEST(CellFileValues, DataCellsCarryTheirNativeValues) {
  TOpenTable t("B=#4,D=D,T=T,TS=@,N=I,F=N,C=$,L=L,S=A5,M=M10",
               {{TWriterValue(PdxBcdFromString("-1234567890123456.7890")), TWriterValue(PdxDayNumber(1968, 12, 5)),
                 TWriterValue(PdxTimeOfDay(13, 5, 7, 250)), TWriterValue(PdxTimestamp(-1, 12, 31, 1, 0, 0)),
                 TWriterValue(5), TWriterValue(0.1), TWriterValue(13.002), TWriterValue(true), TWriterValue("abc"),
                 TWriterValue("memo")},
                {std::nullopt, std::nullopt, std::nullopt, std::nullopt, TWriterValue(0), std::nullopt, std::nullopt,
                 std::nullopt, std::nullopt, std::nullopt}});
  TRecordingWriter w;
  w.AnimatedStatus = false;
  w.DBGrid = &t.Grid;
  TZelEStringStream out;
  w.ExportToStream(&out);
  ASSERT_EQ(w.Values.size(), 20u);
  using V = TZelECellValue;
  const std::vector<V>& v = w.Values;
  EXPECT_EQ(v[0].kind, V::cvBCD);
  EXPECT_EQ(v[0].Text, "-1234567890123456.7890");  // every one of the 20 digits
  EXPECT_EQ(v[1].kind, V::cvDate);
  EXPECT_EQ(v[1].Integer, PdxDayNumber(1968, 12, 5));
  EXPECT_EQ(v[2].kind, V::cvTime);
  EXPECT_EQ(v[2].Integer, PdxTimeOfDay(13, 5, 7, 250));
  EXPECT_EQ(v[3].kind, V::cvDateTime);
  EXPECT_EQ(v[3].Integer, static_cast<int64_t>(PdxTimestamp(-1, 12, 31, 1, 0, 0)));
  EXPECT_EQ(v[4].kind, V::cvInteger);
  EXPECT_EQ(v[4].Integer, 5);
  EXPECT_EQ(v[5].kind, V::cvDouble);
  EXPECT_EQ(v[5].Double, 0.1);
  EXPECT_EQ(v[6].kind, V::cvCurrency);
  EXPECT_EQ(v[6].Double, 13.002);
  EXPECT_EQ(v[7].kind, V::cvBoolean);
  EXPECT_TRUE(v[7].Boolean);
  EXPECT_EQ(v[8].kind, V::cvText);
  EXPECT_EQ(v[9].kind, V::cvBlob);
  // (An empty alpha value is its empty text.)
  for (int i = 10; i < 20; ++i) {
    if (i == 14 || i == 18) continue;
    EXPECT_EQ(v[static_cast<size_t>(i)].kind, i == 19 ? V::cvBlob : V::cvNull) << i;
  }
  EXPECT_EQ(v[14].kind, V::cvInteger);
  EXPECT_EQ(v[14].Integer, 0);

  // BlankIfZero blanks only a zero or null value: 5 stays an integer cell.
  w.BlankIfZero = true;
  w.Log.clear();
  TZelEStringStream out2;
  w.ExportToStream(&out2);
  EXPECT_EQ(w.Lines("Data 0,4"), (std::vector<std::string>{"Data 0,4 1F '5'"}));
  EXPECT_EQ(w.Lines("Data 1,4"), (std::vector<std::string>{"Data 1,4 0F ''"}));
  EXPECT_EQ(w.Lines("Data 0,0"), (std::vector<std::string>{"Data 0,0 2F '-1234567890123456.7890'"}));
}

}  // namespace
}  // namespace korvane::test
