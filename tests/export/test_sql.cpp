// SQL scripts: statements that end once, transactions that begin, quoted names,
// the dialects' literals of the stored values, comments that hold any text.

#include <gtest/gtest.h>

#include "export/formats/ZelE2SQL.h"
#include "export_test_util.h"

namespace korvane::test {
namespace {

struct Sql : TWriterRun<TZelExportToSQL> {
  std::string Run(TOpenTable& t) {
    w.TableName = "T";
    return TWriterRun::Run(t);
  }
  static int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
  }
};

TEST_F(Sql, ScriptEndsEachStatementOnceAndCommitsWhatItBegan) {
  TOpenTable t("Name=A10,Qty=I", {{TWriterValue("O'Hara"), TWriterValue(3)}, {TWriterValue("b"), std::nullopt}});
  w.SQLOptions().AddCreateTable = true;
  w.Header = {"Report"};
  EXPECT_EQ(Run(t),
            "CREATE TABLE \"T\" (\r\n   \"Name\" CHAR(10) NULL, \r\n   \"Qty\" INTEGER NULL);\r\n\r\n"
            "/* Report */\r\n"
            "BEGIN TRANSACTION;\r\n\r\n"
            "INSERT INTO \"T\"\r\n  (\"Name\", \"Qty\")\r\nVALUES\r\n  ('O''Hara', 3);\r\n\r\n"
            "INSERT INTO \"T\"\r\n  (\"Name\", \"Qty\")\r\nVALUES\r\n  ('b', NULL);\r\n\r\n"
            "COMMIT;\r\n\r\n");

  // Multi-row in batches of two: each batch one statement in one transaction.
  TOpenTable three("A=I", {{TWriterValue(1)}, {TWriterValue(2)}, {TWriterValue(3)}});
  w.SQLOptions() = {};
  w.SQLOptions().MultiRowInsert = true;
  w.SQLOptions().BatchRecCount = 2;
  w.Header.clear();
  w.Footer = {"end"};
  EXPECT_EQ(Run(three),
            "BEGIN TRANSACTION;\r\n\r\nINSERT INTO \"T\"\r\n  (\"A\")\r\nVALUES\r\n  (1),\r\n  (2);\r\n\r\n"
            "COMMIT;\r\n\r\n"
            "BEGIN TRANSACTION;\r\n\r\nINSERT INTO \"T\"\r\n  (\"A\")\r\nVALUES\r\n  (3);\r\n\r\nCOMMIT;\r\n\r\n"
            "/* end */\r\n");

  // No commit term: no transaction either.
  w.SQLOptions().CommitTerm.clear();
  w.Footer.clear();
  const std::string s = Run(three);
  EXPECT_EQ(Count(s, "BEGIN"), 0);
  EXPECT_EQ(Count(s, ";"), 2);
}

TEST_F(Sql, TheTableIsCreatedOnceAcrossPartsAndAppends) {
  TOpenTable t("A=I", {{TWriterValue(1)}, {TWriterValue(2)}, {TWriterValue(3)}, {TWriterValue(4)}, {TWriterValue(5)}});
  const std::string dir = TempDir();
  w.DBGrid = &t.Grid;
  w.TableName = "T";
  w.SQLOptions().AddCreateTable = true;
  w.RowsPerFile = 2;
  w.FileName = dir + "/s.sql";
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  // Loaded in order, the parts make one table: only the first creates it.
  const std::string parts[] = {ReadFile(dir + "/s.sql"), ReadFile(dir + "/s001.sql"), ReadFile(dir + "/s002.sql")};
  EXPECT_EQ(Count(parts[0], "CREATE TABLE"), 1) << parts[0];
  EXPECT_EQ(Count(parts[1], "CREATE TABLE"), 0) << parts[1];
  EXPECT_EQ(Count(parts[2], "CREATE TABLE"), 0) << parts[2];
  for (const std::string& p : parts) EXPECT_EQ(Count(p, "BEGIN TRANSACTION;"), Count(p, "COMMIT;")) << p;
  EXPECT_EQ(Count(parts[2], "INSERT INTO"), 1);

  // Appended rows go after the script's own CREATE TABLE; an empty file gets one.
  w.RowsPerFile = 0;
  w.Options.Include(soMergeData);
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  const std::string both = ReadFile(dir + "/s.sql");
  EXPECT_EQ(both.rfind(parts[0], 0), 0u);
  EXPECT_EQ(Count(both, "CREATE TABLE"), 1) << both;
  EXPECT_EQ(Count(both, "INSERT INTO"), 7);
  WriteFile(dir + "/empty.sql", "");
  w.FileName = dir + "/empty.sql";
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(ReadFile(dir + "/empty.sql").rfind("CREATE TABLE \"T\"", 0), 0u);
}

TEST_F(Sql, MultiRowStatementsHoldAThousandRowsAtMost) {
  std::vector<TWriterRow> rows;
  for (int i = 0; i < 2001; ++i) rows.push_back({TWriterValue(i)});
  TOpenTable t("A=I", rows);
  w.SQLOptions().MultiRowInsert = true;
  const std::string s = Run(t);
  EXPECT_EQ(Count(s, "INSERT INTO"), 3);
  EXPECT_EQ(Count(s, "BEGIN TRANSACTION;"), 1);
  EXPECT_EQ(Count(s, "COMMIT;"), 1);
  EXPECT_NE(s.find("  (999);\r\n"), std::string::npos);
  EXPECT_NE(s.find("  (2000);\r\n\r\nCOMMIT;"), std::string::npos);
}

TEST_F(Sql, NamesAreAlwaysQuotedAndUniqueAfterTheirCase) {
  TOpenTable t("Order=I,Customer #=A5", {{TWriterValue(1), TWriterValue("x")}});
  w.SQLOptions().FieldNameCharCase = ecLowerCase;
  w.Columns.Add().FieldName = "Order";
  w.Columns.Add().FieldName = "Customer #";
  w.Columns.Add().FieldName = "Order";
  std::string s = Run(t);
  EXPECT_NE(s.find("(\"order\", \"customer #\", \"order_2\")"), std::string::npos) << s;

  w.SQLOptions().SQLQuote = '`';
  w.SQLOptions().FieldNameCharCase = ecProper;
  s = Run(t);
  EXPECT_NE(s.find("INSERT INTO `T`\r\n  (`Order`, `Customer #`, `Order_2`)"), std::string::npos) << s;

  // PostgreSQL knows no backticks.
  w.SQLOptions().Dialect = sdPostgreSQL;
  s = Run(t);
  EXPECT_NE(s.find("(\"Order\", \"Customer #\", \"Order_2\")"), std::string::npos) << s;

  std::string id;
  TZelExportToSQL::AppendIdentifier(id, "a\"b", '"');
  EXPECT_EQ(id, "\"a\"\"b\"");
}

TEST_F(Sql, ValuesAreTheDialectsLiteralsOfTheStoredValues) {
  // 5 March 2004 is day 731645; 3 BC is year -2.
  TOpenTable t("D=D,T=T,S=@,L=L,N=N,B=#2,Y=Y3",
               {{TWriterValue(int32_t{731645}), TWriterValue(int32_t{3723004}),
                 TWriterValue(731645.0 * 86400000 + 3723004), TWriterValue(true), TWriterValue(12.5),
                 TWriterValue(PdxBcdFromString("-12.50")), TWriterValue(std::string("\0\x01\xFF", 3))},
                {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                 std::nullopt}});
  // Display texts and their patterns never reach the script.
  w.Options.Include(soFieldMask);
  w.DataFormats.DecimalSeparator = ',';
  w.SQLOptions().SQLNULL = "null";
  std::string s = Run(t);
  EXPECT_NE(s.find("('2004-03-05', '01:02:03.004', '2004-03-05 01:02:03.004', 1, 12.5, -12.50, X'0001ff')"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("(null, null, null, null, null, null, null)"), std::string::npos) << s;

  w.SQLOptions().Dialect = sdPostgreSQL;
  s = Run(t);
  EXPECT_NE(s.find("('2004-03-05', '01:02:03.004', '2004-03-05 01:02:03.004', TRUE, 12.5, -12.50, "
                   "'\\x0001ff'::bytea)"),
            std::string::npos)
      << s;

  w.SQLOptions().Dialect = sdSQLite;
  s = Run(t);
  EXPECT_NE(s.find(", 1, 12.5, '-12.50', X'0001ff')"), std::string::npos) << s;

  std::string out;
  EXPECT_TRUE(TZelExportToSQL::AppendDateLiteral(out, 0, sdPostgreSQL));  // 31 Dec 1 BC
  EXPECT_TRUE(TZelExportToSQL::AppendDateLiteral(out, -366, sdPostgreSQL));
  EXPECT_TRUE(TZelExportToSQL::AppendTimestampLiteral(out, -366LL * 86400000 + 3600000, sdPostgreSQL));
  EXPECT_TRUE(TZelExportToSQL::AppendDateLiteral(out, -366, sdSQLite));
  EXPECT_EQ(out, "'0001-12-31 BC''0002-12-31 BC''0002-12-31 01:00:00 BC''-0001-12-31'");
  out.clear();
  EXPECT_FALSE(TZelExportToSQL::AppendTimeLiteral(out, 90000000, sdPostgreSQL));
  EXPECT_FALSE(TZelExportToSQL::AppendDateLiteral(out, -2000000, sdPostgreSQL));
  EXPECT_TRUE(TZelExportToSQL::AppendTimeLiteral(out, 90000000, sdGeneric));
  EXPECT_EQ(out, "'25:00:00'");
}

TEST_F(Sql, ValuesADatabaseCannotHoldAreCounted) {
  // A date PostgreSQL cannot hold (before 4714 BC).
  TOpenTable t("D=D,Notes=M20", {{TWriterValue(int32_t{-2000000}), TWriterValue(std::string("a\0b\r\nc", 6))}});
  w.SQLOptions().Dialect = sdPostgreSQL;
  std::string s = Run(t);
  EXPECT_NE(s.find("(NULL, 'ab\r\nc')"), std::string::npos) << s;
  EXPECT_EQ(w.NulValues(), 1);
  EXPECT_EQ(w.ChangedValues(), 1);
  EXPECT_EQ(w.Statistic.TotalErrors, 2);
  ASSERT_EQ(w.Statistic.Notes.size(), 2u);

  // SQLite keeps the date as text, and a text holding a CR comes from its bytes.
  w.SQLOptions().Dialect = sdSQLite;
  w.Statistic.Notes.clear();
  s = Run(t);
  EXPECT_NE(s.find("('-5475-03-09', CAST(X'61620d0a63' AS TEXT))"), std::string::npos) << s;
  EXPECT_EQ(w.ChangedValues(), 0);
}

TEST_F(Sql, CommentsCannotBeEndedOrNestedByTheirText) {
  std::string out;
  TZelExportToSQL::AppendComment(out, "a */ b /*/ c\r\n-- d");
  EXPECT_EQ(out, "/* a * / b / * / c */\r\n/* -- d */");
  out.clear();
  TZelExportToSQL::AppendComment(out, "ends with *");
  EXPECT_EQ(out, "/* ends with * */");
}

TEST_F(Sql, DialectFillsTheColumnTypesAndIsKeptLastInTheSection) {
  TOpenTable t("Name=A10,F=N,L=L,M=M20,G=G20,B=#2", {{TWriterValue("a"), TWriterValue(1.0), TWriterValue(true),
                                                      TWriterValue("m"), std::nullopt, std::nullopt}});
  w.SQLOptions().AddCreateTable = true;
  w.SQLOptions().Dialect = sdPostgreSQL;
  std::string s = Run(t);
  EXPECT_NE(s.find("\"Name\" VARCHAR(10) NULL, \r\n   \"F\" DOUBLE PRECISION NULL, \r\n   \"L\" BOOLEAN NULL, "
                   "\r\n   \"M\" TEXT NULL, \r\n   \"G\" BYTEA NULL, \r\n   \"B\" NUMERIC NULL)"),
            std::string::npos)
      << s;
  EXPECT_EQ(s.rfind("SET client_encoding = 'UTF8';", 0), 0u);

  const auto& keys = TZelESQLOptions::Keys();
  EXPECT_STREQ(keys.back().Name, "Dialect");
  EXPECT_STREQ(keys[keys.size() - 2].Name, "FieldNameCharCase");
  EXPECT_EQ(TZelESQLTypes::Of(sdSQLite).TypeOf(ftBCD), "TEXT");
  EXPECT_EQ(TZelESQLTypes::Of(sdGeneric).TypeOf(ftBytes), "BLOB");
}

}  // namespace
}  // namespace korvane::test

namespace korvane::test {
namespace {

// Long BLOBs are written from pieces read twice; the script must be the one a
// run holding each value whole writes, in every dialect.
TEST_F(Sql, LongBlobsStreamedInPiecesWriteWhatWholeValuesWrite) {
  const std::string memo = LongMemoText();
  const std::string bin = LongBinary(300 * 1024 + 7);
  std::string plain(300 * 1024, 'x');  // no CR: a quoted literal
  for (size_t i = 0; i < plain.size(); i += 5) plain[i] = '\'';
  // A character whose bytes a NUL parts, the NUL right where a piece ends.
  std::string parted = plain;
  parted.replace(256 * 1024 - 2, 3, std::string("\xC3\0\xA9", 3));
  TOpenTable t("Name=A10,Notes=M20,Fmt=F10,Pic=G10,Raw=B10",
               {{TWriterValue("one"), TWriterValue(memo), TWriterValue("fmt\x01\\" + memo.substr(0, 300000)),
                 TWriterValue(LongJpegGraphic()), TWriterValue(std::string("\x01\x02", 2))},
                {TWriterValue("two"), TWriterValue(plain), std::nullopt, TWriterValue(bin), TWriterValue(bin)},
                {TWriterValue("three"), TWriterValue(parted), std::nullopt, std::nullopt, std::nullopt}});
  for (TZelESQLDialect d : {sdGeneric, sdSQLite, sdPostgreSQL}) {
    w.SQLOptions().Dialect = d;
    w.StreamBlobsAbove = int64_t{1} << 40;
    const std::string whole = Run(t);
    const int errors = w.Statistic.TotalErrors;
    EXPECT_GT(errors, 0) << d;
    w.StreamBlobsAbove = 100;
    const std::string pieces = Run(t);
    EXPECT_EQ(pieces.size(), whole.size()) << d;
    EXPECT_TRUE(pieces == whole) << d;
    EXPECT_EQ(w.Statistic.TotalErrors, errors) << d;
  }
}

}  // namespace
}  // namespace korvane::test
