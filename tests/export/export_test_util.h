#pragma once
// Helpers of the export tests: a writer that logs every call of the cell-file
// writer base, services that record what a run asked of the desktop, and small
// tables written by the project's own writer.

#include <dirent.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/grid.h"
#include "engine/pdx.h"
#include "export/ZelE2Cell.h"
#include "export/formats/ZelE2TXT.h"
#include "support/fixtures.h"
#include "support/paths.h"

namespace korvane::test {

// Logs each call as one line; cells as "Data r,c ct 'text'" ("F" after the cell
// type when the cell has a field). Text written to the output: each cell's text
// followed by "|", a row end as "\n", so files can be read back too.
class TRecordingWriter : public TZelExportToCellFile {
 public:
  std::vector<std::string> Log;
  bool Appendable = false;
  // Called with every data cell before it is written (may throw).
  std::function<void(int row, int col, const std::string& text)> OnCell;

  // Native values of the data cells, in the order written.
  std::vector<TZelECellValue> Values;

  bool CanAppend() const override { return Appendable; }
  bool UsesCharacterSet() const override { return true; }
  void CreateFileStream(const std::string& f) override {
    size_t slash = f.find_last_of('/');
    Log.push_back("CreateFileStream " + (slash == std::string::npos ? f : f.substr(slash + 1)));
    TZelExportToCellFile::CreateFileStream(f);
  }
  void WriteFileBegin() override {
    Log.push_back("FileBegin");
    TZelExportToCellFile::WriteFileBegin();
  }
  void WriteFileEnd() override { Log.push_back("FileEnd"); }
  void WriteDimension(int r, int c) override { Log.push_back("Dimension " + std::to_string(r) + "," + std::to_string(c)); }
  void WriteColumnWidth(int c, int w) override {
    Log.push_back("Width " + std::to_string(c) + "=" + std::to_string(w));
  }
  void BeginTable() override {
    Log.push_back("BeginTable");
    TZelExportToCellFile::BeginTable();
  }
  void EndTable() override {
    Log.push_back("EndTable");
    TZelExportToCellFile::EndTable();
  }
  void BeginRow() override {
    Log.push_back("BeginRow");
    TZelExportToCellFile::BeginRow();
  }
  void EndRow() override {
    Log.push_back("EndRow");
    WriteString("\n");
    TZelExportToCellFile::EndRow();
  }
  void WriteData(const TField* field, TCellType ct, int row, int col, const std::string& text, TAlignment a,
                 const TFontSpec* font, TColor color) override {
    if (OnCell && field) OnCell(row, col, text);
    if (field) Values.push_back(CellNativeValue());
    Log.push_back("Data " + std::to_string(row) + "," + std::to_string(col) + " " + std::to_string(ct) +
                  (field ? "F" : "") + " '" + text + "'");
    lastColor = color;
    TZelExportToCellFile::WriteData(field, ct, row, col, text, a, font, color);
    WriteString(text);
    WriteString("|");
  }
  void WriteMergedData(TCellType ct, int row, int col, int span, const std::string& text, TAlignment a,
                       const TFontSpec* font, TColor color) override {
    Log.push_back("Merged " + std::to_string(row) + "," + std::to_string(col) + " x" + std::to_string(span) +
                  " '" + text + "'");
    TZelExportToCellFile::WriteMergedData(ct, row, col, span, text, a, font, color);
  }
  void CreateFile(const std::string& f, int n) override {
    Log.push_back("CreateFile " + std::to_string(n));
    TZelExportToCellFile::CreateFile(f, n);
  }
  void CloseFile() override {
    if (Stream()) Log.push_back("CloseFile");
    TZelExportToCellFile::CloseFile();
  }

  // The log lines that start with prefix.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : Log)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  TColor lastColor = 0;
};

// Services that record what a run asked for.
class TRecordingServices : public TZelESilentServices {
 public:
  std::vector<std::string> Messages;
  int ShellOpens = 0;
  int BusyOn = 0, BusyOff = 0;
  bool SaveDialogAnswer = false;
  std::string SaveDialogFile;  // replaces the file name when the dialog says OK
  TFormatSettings Regional;

  void ShowMessage(TZelEMessageKind, const std::string& text) override { Messages.push_back(text); }
  bool ShellOpen(const std::string&) override {
    ++ShellOpens;
    return true;
  }
  void SetBusyCursor(bool on) override { on ? ++BusyOn : ++BusyOff; }
  TFormatSettings RegionalSettings() override { return Regional; }
  bool AskSaveSpecification(std::string&, std::string& file) override {
    if (SaveDialogAnswer && !SaveDialogFile.empty()) file = SaveDialogFile;
    return SaveDialogAnswer;
  }
};

// An opened table of written rows.
struct TOpenTable {
  std::string Path;
  TPdx Table;
  TDataSource Source;
  TGridColumns Grid;
  TOpenTable(const std::string& spec, const std::vector<TWriterRow>& rows, const std::string& fileName = "t.db") {
    Path = MakeTable(spec, rows, {}, fileName);
    Table.SetTableName(Path);
    Table.Open();
    Source.SetDataSet(&Table);
    Grid.SetDataSource(&Source);
    Grid.RebuildFromFields();
  }
};

// Three records: Name (A10), Qty (I), Price (N).
inline std::vector<TWriterRow> ThreeRows() {
  return {{TWriterValue("apple"), TWriterValue(3), TWriterValue(1.5)},
          {TWriterValue("pear"), TWriterValue(0), TWriterValue(2.25)},
          {TWriterValue("plum"), std::nullopt, TWriterValue(-4.0)}};
}
inline const char* kThreeSpec = "Name=A10,Qty=I,Price=N";

// Names in a folder (no "." entries), sorted.
inline std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Values of BLOBs longer than the 256 KB pieces they are read in, for the
// checks that a writer taking them in pieces writes what it writes from whole
// values. Memo text with two- and three-byte characters, line ends (a CR right
// at the end of the first piece, its LF beginning the second), markup and
// separator characters, control characters and NULs.
inline std::string LongMemoText() {
  std::string memo(256 * 1024 - 1, 'a');
  for (size_t i = 0; i < memo.size(); i += 61) memo[i] = ' ';
  memo += "\r\n";
  for (int i = 0; memo.size() < 700 * 1024; ++i) {
    memo += "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC;\t\"q\" <&> ' , + # \\ \x01";
    if (i % 97 == 0) memo += "\r\n";
    if (i % 89 == 0) memo += "\r";
    if (i % 1013 == 0) memo += std::string(1, '\0');
  }
  return memo;
}
// Bytes of every value, some of them valid UTF-8 sequences.
inline std::string LongBinary(size_t n) {
  std::string bin(n, '\0');
  for (size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<char>(i * 31 + 7);
  return bin;
}
// A JPEG behind the graphic leader whose frame header (192 x 144) lies beyond
// the first 256 KB: APP segments of 64 KB before it.
inline std::string LongJpegGraphic() {
  std::string b("\x02\0\0\0\0\0\0\0\xFF\xD8", 10);
  for (int k = 0; k < 5; ++k) {
    b += std::string("\xFF\xE1\xFF\xFF", 4);
    b += LongBinary(0xFFFD);
  }
  b += std::string("\xFF\xC0\0\x11\x08\x00\x90\x00\xC0", 9);
  b += LongBinary(1000);
  return b;
}

// A writer of format W that runs into memory over the grid of a table.
template <class W>
struct TWriterRun : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
  }
  std::string Run(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    TZelEStringStream out;
    w.ExportToStream(&out);
    EXPECT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
    return out.Data();
  }
  W w;
  TRecordingServices services;
};
using TTextRun = TWriterRun<TZelExportToText>;

}  // namespace korvane::test
