// The database target through ODBC into SQLite files: the CREATE statement,
// quoting of hostile names, typed values, appending, query targets, refused rows,
// cancel, and the rules of names, connection strings and column types.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>

#include "export/ZelEFormats.h"
#include "export/formats/ZelE2ADO.h"
#include "export_test_util.h"
#include "platform/odbc/odbc.h"

namespace korvane::test {
namespace {

using odbc::QuoteIdentifier;

std::string TempDb() {
  char dir[] = "/tmp/korvane-ado-XXXXXX";
  if (!mkdtemp(dir)) return "/tmp/korvane-ado.sqlite";
  return std::string(dir) + "/out.sqlite";
}

// The first column of a query's rows, one string per row.
std::vector<std::string> Query(const std::string& db, const std::string& sql) {
  odbc::TConnection c;
  c.Open(odbc::ConnectionStringFor(db));
  return c.QueryColumn(sql);
}

void Exec(const std::string& db, const std::string& sql) {
  odbc::TConnection c;
  c.Open(odbc::ConnectionStringFor(db));
  c.Execute(sql);
}

struct ADORun : ::testing::Test {
  void SetUp() override {
    w.SetServices(&services);
    w.AnimatedStatus = false;
    w.Options.Exclude(soShowMessage);
    db = TempDb();
    w.FileName = db;
    w.TableName = "t";
  }
  void Run(TOpenTable& t) {
    w.DBGrid = &t.Grid;
    w.Execute();
  }
  TZelExportToADO w;
  TRecordingServices services;
  std::string db;
};

// ---------------------------------------------------------------------------
// Names, connection strings and types

TEST(ADONames, PlainNamesStayAndOthersAreQuotedWithTheirQuotesDoubled) {
  EXPECT_EQ(QuoteIdentifier("Name", '"'), "Name");
  EXPECT_EQ(QuoteIdentifier("Price_2", '"'), "Price_2");
  EXPECT_EQ(QuoteIdentifier("Unit Price", '"'), "\"Unit Price\"");
  EXPECT_EQ(QuoteIdentifier("Date", '"'), "\"Date\"");
  EXPECT_EQ(QuoteIdentifier("select", '"'), "\"select\"");
  EXPECT_EQ(QuoteIdentifier("Zip/Postal Code", '"'), "\"Zip/Postal Code\"");
  EXPECT_EQ(QuoteIdentifier("2nd", '"'), "\"2nd\"");
  EXPECT_EQ(QuoteIdentifier("Größe", '"'), "\"Größe\"");
  EXPECT_EQ(QuoteIdentifier("q\"x);DROP TABLE sentinel;--", '"'), "\"q\"\"x);DROP TABLE sentinel;--\"");
  EXPECT_EQ(QuoteIdentifier("a`b", '`'), "`a``b`");
  // A driver without a quote character (" "): standard SQL's.
  EXPECT_EQ(QuoteIdentifier("a b", ' '), "\"a b\"");
  // The driver's own keywords count too.
  EXPECT_EQ(QuoteIdentifier("pragma2", '"', {"PRAGMA2"}), "\"pragma2\"");
  // Where unquoted names fold to lower case, capitals are kept by quoting.
  EXPECT_EQ(QuoteIdentifier("Name", '"', {}, true), "\"Name\"");
  EXPECT_EQ(QuoteIdentifier("name", '"', {}, true), "name");
}

TEST(ADONames, ConnectionStrings) {
  EXPECT_EQ(odbc::ConnectionStringFor("/tmp/a b.sqlite"), "DRIVER={SQLite3};Database=/tmp/a b.sqlite");
  EXPECT_THROW(odbc::ConnectionStringFor("/tmp/a;b"), odbc::EOdbcError);
  EXPECT_EQ(odbc::ConnectionStringFor("DSN=x", "me", "p}w;"), "DSN=x;UID={me};PWD={p}}w;}");
  // A string's own login is not overridden.
  EXPECT_EQ(odbc::ConnectionStringFor("DSN=x;UID=a", "me"), "DSN=x;UID=a");
  EXPECT_EQ(odbc::ConnectionAttribute("DRIVER={SQLite3};Database={/x;y}}z}; uid = u", "database"), "/x;y}z");
  EXPECT_EQ(odbc::ConnectionAttribute("DRIVER={SQLite3};Database=/x; uid = u", "UID"), "u");
  EXPECT_EQ(odbc::ConnectionAttribute("DRIVER={SQLite3}", "UID"), "");
}

TEST(ADONames, ConnectionPartsAndTablesOfADatabase) {
  TZelEConnectionParts p;
  p.Driver = "PostgreSQL Unicode";
  p.Server = "/run/postgresql";
  p.Database = "my db";
  p.User = "me";
  p.Password = "a;b}";
  EXPECT_EQ(ZelEConnectionString(p),
            "DRIVER={PostgreSQL Unicode};SERVER=/run/postgresql;DATABASE=my db;UID=me;PWD={a;b}}}");
  TZelEConnectionParts back = ZelEConnectionPartsOf(ZelEConnectionString(p));
  EXPECT_EQ(back.Password, "a;b}");
  EXPECT_EQ(back.Database, "my db");
  EXPECT_EQ(back.More, "");
  const std::string db = TempDb();
  Exec(db, "CREATE TABLE b (x INTEGER)");
  Exec(db, "CREATE VIEW a AS SELECT x FROM b");
  std::vector<std::string> names{"stale"};
  ListADOTables(names, db, false);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  ListADOTables(names, "DRIVER={No Such Driver}", false);
  EXPECT_TRUE(names.empty());
  EXPECT_THROW(ListADOTables(names, "", false), EZelExportError);
}

TEST(ADONames, ColumnTypesPerDatabase) {
  // SQLite and unknown databases: the classic names, and binary types for every binary field.
  EXPECT_EQ(ZelEADOColumnType(odbc::dkSQLite, ftString, 20, 0), "CHAR(20)");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftFloat, 10, 2), "DECIMAL(10,2)");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftFloat, 10, 0), "NUMBER");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftCurrency, 10, 0), "MONEY");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftDateTime, 0, 0), "DATETIME");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftAutoInc, 0, 0), "IDENTITY");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftGraphic, 0, 0), "IMAGE");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftBytes, 0, 0), "BLOB");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftParadoxOle, 0, 0), "BLOB");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkOther, ftFmtMemo, 0, 0), "TEXT");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkSQLite, ftBCD, 20, 4), "TEXT");
  // PostgreSQL: names it takes, no padding, no rounding.
  EXPECT_EQ(ZelEADOColumnType(odbc::dkPostgreSQL, ftString, 20, 0), "VARCHAR(20)");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkPostgreSQL, ftFloat, 10, 2), "DOUBLE PRECISION");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkPostgreSQL, ftBCD, 10, 2), "NUMERIC");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkPostgreSQL, ftCurrency, 10, 2), "NUMERIC");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkPostgreSQL, ftDateTime, 0, 0), "TIMESTAMP");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkPostgreSQL, ftGraphic, 0, 0), "BYTEA");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkMariaDB, ftDateTime, 0, 0), "DATETIME(3)");
  EXPECT_EQ(ZelEADOColumnType(odbc::dkMariaDB, ftBlob, 0, 0), "LONGBLOB");
  EXPECT_EQ(odbc::DbmsKindOf("PostgreSQL"), odbc::dkPostgreSQL);
  EXPECT_EQ(odbc::DbmsKindOf("SQLite"), odbc::dkSQLite);
}

TEST(ADOFormats, AccessIsListedWithItsReasonAndADOWhenADriverIsInstalled) {
  EXPECT_EQ(FormatUnavailableReason(teAccess),
            "Writing Access databases needs the Access database engine, which does not exist for Linux. Export to "
            "a dBase table, an Excel workbook or a database through ODBC; Access imports all three.");
  EXPECT_FALSE(odbc::InstalledDrivers().empty());
  EXPECT_EQ(FormatUnavailableReason(teADO), "");
  // Access is the one format without a writer.
  for (const TZelEFormat& f : ExportFormats()) {
    if (f.Type != teAccess) {
      EXPECT_TRUE(f.Create) << TableTypeName(f.Type);
    }
  }
  // A connection string is no file name: its "extension" stays.
  TZelExportToADO w;
  w.FileName = "DRIVER={SQLite3};Database=/tmp/x.sqlite";
  w.SetTableType(teADO);
  EXPECT_EQ(w.FileName, "DRIVER={SQLite3};Database=/tmp/x.sqlite");
}

// ---------------------------------------------------------------------------
// Runs into SQLite

// Two columns without a field: a string that is required and a number with decimals.
class TTwoColumnEngine : public TZelECustomDataEngine {
 public:
  int Rows = 2;
  int at = 0;
  void First() override { at = 0; }
  void Next() override { ++at; }
  bool Eof() override { return at >= Rows; }
  int GetRecordCount() override { return Rows; }
  bool IsRequired(const TZelEColumn& c) override { return c.Title.Caption == "Name"; }
  void GetFieldValue(const TZelEColumn& c, TVariant& v) override {
    if (c.Title.Caption == "Name") v = TVariant::String(at == 0 ? "apple" : "pear");
    else v = TVariant::Float(at == 0 ? 1.25 : -2.5);
  }
  TFieldType GetFieldType(const TZelEColumn& c) override { return c.Title.Caption == "Name" ? ftString : ftFloat; }
};

TEST_F(ADORun, CreatesTheTableWithTheClassicStatementAndAppendsToItLater) {
  TTwoColumnEngine engine;
  w.ColumnSource = csDataEngine;
  w.DataEngine = &engine;
  w.TableName = "T";
  TZelEColumn& name = w.Columns.Add();
  name.Title.Caption = "Name";
  name.Width = 20;
  name.DataType = ctString;
  name.ColumnKind = ckField;
  TZelEColumn& price = w.Columns.Add();
  price.Title.Caption = "Price";
  price.Width = 10;
  price.Precision = 2;
  price.DataType = ctDouble;
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT sql FROM sqlite_master WHERE name = 'T'"),
            std::vector<std::string>{"CREATE TABLE T( Name CHAR(20) NOT NULL,  Price DECIMAL(10,2) NULL)"});
  EXPECT_EQ(Query(db, "SELECT Name || '|' || quote(Price) FROM T ORDER BY rowid"),
            (std::vector<std::string>{"apple|1.25", "pear|-2.5"}));
  // A table of that name, in any case, is appended to.
  w.TableName = "t";
  w.Execute();
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT count(*) FROM T"), std::vector<std::string>{"4"});
  EXPECT_EQ(w.Statistic.TotalCount, 2);
}

TEST_F(ADORun, TypedValuesGoAsTheirNativeValues) {
  TOpenTable t("S=A10,N=N,C=$,I=I,D=D,T=T,TS=@,L=L,B=#2,Y=Y4,M=M10,G=B10",
               {{TWriterValue("a'b\"c"), TWriterValue(0.1), TWriterValue(12.5), TWriterValue(-7),
                 TWriterValue(739000), TWriterValue(3723004), TWriterValue(int64_t{739000} * 86400000 + 45296789),
                 TWriterValue(true), TWriterValue("-12.50"), TWriterValue(std::string("\x01\x00\xff\x7f", 4)),
                 TWriterValue("line1\r\nline2 with more than ten bytes"), TWriterValue(std::string("\x89PNG\x00", 5))},
                {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                 TWriterValue(false), std::nullopt, std::nullopt, std::nullopt, std::nullopt}});
  // Display settings that must not reach the database.
  w.DataFormats.DateOrder = doDMY;
  w.DataFormats.BooleanTrue = "Yes";
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  const auto row = [&](int r) {
    return Query(db, "SELECT quote(S)||' '||quote(N)||' '||quote(C)||' '||quote(I)||' '||quote(D)||' '||quote(T)||' '||"
                     "quote(TS)||' '||quote(L)||' '||quote(B)||' '||quote(Y)||' '||typeof(M)||' '||"
                     "quote(M)||' '||quote(G) FROM t WHERE rowid = " +
                         std::to_string(r));
  };
  EXPECT_EQ(row(1), std::vector<std::string>{"'a''b\"c' 0.1 12.5 -7 '2024-04-24' '01:02:03.004' "
                                             "'2024-04-24 12:34:56.789' 1 '-12.50' X'0100FF7F' text "
                                             "'line1\r\nline2 with more than ten bytes' X'89504E4700'"});
  EXPECT_EQ(row(2), std::vector<std::string>{"NULL NULL NULL NULL NULL NULL NULL 0 NULL NULL null NULL NULL"});
}

TEST_F(ADORun, HostileNamesAreQuotedAndRunNothing) {
  Exec(db, "CREATE TABLE sentinel (a INTEGER)");
  TOpenTable t("q\"x);DROP TABLE sentinel;--=A10,Date=D,select=I,Zip/Postal Code=A5",
               {{TWriterValue("x"), TWriterValue(1), TWriterValue(2), TWriterValue("12345")}});
  w.TableName = "my \"table\"; x";
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(w.CreateStatement(),
            "CREATE TABLE \"my \"\"table\"\"; x\"( \"q\"\"x);DROP TABLE sentinel;--\" CHAR(10) NULL,  \"Date\" DATE "
            "NULL,  \"select\" INTEGER NULL,  \"Zip/Postal Code\" CHAR(5) NULL)");
  EXPECT_EQ(Query(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
            (std::vector<std::string>{"my \"table\"; x", "sentinel"}));
  EXPECT_EQ(Query(db, "SELECT \"select\" FROM \"my \"\"table\"\"; x\""), std::vector<std::string>{"2"});
}

TEST_F(ADORun, NamesTheDatabaseCannotTellApartAreRefusedBeforeCreate) {
  TOpenTable t("Name=A10,Other=A10", {{TWriterValue("x"), TWriterValue("y")}});
  Run(t);  // fills the columns from the grid; now give two of them one name
  ASSERT_EQ(w.Statistic.Result, erCompleted);
  TOpenTable t2("Name=A10,NAME2=A10", {{TWriterValue("x"), TWriterValue("y")}});
  t2.Grid.RebuildFromFields();
  std::vector<TGridColumn> cols = t2.Grid.Columns();
  cols[1].Title.Caption = "NAME";
  t2.Grid.SetColumns(cols);
  w.TableName = "u";
  Run(t2);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("Two columns are named"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT count(*) FROM sqlite_master WHERE name = 'u'"), std::vector<std::string>{"0"});
}

TEST_F(ADORun, ATableWithTooFewColumnsIsRefusedBeforeTheFirstRow) {
  Exec(db, "CREATE TABLE t (a TEXT)");
  TOpenTable t("A=A10,B=A10", {{TWriterValue("x"), TWriterValue("y")}});
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("has 1 columns"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT count(*) FROM t"), std::vector<std::string>{"0"});
}

std::vector<TWriterRow> Numbered(int n) {
  std::vector<TWriterRow> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({TWriterValue(i), TWriterValue("v" + std::to_string(i))});
  return rows;
}

TEST_F(ADORun, ARefusedRowKeepsTheRowsBeforeItAndNamesRecordAndColumn) {
  Exec(db, "CREATE TABLE t (n INTEGER CHECK (n <> 23), s TEXT CHECK (s <> 'v40'))");
  TOpenTable t("N=I,S=A10", Numbered(50));
  w.CommitEvery = 10;
  w.RowsPerStatement = 4;
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("Record 23, column N,"), std::string::npos) << w.Statistic.Message;
  EXPECT_NE(w.Statistic.Message.find("22 rows before it"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT count(*) || ' ' || max(n) FROM t"), std::vector<std::string>{"22 22"});
  // The second column is named when it is the one refused.
  Exec(db, "DELETE FROM t");
  Exec(db, "CREATE TABLE t2 (n INTEGER, s TEXT CHECK (s <> 'v40'))");
  w.TableName = "t2";
  Run(t);
  EXPECT_NE(w.Statistic.Message.find("Record 40, column S,"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT count(*) FROM t2"), std::vector<std::string>{"39"});
}

TEST_F(ADORun, CancelKeepsWhatWasPostedAndRejectedRecordsAreNotCounted) {
  TOpenTable t("N=I,S=A10", Numbered(30));
  w.RowsPerStatement = 7;
  w.OnBeforeRecord = [](TZelECustomBaseComponent& c, bool& accept) {
    accept = c.Statistic.CurrentRow % 2 == 0;  // records 1, 3, 5...
  };
  w.OnAfterRecord = [](TZelECustomBaseComponent& c, bool& abort) { abort = c.Statistic.CurrentRow == 20; };
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erCanceled);
  EXPECT_EQ(w.Statistic.TotalCount, 10);
  EXPECT_EQ(Query(db, "SELECT group_concat(n, ',') FROM t"), std::vector<std::string>{"1,3,5,7,9,11,13,15,17,19"});
}

TEST_F(ADORun, AutoIncrementValuesAreCopiedIntoANewTable) {
  TOpenTable t("Id=+,S=A10", {{TWriterValue(25), TWriterValue("a")}, {TWriterValue(30), TWriterValue("b")},
                              {TWriterValue(3), TWriterValue("c")}});
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT group_concat(Id, ',') FROM t"), std::vector<std::string>{"25,30,3"});
}

TEST_F(ADORun, AQueryNamesTheColumnsToFill) {
  Exec(db, "CREATE TABLE target (x INTEGER, name TEXT, extra TEXT DEFAULT 'kept')");
  TOpenTable t("Name=A10,X=I", {{TWriterValue("a"), TWriterValue(1)}, {TWriterValue("b"), TWriterValue(2)}});
  w.TableName = "select name, x FROM target";
  Run(t);
  ASSERT_EQ(w.Statistic.Result, erCompleted) << w.Statistic.Message;
  EXPECT_EQ(Query(db, "SELECT x || name || extra FROM target ORDER BY rowid"),
            (std::vector<std::string>{"1akept", "2bkept"}));
  // A query the driver cannot trace to a table fails before any row.
  w.TableName = "SELECT 1, 2";
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("query"), std::string::npos) << w.Statistic.Message;
}

TEST_F(ADORun, NoTableNameOrNoDatabaseFails) {
  TOpenTable t("N=I", {{TWriterValue(1)}});
  w.TableName.clear();
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("Property TableName is not specified."), std::string::npos)
      << w.Statistic.Message;
  w.TableName = "t";
  w.FileName = "DRIVER={No Such Driver};Database=x;PWD=secret";
  Run(t);
  EXPECT_EQ(w.Statistic.Result, erFailed);
  EXPECT_NE(w.Statistic.Message.find("cannot connect"), std::string::npos) << w.Statistic.Message;
  EXPECT_EQ(w.Statistic.Message.find("secret"), std::string::npos) << w.Statistic.Message;
}

}  // namespace
}  // namespace korvane::test
