// The table of formats: a format is one writer and one row. The tests' own format
// (in the place of SYLK) is created by the monitor, writes native values, keeps a
// setting of its own in export settings files and runs from the command line.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <set>

#include "export/ZelEMonitor.h"
#include "export/ZelESpecs.h"
#include "export/formats/ZelE2SQL.h"
#include "export/formats/ZelE2TXT.h"
#include "export_test_util.h"
#include "support/testformat.h"

namespace korvane::test {
namespace {

// Runs a command line; answers its exit status.
int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(FormatTable, EveryFormatOnceInEnumOrderWithItsCaptionAndExtension) {
  const auto& formats = ExportFormats();
  ASSERT_EQ(formats.size(), static_cast<size_t>(kTableTypeCount));
  std::set<std::string> names;
  for (size_t i = 0; i < formats.size(); ++i) {
    EXPECT_EQ(formats[i].Type, static_cast<TTableTypeExport>(i));
    EXPECT_TRUE(names.insert(AsciiUpper(formats[i].Name)).second) << formats[i].Name;
  }
  const TZelEFormat& text = ExportFormat(teText);
  EXPECT_TRUE(text.Built());
  EXPECT_EQ(text.Caption(), "Text file (*.txt)");
  EXPECT_EQ(text.Filter(), "Text file (*.txt)|*.TXT|All files (*.*)|*.*");
  EXPECT_EQ(std::string(TableTypeExtension(teXLS)), ".XLS");
  EXPECT_TRUE(ExportFormat(teClipboard).Can(faNoFile));
  EXPECT_TRUE(FormatsOfCategory(fcWeb).Has(teHTML));
  EXPECT_FALSE(FormatsOfCategory(fcWeb).Has(teText));
}

// Settings files find a key wherever it stands: no format's key may repeat one of
// another format or of the common sections.
TEST(FormatTable, SettingKeysAreUniqueInASettingsFile) {
  TZelExportMonitor m;
  std::string saved;
  m.SaveSpecificationToStream(saved, "all");
  std::multiset<std::string> keys;
  for (const std::string& line : SpecSplitLines(saved)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos && line[0] != '[') keys.insert(line.substr(0, eq));
  }
  for (const auto& [type, settings] : m.FormatSettings.Items())
    for (const std::string& key : settings->KeyNames()) EXPECT_EQ(keys.count(key), 1u) << key;
  // The SQL options follow the data formats without an empty line; the text
  // format's own section comes after them.
  EXPECT_NE(saved.find("UseRegionalSettings=0\r\n[SQL]\r\nSQLTerm=;\r\nSQLQuote=22\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\n\r\n[TextFormat]\r\nTextQualifying=1\r\nAddCtrlZ=0\r\n"), std::string::npos) << saved;
}

TEST(FormatTable, SettingsAreCopiedNotSharedAndReadBack) {
  TZelExportMonitor a;
  a.FormatSettings.Get<TZelESQLOptions>(teSQL).SQLTerm = "GO";
  a.FormatSettings.Get<TZelETextSettings>(teText).TextQualifying = tqAny;
  TZelExportMonitor b;
  b.Assign(a);
  EXPECT_EQ(b.FormatSettings, a.FormatSettings);
  a.FormatSettings.Get<TZelESQLOptions>(teSQL).SQLTerm = "changed";
  EXPECT_EQ(b.FormatSettings.Get<TZelESQLOptions>(teSQL).SQLTerm, "GO");

  std::string saved;
  b.SaveSpecificationToStream(saved, "x");
  TZelExportMonitor c;
  c.LoadSpecificationFromStream(saved);
  EXPECT_EQ(c.FormatSettings, b.FormatSettings);
  // A plain text writer takes its own format's settings and leaves the others.
  TZelExportToText text;
  text.LoadSpecificationFromStream(saved);
  EXPECT_EQ(text.Settings().TextQualifying, tqAny);
  EXPECT_EQ(text.FormatSettings.Find(teSQL), nullptr);

  // Values a key does not take change nothing; from a user they are refused.
  TZelEFormatSettings* sql = c.FormatSettings.Of(teSQL);
  EXPECT_THROW(sql->Set("BatchRecCount", "-1", true), EZelESettingError);
  EXPECT_THROW(sql->Set("NoSuchKey", "1", true), EZelESettingError);
  sql->Set("FieldNameCharCase", "upper", true);
  EXPECT_EQ(c.FormatSettings.Get<TZelESQLOptions>(teSQL).FieldNameCharCase, ecUpperCase);
  sql->Set("SQLQuote", "60", false);
  EXPECT_EQ(c.FormatSettings.Get<TZelESQLOptions>(teSQL).SQLQuote, '`');
}

struct TestFormat : ::testing::Test {
  static void SetUpTestSuite() { replaced = RegisterTestCellsFormat(); }
  static void TearDownTestSuite() { ReplaceExportFormat(replaced); }
  static inline TZelEFormat replaced{};
};

TEST_F(TestFormat, OneRowMakesAFormatTheMonitorRuns) {
  EXPECT_EQ(std::string(ExportFormat(teSYLK).Name), "TestCells");
  TTableTypeExport t;
  ASSERT_TRUE(TableTypeFromName("testcells", t));
  EXPECT_EQ(t, teSYLK);
  ASSERT_NE(dynamic_cast<TZelExportToTestCells*>(CreateWriter(teSYLK).get()), nullptr);

  TOpenTable table("N=I,B=#2,D=D", {{TWriterValue(5), TWriterValue(PdxBcdFromString("12345678901234567.89")),
                                     TWriterValue(PdxDayNumber(1968, 12, 5))}});
  const std::string dir = TempDir();
  TZelExportMonitor m;
  m.DBGrid = &table.Grid;
  m.SetTableType(teSYLK);
  m.FileName = dir + "/cells.tst";
  m.FormatSettings.Get<TTestCellsSettings>(teSYLK).Marker = "mark";
  m.Options.Exclude(soShowMessage);
  m.Run();
  ASSERT_EQ(m.Statistic.Result, erCompleted) << m.Statistic.Message;
  EXPECT_EQ(ReadFile(dir + "/cells.tst"), "mark integer 5\nmark bcd 12345678901234567.89\nmark date " +
                                              std::to_string(PdxDayNumber(1968, 12, 5)) + "\n--\n");

  // Its setting travels in a settings file, and the command line replays it.
  const std::string spec = dir + "/cells.zele";
  ASSERT_TRUE(m.SaveSpecification("cells", spec, false));
  const std::string saved = ReadFile(spec);
  EXPECT_NE(saved.find("\r\n[TestCells]\r\nTestMarker=mark\r\n"), std::string::npos) << saved;
  TZelExportMonitor again;
  again.LoadSpecification(spec);
  EXPECT_EQ(again.TableType(), teSYLK);
  EXPECT_EQ(again.FormatSettings.Get<TTestCellsSettings>(teSYLK).Marker, "mark");

  const std::string cli = KORVANE_CLI_TESTFORMAT;
  EXPECT_EQ(Shell(Quote(cli) + " export " + Quote(table.Path) + " --spec " + Quote(spec) + " --columns N,B,D --output " +
                  Quote(dir + "/cli.tst") + " --quiet"),
            0);
  EXPECT_EQ(ReadFile(dir + "/cli.tst"), ReadFile(dir + "/cells.tst"));
  // --format and --set reach the format and its own setting by name.
  EXPECT_EQ(Shell(Quote(cli) + " export " + Quote(table.Path) + " --format TestCells --set TestCells.TestMarker=cli" +
                  " --columns N --output " + Quote(dir + "/set.tst") + " --quiet"),
            0);
  EXPECT_EQ(ReadFile(dir + "/set.tst"), "cli integer 5\n--\n");
  EXPECT_EQ(Shell(Quote(cli) + " export " + Quote(table.Path) + " --format TestCells --set TestCells.NoKey=1" +
                  " --output " + Quote(dir + "/bad.tst") + " --quiet 2>/dev/null"),
            2);
}

}  // namespace
}  // namespace korvane::test
